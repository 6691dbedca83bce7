#include "lookup/runner.h"

#include "lookup/kept.h"

namespace {

LookupResult lookupResult(quint64 id, const QString &typed, const WhoisEndpoints &endpoints, const LookupOptions &options,
                       const std::shared_ptr<std::atomic<bool>> &stop,
                       const std::function<void(const QString &)> &progress)
{
    // Before anything is paced or sent.
    QString notice;
    if (std::optional<LookupResult> kept = kept::find(typed, endpoints, options, notice)) {
        kept->id = id;
        kept->notice = notice;
        progress(kept->status);
        return *kept;
    }
    WhoisInfo engine(nullptr, endpoints);
    engine.stopToken = stop;
    engine.progressSink = progress;
    LookupResult r;
    bool noRecord = false;
    r.facts = runLookup(engine, typed, options, &noRecord);
    r.id = id;
    r.typed = typed;
    r.kind = engine.kind;
    r.query = engine.query;
    r.response = engine.response;
    r.text = engine.formatText();
    r.netRange = engine.netRange;
    r.cidr = engine.cidr;
    r.owner = engine.owner;
    r.country = engine.country;
    r.address = engine.address;
    r.replyIsUtf8 = engine.replyIsUtf8;
    r.outcome = engine.outcome;
    r.asked = engine.asked;
    r.hops = engine.hops;
    r.status = engine.status;
    kept::keep(r, noRecord, engine.hopFailed(), endpoints, options);
    if (r.notice.isEmpty())
        r.notice = notice;
    return r;
}

} // namespace

LookupRunner::LookupRunner(int maxThreads, QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<LookupResult>();
    m_pool.setMaxThreadCount(maxThreads);
    // Kept for the runner's life: a new thread for every lookup costs more
    // than the hop itself.
    m_pool.setExpiryTimeout(-1);
}

LookupRunner::~LookupRunner()
{
    stopAll();
    m_pool.waitForDone();
}

quint64 LookupRunner::start(const QString &query, const WhoisEndpoints &endpoints, const LookupOptions &options)
{
    const quint64 id = ++m_nextId;
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_stops.insert(id, stop);
    // Messages and the result are posted to this object's thread; posts
    // from one thread keep their order, and die with the runner.
    auto report = [this, id](const QString &message) {
        QMetaObject::invokeMethod(this, [this, id, message] { emit progress(id, message); }, Qt::QueuedConnection);
    };
    m_pool.start([this, id, query, endpoints, options, stop, report] {
        const LookupResult result = lookupResult(id, query, endpoints, options, stop, report);
        QMetaObject::invokeMethod(this, [this, result] { done(result); }, Qt::QueuedConnection);
    });
    return id;
}

void LookupRunner::stop(quint64 id)
{
    if (const auto it = m_stops.constFind(id); it != m_stops.constEnd())
        it.value()->store(true);
}

void LookupRunner::stopAll()
{
    for (const auto &stop : std::as_const(m_stops))
        stop->store(true);
}

void LookupRunner::done(const LookupResult &result)
{
    m_stops.remove(result.id);
    emit finished(result);
}
