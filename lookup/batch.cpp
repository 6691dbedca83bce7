#include "lookup/batch.h"

#include <QUrl>

#include "lookup/plan.h"
#include "rdap/bootstrap.h"

LookupBatch::LookupBatch(const WhoisEndpoints &endpoints, const LookupOptions &options, QObject *parent)
    : QObject(parent), m_endpoints(endpoints), m_options(options), m_runner(kMaxInFlight)
{
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, &LookupBatch::schedule);
    connect(&m_runner, &LookupRunner::progress, this,
            [this](quint64 id, const QString &message) { emit progress(m_indexOf.value(id), message); });
    connect(&m_runner, &LookupRunner::finished, this, &LookupBatch::collect);
}

QString LookupBatch::serverOf(const QString &query) const
{
    const QString clean = WhoisInfo::cleanQuery(query);
    if (clean.isEmpty())
        return QString();
    WhoisRoute r = WhoisInfo(nullptr, m_endpoints).route(clean);
    if (r.kind == route::Kind::Invalid)
        return QString();
    const quint16 port = m_options.firstPort ? m_options.firstPort : m_endpoints.port;
    if (!m_options.firstServer.isEmpty())
        return m_options.firstServer + QLatin1Char(':') + QString::number(port);
    planFirstHop(r, m_endpoints);
    if (m_options.preferRdap || r.server.isEmpty()) {
        const QStringList rdap = m_endpoints.rdapServices ? m_endpoints.rdapServices(r.parsed) : rdap::serviceFor(r.parsed);
        if (!rdap.isEmpty())
            return QUrl(rdap.first()).authority();
    }
    return r.server.isEmpty() ? QString() : r.server.toLower() + QLatin1Char(':') + QString::number(port);
}

void LookupBatch::run(const QStringList &queries)
{
    m_queries = queries;
    for (int i = 0; i < queries.size(); ++i) {
        m_servers.append(serverOf(queries.at(i)));
        m_pending.append(i);
    }
    m_clock.start();
    if (queries.isEmpty())
        QMetaObject::invokeMethod(this, &LookupBatch::finished, Qt::QueuedConnection);
    schedule();
}

void LookupBatch::stop()
{
    m_stopped = true;
    m_pending.clear();
    m_wake.stop();
    disconnect(&m_runner, nullptr, this, nullptr);
    m_runner.stopAll();
}

void LookupBatch::schedule()
{
    // In the order given; a query whose server is busy or was asked a
    // moment ago lets the ones after it go first.
    qint64 wakeIn = -1;
    for (auto it = m_pending.begin(); it != m_pending.end() && m_indexOf.size() < kMaxInFlight;) {
        const QString &server = m_servers.at(*it);
        if (!server.isEmpty()) {
            if (m_busy.contains(server)) {
                ++it;
                continue;
            }
            const auto last = m_lastStart.constFind(server);
            const qint64 wait = last == m_lastStart.constEnd() ? 0 : *last + kServerGapMs - m_clock.elapsed();
            if (wait > 0) {
                wakeIn = wakeIn < 0 ? wait : std::min(wakeIn, wait);
                ++it;
                continue;
            }
            m_busy.insert(server);
            m_lastStart.insert(server, m_clock.elapsed());
        }
        m_indexOf.insert(m_runner.start(m_queries.at(*it), m_endpoints, m_options), *it);
        it = m_pending.erase(it);
    }
    if (wakeIn >= 0)
        m_wake.start(int(wakeIn));
}

void LookupBatch::collect(const LookupResult &result)
{
    const int index = m_indexOf.take(result.id);
    m_busy.remove(m_servers.at(index));
    m_done.insert(index, result);
    // A receiver may stop the run from within resultReady.
    while (!m_stopped && m_done.contains(m_nextOut)) {
        const int out = m_nextOut++;
        emit resultReady(out, m_done.take(out));
    }
    if (m_stopped)
        return;
    if (m_nextOut == m_queries.size())
        emit finished();
    else
        schedule();
}
