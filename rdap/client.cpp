#include "rdap/client.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QTimer>

#include <algorithm>

namespace rdap {
namespace {

enum class Broken { None, Stopped, ConnectTime, TotalTime, Size };

QString failure(const QNetworkReply &reply, Broken broken, const FetchOptions &options)
{
    const QString host = reply.url().host();
    switch (broken) {
    case Broken::ConnectTime:
        return QStringLiteral("Connection timed out");
    case Broken::TotalTime:
        return QLatin1String("Reply from ") + host + QLatin1String(" cut off after ")
               + QString::number(options.totalTimeoutMs / 1000) + QLatin1String(" s");
    case Broken::Size:
        return QLatin1String("Reply from ") + host + QLatin1String(" is larger than ")
               + QString::number(options.sizeLimit / (1024 * 1024)) + QLatin1String(" MiB");
    default:
        break;
    }
    switch (reply.error()) {
    case QNetworkReply::HostNotFoundError:
        return QLatin1String("Unknown server: ") + host;
    case QNetworkReply::ConnectionRefusedError:
        return QLatin1String("Connection refused by ") + host;
    case QNetworkReply::TimeoutError:
        return QStringLiteral("Connection timed out");
    case QNetworkReply::SslHandshakeFailedError:
        return QLatin1String("TLS error with ") + host + QLatin1String(": ") + reply.errorString();
    case QNetworkReply::TooManyRedirectsError:
        return QLatin1String("Too many redirects from ") + host;
    case QNetworkReply::InsecureRedirectError:
        return host + QLatin1String(" redirects to plain http, which is not followed");
    default:
        return QLatin1String("Cannot reach ") + host + QLatin1String(": ") + reply.errorString();
    }
}

QNetworkRequest makeRequest(const QUrl &url, const FetchOptions &options)
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "application/rdap+json");
    request.setRawHeader("User-Agent", userAgent());
    // The address registries send each other's queries on; never from https to http.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(options.maxRedirects);
    if (!options.extraCaCertificates.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(options.extraCaCertificates);
        request.setSslConfiguration(tls);
    }
    return request;
}

} // namespace

QByteArray userAgent()
{
    return QByteArrayLiteral("Vantor/" VANTOR_VERSION);
}

Fetched fetch(const QUrl &url, const FetchOptions &options)
{
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(makeRequest(url, options));
    const QDeadlineTimer total(options.totalTimeoutMs);
    const QDeadlineTimer connecting(options.connectTimeoutMs);
    bool connected = false; // TLS finished, or for plain http the first reply data
    Broken broken = Broken::None;
    QByteArray body;

    QEventLoop loop;
    QTimer tick;
    auto breakOff = [&](Broken why) {
        broken = why;
        reply->abort();
        loop.quit();
    };
    QObject::connect(reply, &QNetworkReply::encrypted, &loop, [&] { connected = true; });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] { connected = true; });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        connected = true;
        // Only what has come: a read of up to the limit would set aside
        // 4 MiB each time.
        body += reply->read(std::min(reply->bytesAvailable(), options.sizeLimit + 1 - body.size()));
        if (body.size() > options.sizeLimit)
            breakOff(Broken::Size);
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
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
        body += reply->read(std::min(reply->bytesAvailable(), options.sizeLimit + 1 - body.size()));

    Fetched f;
    f.url = reply->url();
    f.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    f.retryAfter = QString::fromLatin1(reply->rawHeader("Retry-After")).trimmed();
    if (broken == Broken::Stopped) {
        f.outcome = Fetched::Stopped;
    } else if (broken != Broken::None || (f.status == 0 && reply->error() != QNetworkReply::NoError)) {
        f.message = failure(*reply, broken, options);
        f.status = 0;
    } else if (body.size() > options.sizeLimit) {
        f.message = failure(*reply, Broken::Size, options);
    } else {
        f.outcome = Fetched::Answered;
        f.body = body;
    }
    delete reply;
    return f;
}

} // namespace rdap
