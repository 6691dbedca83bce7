#ifndef VANTOR_RDAP_CLIENT_H
#define VANTOR_RDAP_CLIENT_H

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <functional>

#include "net/address.h"
#include "net/proxy.h"
#include "net/hop.h"
#include "net/resolver.h"

// One RDAP request over HTTPS, blocking the calling thread the way a whois
// exchange does: the caller's thread runs a short event loop of its own
// until the reply is in, a bound is broken or the caller asks to stop.
// Certificates are checked against the system's CA store; verification is
// never switched off.
//
// Names are resolved here (net/resolver.h), not by Qt, and the request goes
// to the address that was checked; the certificate, the TLS server name and
// the Host header still carry the name. So a resolver that never answers
// holds nobody past the bound, not even the program's exit, and a server
// chosen by a reply (a registrar's link, a redirect) is checked before a
// byte goes to it: never from https to http, never from a public server to
// a local address (net/address.h), at most maxRedirects redirects.
//
// Through a proxy (net/proxy.h) that resolves names (HTTP, socks5h), the
// name stays in the URL and the proxy resolves it; only the proxy's own
// name is resolved here. A hop is then checked by what its name says. The
// certificate is checked as always.
namespace rdap {

struct FetchOptions
{
    QList<QSslCertificate> extraCaCertificates; // trusted besides the system's (tests' own servers)
    std::function<bool()> stopRequested;        // looked at every 50 ms
    int connectTimeoutMs = 10000;               // per server asked: to resolve, connect and finish TLS
    int totalTimeoutMs = 30000;
    qint64 sizeLimit = 4 * 1024 * 1024;         // of the body, unpacked
    int maxRedirects = 5;
    HostResolver resolve;                       // unset: the system's resolver
    net::PublicTest isPublic;                   // unset: !net::isLocalAddress
    // Where the URL came from when a reply chose it (a registry's link to
    // its registrar): that reply's URL and the address it came from. Empty
    // for a URL of the program's own choosing.
    QUrl referrer;
    QHostAddress referrerAddress;
    net::ProxySettings proxy; // none unless set
    // Pacing (net/pacer.h): the least time between two requests to one
    // server, redirects included; 0 asks at once. A wait is told to progress.
    // The bounds above count from the end of the wait.
    int spacingMs = 0;
    std::function<void(const QString &)> progress;
};

struct Fetched
{
    enum Outcome { Answered, Failed, Refused, Stopped };
    Outcome outcome = Failed; // Refused: a hop a server chose was not taken
    int status = 0;      // the HTTP status when one came, else 0
    QByteArray body;     // the reply's body (an error body too)
    QString retryAfter;  // a 429's Retry-After, as sent
    QString message;     // Failed, Refused: one line on what went wrong
    QUrl url;            // where the reply came from, redirects followed
    QHostAddress peer;   // the address it came from; null where a proxy resolved the name
    QList<net::HopRecord> hops; // every request made, redirects too
};

Fetched fetch(const QUrl &url, const FetchOptions &options);

// The server as the pacer and the hop records name it: the host, with
// ":port" where the URL gives one.
QString serverOf(const QUrl &url);

// A Retry-After value in seconds from now: a number of seconds or an HTTP
// date; -1 where it is neither.
int retryAfterSeconds(const QString &value, const QDateTime &now);

// Whether two URLs name the same resource: scheme and host in any case, the
// scheme's own port written or not, a trailing '/' or not, and the path in
// any case (RDAP's names and handles are matched regardless of case).
bool sameResource(const QUrl &a, const QUrl &b);

// "Vantor/<version>", sent with every request.
QByteArray userAgent();

} // namespace rdap

#endif
