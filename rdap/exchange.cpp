#include "rdap/exchange.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace rdap::detail {
namespace {

enum class Broken { None, Stopped, ConnectTime, TotalTime, Size };

QString sizeMessage(const QString &host, const FetchOptions &options)
{
    return QLatin1String("Reply from ") + host + QLatin1String(" cut off at ")
           + QString::number(options.sizeLimit / (1024 * 1024)) + QLatin1String(" MiB");
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

QNetworkRequest makeRequest(const QUrl &url, const QHostAddress &address, const FetchOptions &options)
{
    QUrl direct(url);
    if (!address.isNull())
        direct.setHost(address.toString());
    direct.setUserInfo(QString()); // never sent on
    QNetworkRequest request(direct);
    // The server is asked for the name; the address only says where it is.
    // Without one, the name is in the URL already and the proxy resolves it.
    if (!address.isNull()) {
        request.setRawHeader("Host", url.authority(QUrl::FullyEncoded | QUrl::RemoveUserInfo).toLatin1());
        if (QHostAddress literal; !literal.setAddress(url.host()))
            request.setPeerVerifyName(url.host()); // also the name sent in the handshake (SNI)
    }
    request.setRawHeader("Accept", "application/rdap+json");
    request.setRawHeader("User-Agent", userAgent());
    // Each redirect is checked by fetch() before it is taken.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // HTTP/2 would name the address, not the server, in its :authority.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    // Qt's check for a body that unpacks to far more than it came as
    // starts at our own limit, so what it stops is larger than that.
    request.setDecompressedSafetyCheckThreshold(options.sizeLimit);
    if (!options.extraCaCertificates.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(options.extraCaCertificates);
        request.setSslConfiguration(tls);
    }
    return request;
}

// The reply ended with an error of the connection or the proxy, not of
// the HTTP status.
bool connectionError(QNetworkReply::NetworkError error)
{
    return error > QNetworkReply::NoError && error <= QNetworkReply::UnknownProxyError;
}

// Whether the proxy refuses connections. Qt's access manager reports a
// refusal by the proxy and the proxy's failure to go on to the server
// alike (UnknownNetworkError); a bare connection to the proxy tells them
// apart. Only after such a failure, and at an address: no name to resolve.
bool proxyRefuses(const Route &route)
{
    QTcpSocket probe;
    probe.setProxy(QNetworkProxy::NoProxy);
    probe.connectToHost(route.proxyAddress, route.proxy->port);
    return !probe.waitForConnected(1000) && probe.error() == QAbstractSocket::ConnectionRefusedError;
}

// Where a request through a proxy failed before the server's TLS was
// done: the proxy, or its way on to the server. Nothing where the server
// itself failed.
std::optional<net::ProxyFault> proxyFault(const QNetworkReply &reply, Broken broken, bool connected, const Route &route)
{
    if (connected)
        return std::nullopt;
    if (broken == Broken::ConnectTime)
        return net::ProxyFault::NoAnswer;
    switch (reply.error()) {
    case QNetworkReply::ProxyConnectionRefusedError:
        return net::ProxyFault::Refused;
    case QNetworkReply::ProxyTimeoutError:
        return net::ProxyFault::NoAnswer;
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return net::ProxyFault::Authentication;
    case QNetworkReply::ProxyNotFoundError:
        return net::ProxyFault::UnknownName;
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::UnknownProxyError:
        return net::ProxyFault::Broken;
    case QNetworkReply::UnknownNetworkError:
        return proxyRefuses(route) ? net::ProxyFault::Refused : net::ProxyFault::Unreachable;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
        return net::ProxyFault::Unreachable;
    default:
        return std::nullopt;
    }
}

// What went wrong, from the broken bound or the reply's error; host is the
// server's name as the URL gives it.
QString failure(const QNetworkReply &reply, Broken broken, int status, const QString &host,
                const FetchOptions &options)
{
    switch (broken) {
    case Broken::ConnectTime:
        return QStringLiteral("Connection timed out");
    case Broken::TotalTime:
        return QLatin1String("Reply from ") + host + QLatin1String(" cut off after ")
               + QString::number(options.totalTimeoutMs / 1000) + QLatin1String(" s");
    case Broken::Size:
        return sizeMessage(host, options);
    default:
        break;
    }
    if (status != 0 && reply.error() == QNetworkReply::RemoteHostClosedError)
        return QLatin1String("Reply from ") + host + QLatin1String(" ended before it was complete");
    if (status != 0 && reply.error() == QNetworkReply::UnknownContentError)
        return sizeMessage(host, options); // Qt's check on unpacking (see makeRequest)
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
        return QLatin1String("Connection refused by ") + host;
    case QNetworkReply::TimeoutError:
        return QStringLiteral("Connection timed out");
    case QNetworkReply::SslHandshakeFailedError:
        return QLatin1String("TLS error with ") + host + QLatin1String(": ") + reply.errorString();
    default:
        return QLatin1String("Cannot reach ") + host + QLatin1String(": ") + reply.errorString();
    }
}

Exchange result(QNetworkReply &reply, Broken broken, bool connected, QByteArray &body, const QString &host,
                 const Route &route, const FetchOptions &options)
{
    Exchange x;
    x.status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    x.retryAfter = QString::fromLatin1(reply.rawHeader("Retry-After")).trimmed();
    const bool failed = broken != Broken::None || body.size() > options.sizeLimit
                        || (reply.error() != QNetworkReply::NoError && (x.status == 0 || connectionError(reply.error())))
                        || (x.status >= 200 && x.status < 300 && reply.error() == QNetworkReply::UnknownContentError);
    if (broken == Broken::Stopped) {
        x.result = Exchange::Stopped;
    } else if (failed) {
        x.message = failure(reply, body.size() > options.sizeLimit ? Broken::Size : broken, x.status, host, options);
        const std::optional<net::ProxyFault> fault = route.proxy ? proxyFault(reply, broken, connected, route) : std::nullopt;
        if (fault)
            x.message = net::proxyFailure(*fault, *route.proxy, host, reply.errorString());
        // Nothing came from this address; the next one of the name, or of
        // the proxy, may answer.
        const bool noConnection = !connected && (fault ? fault == net::ProxyFault::Refused
                                                       : reply.error() == QNetworkReply::ConnectionRefusedError
                                                             || reply.error() == QNetworkReply::UnknownNetworkError);
        x.result = noConnection ? Exchange::Unreachable : Exchange::Failed;
        x.status = 0;
    } else if (isRedirect(x.status) && reply.hasRawHeader("Location")) {
        x.result = Exchange::Redirect;
        x.location = QString::fromUtf8(reply.rawHeader("Location")).trimmed();
    } else {
        x.result = Exchange::Done;
        x.body = std::move(body);
    }
    return x;
}

} // namespace

