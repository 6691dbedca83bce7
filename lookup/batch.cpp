#include "lookup/batch.h"

#include <QUrl>

#include "net/pacer.h"
#include "lookup/kept.h"
#include "lookup/plan.h"
#include "rdap/bootstrap.h"

LookupBatch::LookupBatch(const WhoisEndpoints &endpoints, const LookupOptions &options, QObject *parent)
    : QObject(parent), m_endpoints(endpoints), m_options(options), m_runner(kMaxInFlight)
{
    // Nobody watches a batch: waiting for a server that asked for it costs
    // nothing but time.
    m_options.backOff = true;
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
    // Kept answers first: they cost no server a turn.
    for (int i = 0; i < queries.size(); ++i) {
        m_servers.append(serverOf(queries.at(i)));
        m_checkedAt.append(m_generation);
        if (std::optional<LookupResult> r = kept::find(queries.at(i), m_endpoints, m_options, m_notice))
            m_done.insert(i, *r);
        else
            m_pending.append(i);
    }
    m_clock.start();
    // Results go out from the event loop, as those of lookups do.
    QMetaObject::invokeMethod(this, &LookupBatch::deliver, Qt::QueuedConnection);
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
    // In the order given; a query whose first server is not free now lets
    // the ones after it go first.
    qint64 wakeIn = -1;
    QHash<QString, qint64> ready; // per server, for this pass
    for (auto it = m_pending.begin(); it != m_pending.end() && m_indexOf.size() < kMaxInFlight;) {
        const QString &server = m_servers.at(*it);
        if (!server.isEmpty()) {
            auto r = ready.find(server);
            if (r == ready.end())
                r = ready.insert(server, readyIn(server));
            if (*r != 0) {
                // Busy with a query: no telling when it ends, so look again soon.
                const qint64 wait = *r < 0 ? net::Pacer::kStopCheckMs : *r;
                wakeIn = wakeIn < 0 ? wait : std::min(wakeIn, wait);
                ++it;
                continue;
            }
            if (keptAnswer(*it)) {
                it = m_pending.erase(it);
                continue;
            }
            *r = -1; // taken in this pass
            m_lastStart.insert(server, m_clock.elapsed());
        }
        m_indexOf.insert(m_runner.start(m_queries.at(*it), m_endpoints, m_options), *it);
        it = m_pending.erase(it);
    }
    if (wakeIn >= 0)
        m_wake.start(int(wakeIn));
}

// As the pacer sees the server, and no sooner than its spacing after the
// last lookup this batch started there: that one may not have reached the
// pacer yet.
qint64 LookupBatch::readyIn(const QString &server) const
{
    if (m_endpoints.serverSpacingMs <= 0)
        return 0;
    const qint64 paced = net::Pacer::shared().readyIn(server);
    if (paced < 0)
        return paced;
    const auto last = m_lastStart.constFind(server);
    const qint64 own = last == m_lastStart.constEnd() ? 0 : *last + m_endpoints.serverSpacingMs - m_clock.elapsed();
    return std::max<qint64>({ 0, paced, own });
}

void LookupBatch::count(const LookupResult &result)
{
    for (const net::HopRecord &hop : result.hops) {
        if (hop.outcome == net::HopRecord::Outcome::Stopped)
            continue;
        auto index = m_tallyIndex.constFind(hop.server);
        if (index == m_tallyIndex.constEnd()) {
            index = m_tallyIndex.insert(hop.server, int(m_tally.size()));
            m_tally.append(ServerTally{ hop.server, 0, 0, 0, 0, 0 });
        }
        ServerTally &t = m_tally[*index];
        ++t.queries;
        if (hop.outcome == net::HopRecord::Outcome::Answered)
            ++t.answers;
        else
            ++t.failures;
        if (hop.waitedMs > 0) {
            ++t.waits;
            t.waitedMs += hop.waitedMs;
        }
    }
}

// A query about to start is looked for once more where answers were kept
// since it last was: one in the same network as an earlier query may have
// its answer now. Only then, so that a long queue costs no store lookups
// at every pass.
bool LookupBatch::keptAnswer(int index)
{
    if (m_checkedAt.at(index) == m_generation)
        return false;
    m_checkedAt[index] = m_generation;
    std::optional<LookupResult> r = kept::find(m_queries.at(index), m_endpoints, m_options, m_notice);
    if (!r)
        return false;
    m_done.insert(index, *r);
    QMetaObject::invokeMethod(this, &LookupBatch::deliver, Qt::QueuedConnection);
    return true;
}

void LookupBatch::collect(const LookupResult &result)
{
    const int index = m_indexOf.take(result.id);
    count(result);
    if (result.outcome == WhoisInfo::Outcome::Answered)
        ++m_generation; // it may have been kept
    m_done.insert(index, result);
    deliver();
}

void LookupBatch::deliver()
{
    // A receiver may stop the run from within resultReady.
    while (!m_stopped && m_done.contains(m_nextOut)) {
        LookupResult r = m_done.take(m_nextOut);
        if (r.notice.isEmpty())
            std::swap(r.notice, m_notice);
        m_fromStore += r.stored ? 1 : 0;
        if (r.stored && r.id == 0) // taken here; the lookup thread says it for its own
            emit progress(m_nextOut, r.status);
        emit resultReady(m_nextOut++, r);
    }
    if (m_stopped || m_finished)
        return;
    if (m_nextOut == m_queries.size()) {
        m_finished = true;
        emit finished();
    } else {
        schedule();
    }
}
