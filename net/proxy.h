#ifndef VANTOR_NET_PROXY_H
#define VANTOR_NET_PROXY_H

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QNetworkProxy>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "net/resolver.h"

class QProcessEnvironment;
class QUrl;

// Proxies, read the way curl reads them, so that one setting serves both.
// The front ends read the environment once and hand the settings on
// (WhoisEndpoints::proxy); the lookups never read the environment.
//
// curl's rules, as its manual states them (curl(1), ENVIRONMENT and
// --noproxy; https://everything.curl.dev/usingcurl/proxies/env):
// - [scheme]_proxy names the proxy for URLs of that scheme, ALL_PROXY the
//   one for every scheme without its own. Each may be written in lower or
//   upper case, the lower case winning; http_proxy is read in lower case
//   only (a CGI program gets HTTP_PROXY from a request's "Proxy:" header).
//   An empty variable counts as unset.
// - A proxy URL is [scheme://][user:password@]host[:port]. No scheme means
//   an HTTP proxy, no port means 1080; user and password are
//   percent-decoded. socks5:// resolves the server's name here and gives the
//   proxy its address; socks5h:// gives the proxy the name.
// - NO_PROXY is a list of names separated by commas or blanks; a single
//   "*" matches every host. A name matches itself and every name below it
//   ("example.com" matches www.example.com, not notexample.com); a leading
//   or trailing dot is ignored. An address matches itself, and a prefix
//   ("192.168.0.0/16") the addresses in it. The port of the server asked
//   does not matter ("example.com" matches example.com:8443).
// - NO_PROXY holds for a proxy given on the command line too.
// Beyond curl: an entry with a port ("example.com:8443") matches that port
// only (curl's never matches).
//
// This program asks whois (port 43) and RDAP (https, sometimes http):
// - whois goes through ALL_PROXY, when it is a SOCKS5 proxy. An HTTP proxy
//   does not carry whois here: whois then connects directly (most HTTP
//   proxies allow CONNECT to port 443 only), and a failure says so.
// - RDAP goes through https_proxy (http_proxy for an http URL), else
//   ALL_PROXY; HTTP proxies tunnel https with CONNECT.
namespace net {

struct Proxy
{
    enum class Kind { Http, Socks5 };
    Kind kind = Kind::Socks5;
    bool resolvesNames = true; // socks5h and http; socks5: the program resolves, the proxy gets the address
    QString host;              // without brackets
    quint16 port = 1080;
    QString user; // decoded; empty: none
    QString password;

    // "host:port", as messages name the proxy; never the password.
    QString name() const;
};

// Reads a proxy URL; nothing, with *error set, for one this program cannot
// use (another scheme, no host, a path). The error never repeats a password.
std::optional<Proxy> parseProxy(const QString &url, QString *error);

// Whether a NO_PROXY list exempts the server host:port from the proxy.
bool bypassesProxy(const QString &noProxy, const QString &host, quint16 port);

// What one connection goes through.
struct ProxyChoice
{
    std::optional<Proxy> proxy; // none: straight to the server
    QString error;              // a proxy is set and cannot be used: nothing may go straight then
    QString skipped;            // whois: the HTTP proxy that does not carry it ("host:port")
};

// The proxies of a run.
class ProxySettings
{
public:
    // From the variables above; the front ends' call, once at the start.
    static ProxySettings fromEnvironment(const QProcessEnvironment &environment);
    // One proxy for every lookup, as `vantor-cli --proxy` gives it; an empty
    // url means none. `option` names it in messages.
    void setProxy(const QString &url, const QString &option);
    void setNoProxy(const QString &list) { m_noProxy = list; }

    ProxyChoice forWhois(const QString &host, quint16 port) const;
    ProxyChoice forUrl(const QUrl &url) const;
    // One line for each variable or option whose proxy cannot be used.
    QStringList problems() const;

private:
    struct Source
    {
        QString from; // the variable or option
        QString url;  // empty: none
    };
    ProxyChoice choose(const Source &source, const QString &host, quint16 port) const;

    Source m_all;   // whois, and any scheme without its own
    Source m_https; // RDAP over https
    Source m_http;  // RDAP over http
    QString m_noProxy;
};

// The proxy's own addresses: a literal one as it is, a name through the
// program's resolver (never Qt's, which could hold the exit).
Resolved proxyAddresses(const Proxy &proxy, const HostResolver &resolve, QDeadlineTimer deadline,
                        const std::function<bool()> &stopRequested, QList<QHostAddress> *addresses);

// The proxy for Qt, at an address already resolved.
QNetworkProxy qtProxy(const Proxy &proxy, const QHostAddress &address);

// What went wrong on the way through a proxy, and the words for it.
enum class ProxyFault { Refused, NoAnswer, Authentication, Unreachable, Broken, UnknownName };
QString proxyFailure(ProxyFault fault, const Proxy &proxy, const QString &server, const QString &detail = QString());
// The same in a few words ("the proxy refused the connection").
QString proxyReason(ProxyFault fault);

} // namespace net

#endif
