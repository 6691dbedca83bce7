#ifndef VANTOR_BATCH_H
#define VANTOR_BATCH_H

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include "lookup/runner.h"

// Many lookups, paced as registries expect of a well-behaved client: at most
// kMaxInFlight at once, and every hop of every lookup waits for its server's
// turn (net/pacer.h). A query starts when the first server it goes to is
// free now, so that no lookup sits waiting for one server while others
// could go; the ones after it go first meanwhile. Referral hops, not known
// in advance, wait inside their lookup. A server that says to slow down is
// waited for and asked once more (LookupOptions::backOff). Results come out
// in the order the queries were given. A kept answer (lookup/kept.h) is
// taken before any of this, and costs no server a turn.
class LookupBatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxInFlight = 4;

    // What the batch asked of one server, for the report at its end.
    struct ServerTally
    {
        QString server;
        int queries = 0;
        int answers = 0;
        int failures = 0;
        int waits = 0;       // queries that waited for their turn there
        qint64 waitedMs = 0;
    };

    LookupBatch(const WhoisEndpoints &endpoints, const LookupOptions &options, QObject *parent = nullptr);

    void run(const QStringList &queries);
    // Ends the run early: no further lookup starts, the running ones are
    // asked to stop, and no signal comes any more.
    void stop();

    // The first server a query goes to ("host" or "host:port"), or an empty
    // text where none is asked (an empty query, one that is no address).
    QString serverOf(const QString &query) const;

    // Per server, in the order first asked; lookups not finished yet aside.
    QList<ServerTally> tally() const { return m_tally; }
    // How many results so far were kept answers.
    int fromStore() const { return m_fromStore; }

signals:
    void progress(int index, const QString &message);
    void resultReady(int index, const LookupResult &result); // in the order given
    void finished();

private:
    void schedule();
    qint64 readyIn(const QString &server) const;
    void collect(const LookupResult &result);
    bool keptAnswer(int index);
    void deliver();
    void count(const LookupResult &result);

    WhoisEndpoints m_endpoints;
    LookupOptions m_options;
    LookupRunner m_runner;
    QStringList m_queries;
    QStringList m_servers;         // per query, worked out once
    QList<int> m_pending;          // not started yet, in order
    QHash<QString, qint64> m_lastStart; // ms on m_clock, of lookups this batch started there
    QHash<quint64, int> m_indexOf; // runner id -> query index
    QHash<int, LookupResult> m_done;
    QList<ServerTally> m_tally;
    QHash<QString, int> m_tallyIndex;
    int m_nextOut = 0;
    bool m_stopped = false;
    bool m_finished = false;
    int m_generation = 0;     // grows with every answer that may have been kept
    QList<int> m_checkedAt;   // per query: m_generation when the store was last asked
    QString m_notice;         // the store's, for the next result out
    int m_fromStore = 0;
    QElapsedTimer m_clock;
    QTimer m_wake;
};

#endif
