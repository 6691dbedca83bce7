#include "rdap/refresh.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QMutex>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <memory>

#include "net/resolver.h"
#include "rdap/bootstrap.h"
#include "rdap/client.h"

namespace rdap {
namespace {

constexpr qint64 kFileSizeLimit = 2 * 1024 * 1024; // dns.json is about 70 KiB
constexpr int kFileTimeoutMs = 30000;
constexpr int kResolveTimeoutMs = 10000;

struct Running
{
    std::atomic<bool> stop{ false };
    std::atomic<bool> resolving{ false }; // waiting for the name of IANA's server
    std::unique_ptr<QThread> thread;
};

QMutex g_mutex; // guards g_running and g_cleanupAdded
std::unique_ptr<Running> g_running;
bool g_cleanupAdded = false;
std::atomic<bool> g_started{ false };

// Resolves the server's name once for all files; a name that never
// resolves leaves the refresh here, where it may be stopped at once.
bool resolveOnce(const QUrl &base, const HostResolver &resolve, Running &run, FetchOptions &options)
{
    const QString host = base.host();
    if (QHostAddress literal; literal.setAddress(host))
        return true;
    QList<QHostAddress> addresses;
    run.resolving = true;
    const Resolved resolved =
        resolveHost(host, resolve, QDeadlineTimer(kResolveTimeoutMs), [&run] { return run.stop.load(); }, &addresses);
    run.resolving = false;
    if (resolved != Resolved::Found)
        return false;
    options.resolve = [host, addresses, resolve](const QString &name) {
        if (name.compare(host, Qt::CaseInsensitive) == 0)
            return addresses;
        return resolve ? resolve(name) : systemResolve(name);
    };
    return true;
}

// The refresh's thread: each due file in turn, kept as it arrives. A
// proxy that resolves names resolves IANA's too.
void refreshFiles(const QString &base, const QString &folder, const HostResolver &resolve,
                  const net::ProxySettings &proxy, Running &run)
{
    const QStringList due = dueFiles(folder, QDateTime::currentDateTimeUtc());
    FetchOptions options;
    options.stopRequested = [&run] { return run.stop.load(); };
    options.sizeLimit = kFileSizeLimit;
    options.totalTimeoutMs = kFileTimeoutMs;
    options.resolve = resolve;
    options.proxy = proxy;
    const std::optional<net::Proxy> via = proxy.forUrl(QUrl(base)).proxy;
    const bool proxyResolves = via && via->resolvesNames;
    if (due.isEmpty() || (!proxyResolves && !resolveOnce(QUrl(base), resolve, run, options)))
        return;
    bool stored = false;
    for (const QString &name : due) {
        const Fetched f = fetch(QUrl(base + name), options);
        if (f.outcome == Fetched::Stopped)
            break;
        if (f.outcome == Fetched::Answered && f.status == 200)
            stored = storeRefreshed(folder, name, f.body) || stored;
    }
    if (stored)
        reloadTables(folder);
}

} // namespace

void refreshOncePerRun(const QString &baseUrl, const QString &cacheFolder, const HostResolver &resolve,
                       const net::ProxySettings &proxy)
{
    if (!g_started.exchange(true))
        refreshInBackground(baseUrl, cacheFolder, resolve, proxy);
}

void refreshInBackground(const QString &baseUrl, const QString &cacheFolder, const HostResolver &resolve,
                         const net::ProxySettings &proxy)
{
    if (!QCoreApplication::instance() || baseUrl.isEmpty() || !needsRefresh(cacheFolder, QDateTime::currentDateTimeUtc()))
        return;
    QMutexLocker lock(&g_mutex);
    if (g_running && !g_running->thread->isFinished())
        return;
    if (!g_cleanupAdded) {
        // Before the application object goes: Qt's network code must not
        // run on without it.
        qAddPostRoutine([] { finishRefresh(0); });
        g_cleanupAdded = true;
    }
    if (g_running)
        g_running->thread->wait();
    g_running = std::make_unique<Running>();
    Running *run = g_running.get();
    run->thread.reset(QThread::create(
        [baseUrl, cacheFolder, resolve, proxy, run] { refreshFiles(baseUrl, cacheFolder, resolve, proxy, *run); }));
    run->thread->start();
}

void finishRefresh(int graceMs)
{
    std::unique_ptr<Running> run;
    {
        QMutexLocker lock(&g_mutex);
        run = std::move(g_running);
    }
    if (!run)
        return;
    const QDeadlineTimer grace(graceMs);
    while (!run->resolving && !grace.hasExpired() && !run->thread->wait(QDeadlineTimer(std::min<qint64>(50, grace.remainingTime())))) {
    }
    run->stop = true;
    run->thread->wait();
}

} // namespace rdap
