#include "rdap/client.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLocale>

#include <algorithm>

#include "net/pacer.h"
#include "rdap/exchange.h"

namespace rdap {
namespace {

using detail::Exchange;

// The server whose reply chose the next URL.
struct From
{
    QUrl url;
    QHostAddress address;
};

// The addresses of the URL's server, its literal address or its name's.
// Returns false with f set where there are none.
bool addressesOf(const QUrl &url, const FetchOptions &options, const QDeadlineTimer &deadline,
                 QList<QHostAddress> *addresses, Fetched &f)
{
    if (QHostAddress literal; literal.setAddress(url.host())) {
        addresses->append(literal);
        return true;
    }
    const auto stop = [&options] { return options.stopRequested && options.stopRequested(); };
    switch (resolveHost(url.host(), options.resolve, deadline, stop, addresses)) {
    case Resolved::Found:
        return true;
    case Resolved::Stopped:
        f.outcome = Fetched::Stopped;
        return false;
    case Resolved::Unknown:
        f.message = QLatin1String("Unknown server: ") + url.host();
        return false;
    case Resolved::TimedOut:
        f.message = QStringLiteral("Connection timed out");
        return false;
    }
    return false;
}

// A hop chosen by a reply goes only to http or https, never from https to
// http: the reason it may not, or nothing.
QString refusedScheme(const From &from, const QUrl &to, const QString &said)
{
    if (to.scheme() != QLatin1String("https") && to.scheme() != QLatin1String("http"))
        return said + QLatin1String("a URL that is not http or https, which is not followed");
    if (from.url.scheme() == QLatin1String("https") && to.scheme() == QLatin1String("http"))
        return said + QLatin1String("plain http, which is not followed");
    return QString();
}

// Nor from a public server to a local address. Where a proxy resolves the
// names, what they say is all there is to check (net/address.h).
QString refusedAddress(const From &from, const QUrl &to, QList<QHostAddress> addresses, const QString &said,
                       const FetchOptions &options)
{
    const auto allowed = [&](const QHostAddress &a) {
        return net::hopAllowedByName(from.address, from.url.host(), { a }, to.host(), options.isPublic);
    };
    if (addresses.isEmpty() && !net::addressOfName(to.host()).isNull())
        addresses.append(net::addressOfName(to.host()));
    const auto local = std::find_if_not(addresses.cbegin(), addresses.cend(), allowed);
    if (local == addresses.cend())
        return QString();
    const QString address = local->toString();
    return said + to.host() + (address == to.host() ? QString() : QLatin1String(" (") + address + QLatin1Char(')'))
           + QLatin1String(", a local address, which is not followed");
}

// One URL, from the first of its addresses that takes the connection.
Exchange askServer(const QUrl &url, const QList<QHostAddress> &addresses, const FetchOptions &options,
                   const QDeadlineTimer &connecting, const QDeadlineTimer &total, QHostAddress *peer)
{
    Exchange x;
    for (const QHostAddress &address : addresses) {
        *peer = address;
        x = detail::exchangeWith(url, { address, std::nullopt, {} }, options, connecting, total);
        if (x.result != Exchange::Unreachable || connecting.hasExpired())
            break;
    }
    return x;
}

// One URL through the proxy, at the first of the proxy's addresses that
// takes the connection: by name where the proxy resolves it (no addresses
// given), else at the server's addresses in turn.
Exchange askThroughProxy(const QUrl &url, const net::Proxy &proxy, const QList<QHostAddress> &addresses,
                         const FetchOptions &options, const QDeadlineTimer &connecting, const QDeadlineTimer &total,
                         QHostAddress *peer)
{
    Exchange x;
    QList<QHostAddress> proxyAt;
    const auto stop = [&options] { return options.stopRequested && options.stopRequested(); };
    const Resolved resolved = net::proxyAddresses(proxy, options.resolve, connecting, stop, &proxyAt);
    if (resolved != Resolved::Found) {
        x.result = resolved == Resolved::Stopped ? Exchange::Stopped : Exchange::Failed;
        x.message = net::proxyFailure(resolved == Resolved::Unknown ? net::ProxyFault::UnknownName : net::ProxyFault::NoAnswer,
                                      proxy, url.host());
        return x;
    }
    const QList<QHostAddress> targets = addresses.isEmpty() ? QList<QHostAddress>{ QHostAddress() } : addresses;
    for (const QHostAddress &at : std::as_const(proxyAt)) {
        for (const QHostAddress &target : targets) {
            *peer = target; // null where the proxy resolved the name
            x = detail::exchangeWith(url, { target, proxy, at }, options, connecting, total);
            if (x.result != Exchange::Unreachable || connecting.hasExpired())
                return x;
        }
    }
    return x;
}

void take(Exchange &x, Fetched &f)
{
    switch (x.result) {
    case Exchange::Done:
        f.outcome = Fetched::Answered;
        f.status = x.status;
        f.body = std::move(x.body);
        f.retryAfter = x.retryAfter;
        break;
    case Exchange::Stopped:
        f.outcome = Fetched::Stopped;
        break;
    default:
        f.outcome = Fetched::Failed;
        f.message = x.message;
        break;
    }
}

// Waits for the server's turn, where requests are paced.
net::Pacer::Turn turnAt(const QUrl &url, const FetchOptions &options)
{
    if (options.spacingMs <= 0)
        return net::Pacer::Turn();
    net::Pacer::Request request;
    request.server = serverOf(url);
    request.name = request.server;
    request.spacingMs = net::serverSpacingMs(url.host(), options.spacingMs);
    request.stopRequested = options.stopRequested;
    request.waiting = options.progress;
    return net::Pacer::shared().take(request);
}

net::HopRecord hopRecord(const QUrl &url, const Exchange &x, qint64 ms, qint64 waitedMs)
{
    using Outcome = net::HopRecord::Outcome;
    Outcome outcome = Outcome::Failed;
    if (x.result == Exchange::Stopped)
        outcome = Outcome::Stopped;
    else if (x.result == Exchange::Redirect || (x.result == Exchange::Done && (x.status < 400 || x.status == 404)))
        outcome = Outcome::Answered; // "no record" is an answer
    else if (x.result == Exchange::Done && x.status == 429)
        outcome = Outcome::RateLimited;
    else if (x.result == Exchange::Done && x.status < 500)
        outcome = Outcome::Refused;
    return { serverOf(url), QStringLiteral("rdap"), ms, waitedMs, outcome, QString() };
}

Fetched fetchFrom(const QUrl &url, const FetchOptions &options, QList<net::HopRecord> *hops)
{
    QElapsedTimer clock;
    clock.start();
    qint64 waited = 0;
    From from{ options.referrer, options.referrerAddress };
    QUrl current = url;
    for (int redirects = 0;; ++redirects) {
        Fetched f;
        f.url = current;
        // Who sent us here, for the messages; empty for the program's own choice.
        const QString said = from.url.isEmpty() ? QString()
                             : from.url.host() + (redirects ? QLatin1String(" redirects to ") : QLatin1String(" links to "));
        f.message = from.url.isEmpty() ? QString() : refusedScheme(from, current, said);
        if (!f.message.isEmpty()) {
            f.outcome = Fetched::Refused;
            return f;
        }
        // Before the bounds: waiting for a turn is no slowness of the server.
        const net::Pacer::Turn turn = turnAt(current, options);
        if (turn.stopped()) {
            f.outcome = Fetched::Stopped;
            return f;
        }
        waited += turn.waitedMs();
        const QDeadlineTimer total(std::max<qint64>(0, options.totalTimeoutMs - (clock.elapsed() - waited)));
        // Each server has its own bound for connecting, within the total.
        const QDeadlineTimer connecting(std::min<qint64>(options.connectTimeoutMs, std::max<qint64>(0, total.remainingTime())));
        const net::ProxyChoice via = options.proxy.forUrl(current);
        if (!via.error.isEmpty()) {
            f.message = via.error; // never straight past a proxy that was asked for
            return f;
        }
        QList<QHostAddress> addresses; // none where the proxy resolves the name
        const bool byName = via.proxy && via.proxy->resolvesNames;
        if (!byName && !addressesOf(current, options, connecting, &addresses, f))
            return f;
        f.message = from.url.isEmpty() ? QString() : refusedAddress(from, current, addresses, said, options);
        if (!f.message.isEmpty()) {
            f.outcome = Fetched::Refused;
            return f;
        }
        QElapsedTimer took;
        took.start();
        Exchange x = via.proxy ? askThroughProxy(current, *via.proxy, addresses, options, connecting, total, &f.peer)
                               : askServer(current, addresses, options, connecting, total, &f.peer);
        hops->append(hopRecord(current, x, took.elapsed(), turn.waitedMs()));
        if (x.result != Exchange::Redirect) {
            take(x, f);
            return f;
        }
        if (redirects >= options.maxRedirects) {
            f.message = QLatin1String("Too many redirects from ") + url.host();
            return f;
        }
        from = From{ current, f.peer };
        current = current.resolved(QUrl(x.location));
    }
}

} // namespace

QByteArray userAgent()
{
    return QByteArrayLiteral("Vantor/" VANTOR_VERSION);
}

Fetched fetch(const QUrl &url, const FetchOptions &options)
{
    QList<net::HopRecord> hops;
    Fetched f = fetchFrom(url, options, &hops);
    f.hops = hops;
    return f;
}

QString serverOf(const QUrl &url)
{
    return url.port() < 0 ? url.host() : url.host() + QLatin1Char(':') + QString::number(url.port());
}

int retryAfterSeconds(const QString &value, const QDateTime &now)
{
    bool ok = false;
    const int seconds = value.trimmed().toInt(&ok);
    if (ok)
        return seconds >= 0 ? seconds : -1;
    // Or an HTTP date: "Wed, 21 Oct 2015 07:28:00 GMT".
    QDateTime at = QLocale::c().toDateTime(value.trimmed(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (!at.isValid())
        return -1;
    at.setTimeSpec(Qt::UTC);
    return int(std::clamp<qint64>(now.secsTo(at), 0, 366 * 86400));
}

bool sameResource(const QUrl &a, const QUrl &b)
{
    const auto normal = [](QUrl url) {
        url.setScheme(url.scheme().toLower());
        if ((url.scheme() == QLatin1String("https") && url.port() == 443)
            || (url.scheme() == QLatin1String("http") && url.port() == 80))
            url.setPort(-1);
        url = url.adjusted(QUrl::StripTrailingSlash | QUrl::NormalizePathSegments | QUrl::RemoveFragment);
        return url.toString(QUrl::FullyEncoded).toLower();
    };
    return normal(a) == normal(b);
}

} // namespace rdap