Exchange exchangeWith(const QUrl &url, const Route &route, const FetchOptions &options,
                      const QDeadlineTimer &connecting, const QDeadlineTimer &total)
{
    QNetworkAccessManager manager;
    manager.setProxy(route.proxy ? net::qtProxy(*route.proxy, route.proxyAddress) : QNetworkProxy(QNetworkProxy::NoProxy));
    std::unique_ptr<QNetworkReply> reply(manager.get(makeRequest(url, route.address, options)));
    bool connected = false; // TLS finished, or for plain http the request sent
    Broken broken = Broken::None;
    QByteArray body;

    QEventLoop loop;
    QTimer tick;
    auto breakOff = [&](Broken why) {
        broken = why;
        reply->abort();
        loop.quit();
    };
    // Only what has come: a read of up to the limit would set aside 4 MiB each time.
    auto take = [&] { body += reply->read(std::min(reply->bytesAvailable(), options.sizeLimit + 1 - body.size())); };
    QObject::connect(reply.get(), &QNetworkReply::encrypted, &loop, [&] { connected = true; });
    QObject::connect(reply.get(), &QNetworkReply::requestSent, &loop, [&] { connected = true; });
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] { connected = true; });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        connected = true;
        take();
        if (body.size() > options.sizeLimit)
            breakOff(Broken::Size);
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (options.stopRequested && options.stopRequested())
            breakOff(Broken::Stopped);
        else if (!connected && connecting.hasExpired())
            breakOff(Broken::ConnectTime);
        else if (total.hasExpired())
            breakOff(Broken::TotalTime);
    });
    tick.start(50);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (broken == Broken::None)
        take();
    return result(*reply, broken, connected, body, url.host(), route, options);
}

} // namespace rdap::detail
