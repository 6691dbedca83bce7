#include "rdap/refresh.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

#include <atomic>

#include "rdap/bootstrap.h"
#include "rdap/client.h"

namespace rdap {
namespace {

constexpr qint64 kFileSizeLimit = 2 * 1024 * 1024; // dns.json is about 70 KiB
constexpr int kFileTimeoutMs = 30000;

// Fetches the five files one after another, then reloads the tables; lives
// on the application's thread and deletes itself when done.
class Refresh : public QObject
{
public:
    Refresh(const QString &baseUrl, const QString &cacheFolder)
        : m_base(baseUrl), m_folder(cacheFolder)
    {
        m_manager.setTransferTimeout(kFileTimeoutMs);
    }

    void next()
    {
        if (m_index >= int(std::size(kAllRegistries))) {
            if (m_stored)
                reloadTables(m_folder);
            deleteLater();
            return;
        }
        const QString name = fileName(kAllRegistries[m_index++]);
        QNetworkRequest request(QUrl(m_base + name));
        request.setRawHeader("User-Agent", userAgent());
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        QNetworkReply *reply = m_manager.get(request);
        connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
            if (received > kFileSizeLimit)
                reply->abort();
        });
        connect(reply, &QNetworkReply::finished, this, [this, reply, name] {
            if (reply->error() == QNetworkReply::NoError)
                m_stored = storeRefreshed(m_folder, name, reply->readAll()) || m_stored;
            reply->deleteLater();
            next();
        });
    }

private:
    QNetworkAccessManager m_manager;
    QString m_base;
    QString m_folder;
    int m_index = 0;
    bool m_stored = false;
};

std::atomic<bool> g_started{ false };

} // namespace

void refreshOncePerRun(const QString &baseUrl, const QString &cacheFolder)
{
    if (!g_started.exchange(true))
        refreshInBackground(baseUrl, cacheFolder);
}

void refreshInBackground(const QString &baseUrl, const QString &cacheFolder)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || baseUrl.isEmpty() || !needsRefresh(cacheFolder, QDateTime::currentDateTimeUtc()))
        return;
    QMetaObject::invokeMethod(app, [baseUrl, cacheFolder] {
        auto *refresh = new Refresh(baseUrl, cacheFolder);
        // Goes with the application if it ends first.
        refresh->setParent(QCoreApplication::instance());
        refresh->next();
    }, Qt::QueuedConnection);
}

} // namespace rdap
