#ifndef VANTOR_RDAP_EXCHANGE_H
#define VANTOR_RDAP_EXCHANGE_H

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QString>
#include <QUrl>

#include <optional>

#include "net/proxy.h"
#include "rdap/client.h"

// One GET of one URL from one address, for rdap::fetch(): redirects are
// handed back, not followed.
namespace rdap::detail {

struct Exchange
{
    enum Result {
        Done,        // a reply with its status (any status but a redirect)
        Redirect,    // a 3xx with a Location
        Unreachable, // no connection to this address: another may do
        Failed,
        Stopped
    };
    Result result = Failed;
    int status = 0;
    QByteArray body;
    QString retryAfter;
    QString message;  // Unreachable, Failed: one line for the status bar
    QString location; // Redirect: as sent
};

// Where one request goes: to an address of the server, through a proxy or
// not; or, the address null, to the URL's name, which the proxy resolves.
struct Route
{
    QHostAddress address;
    std::optional<net::Proxy> proxy;
    QHostAddress proxyAddress;
};

// Asks the server for url the way route says. The name in url goes into
// the TLS handshake, the certificate check and the Host header. connecting
// bounds the connection and TLS, total the whole request.
Exchange exchangeWith(const QUrl &url, const Route &route, const FetchOptions &options,
                      const QDeadlineTimer &connecting, const QDeadlineTimer &total);

} // namespace rdap::detail

#endif
