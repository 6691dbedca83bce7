#include "net/pacer.h"

#include <QFile>
#include <QMutexLocker>
#include <QStringList>
#include <QThread>

#include <algorithm>

namespace net {
namespace {

// "host<TAB>seconds<TAB>source" lines; '#' starts a comment line.
QHash<QString, int> loadSpacings()
{
    QHash<QString, int> table;
    QFile file(QStringLiteral(":/resources/data/server-spacing.tsv"));
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("pacing: the embedded table of server spacings cannot be read");
        return table;
    }
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        bool ok = false;
        const int seconds = fields.value(1).toInt(&ok);
        if (fields.size() != 3 || fields.at(0).isEmpty() || !ok || seconds <= 0 || seconds > 3600) {
            qWarning("pacing: spacing table line skipped: %s", qPrintable(line));
            continue;
        }
        table.insert(fields.at(0).toLower(), seconds * 1000);
    }
    return table;
}

QString waitMessage(const QString &name, qint64 heldFor)
{
    if (heldFor <= 0)
        return QLatin1String("Waiting for ") + name;
    return QLatin1String("Waiting ") + QString::number((heldFor + 999) / 1000) + QLatin1String(" s for ") + name
           + QLatin1String(", which asked for a pause");
}

} // namespace

int serverSpacingMs(const QString &host, int defaultMs)
{
    static const QHash<QString, int> table = loadSpacings();
    return std::max(defaultMs, table.value(host.toLower(), 0));
}

bool pauseFor(qint64 ms, const std::function<bool()> &stopRequested)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        if (stopRequested && stopRequested())
            return false;
        const qint64 left = ms - t.elapsed();
        if (left <= 0)
            return true;
        QThread::msleep(ulong(std::min<qint64>(left, Pacer::kStopCheckMs)));
    }
}

Pacer &Pacer::shared()
{
    static Pacer pacer;
    return pacer;
}

Pacer::Pacer()
{
    m_clock.start();
}

qint64 Pacer::freeAt(const Server &s, int spacingMs) const
{
    return std::max(s.heldUntil, s.asked ? s.lastAsked + spacingMs : 0);
}

Pacer::Turn Pacer::take(const Request &r)
{
    QElapsedTimer waited;
    waited.start();
    bool waiting = false;
    Turn turn;
    QMutexLocker lock(&m_mutex);
    for (;;) {
        if (r.stopRequested && r.stopRequested()) {
            turn.m_stopped = true;
            turn.m_waitedMs = waited.elapsed();
            return turn;
        }
        // Looked up again each time: another thread may have added servers.
        Server &s = m_servers[r.server];
        const qint64 now = m_clock.elapsed();
        const qint64 wait = s.busy ? kStopCheckMs : freeAt(s, r.spacingMs) - now;
        if (wait <= 0) {
            s.busy = true;
            s.asked = true;
            s.lastAsked = now;
            s.spacingMs = r.spacingMs;
            turn.m_pacer = this;
            turn.m_server = r.server;
            turn.m_waitedMs = waiting ? waited.elapsed() : 0;
            return turn;
        }
        if (!waiting) {
            waiting = true;
            if (r.waiting) {
                // A pause the server asked for is said as such.
                const qint64 spaced = s.asked ? s.lastAsked + r.spacingMs : 0;
                const bool held = !s.busy && s.heldUntil > spaced;
                const QString message = waitMessage(r.name, held ? s.heldUntil - now : 0);
                lock.unlock();
                r.waiting(message);
                lock.relock();
                continue;
            }
        }
        m_freed.wait(&m_mutex, ulong(std::min<qint64>(wait, kStopCheckMs)));
    }
}

void Pacer::hold(const QString &server, qint64 ms)
{
    QMutexLocker lock(&m_mutex);
    Server &s = m_servers[server];
    s.heldUntil = std::max(s.heldUntil, m_clock.elapsed() + ms);
}

qint64 Pacer::readyIn(const QString &server) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_servers.constFind(server);
    if (it == m_servers.constEnd())
        return 0;
    if (it->busy)
        return -1;
    return std::max<qint64>(0, freeAt(*it, it->spacingMs) - m_clock.elapsed());
}

void Pacer::release(const QString &server)
{
    {
        QMutexLocker lock(&m_mutex);
        m_servers[server].busy = false;
    }
    m_freed.wakeAll();
}

Pacer::Turn::Turn(Turn &&other) noexcept
    : m_pacer(other.m_pacer), m_server(std::move(other.m_server)), m_waitedMs(other.m_waitedMs),
      m_stopped(other.m_stopped)
{
    other.m_pacer = nullptr;
}

Pacer::Turn &Pacer::Turn::operator=(Turn &&other) noexcept
{
    if (this != &other) {
        release();
        m_pacer = other.m_pacer;
        m_server = std::move(other.m_server);
        m_waitedMs = other.m_waitedMs;
        m_stopped = other.m_stopped;
        other.m_pacer = nullptr;
    }
    return *this;
}

Pacer::Turn::~Turn()
{
    release();
}

void Pacer::Turn::release()
{
    if (m_pacer)
        m_pacer->release(m_server);
    m_pacer = nullptr;
}

} // namespace net
