#ifndef VANTOR_BATCH_H
#define VANTOR_BATCH_H

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include "lookup/runner.h"

// Many lookups, paced as registries expect of a well-behaved client: at most
// kMaxInFlight at once, at most one per server at a time, and two lookups
// that start at the same server at least kServerGapMs apart. The server is
// the first one a query goes to (referral hops are not known in advance).
// Results come out in the order the queries were given.
class LookupBatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxInFlight = 4;
    static constexpr int kServerGapMs = 1000;

    LookupBatch(const WhoisEndpoints &endpoints, const LookupOptions &options, QObject *parent = nullptr);

    void run(const QStringList &queries);
    // Ends the run early: no further lookup starts, the running ones are
    // asked to stop, and no signal comes any more.
    void stop();

    // The first server a query goes to ("host" or "host:port"), or an empty
    // text where none is asked (an empty query, one that is no address).
    QString serverOf(const QString &query) const;

signals:
    void progress(int index, const QString &message);
    void resultReady(int index, const LookupResult &result); // in the order given
    void finished();

private:
    void schedule();
    void collect(const LookupResult &result);

    WhoisEndpoints m_endpoints;
    LookupOptions m_options;
    LookupRunner m_runner;
    QStringList m_queries;
    QStringList m_servers;         // per query, worked out once
    QList<int> m_pending;          // not started yet, in order
    QSet<QString> m_busy;
    QHash<QString, qint64> m_lastStart; // ms on m_clock
    QHash<quint64, int> m_indexOf; // runner id -> query index
    QHash<int, LookupResult> m_done;
    int m_nextOut = 0;
    bool m_stopped = false;
    QElapsedTimer m_clock;
    QTimer m_wake;
};

#endif
