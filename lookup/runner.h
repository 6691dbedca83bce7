#ifndef VANTOR_LOOKUPRUNNER_H
#define VANTOR_LOOKUPRUNNER_H

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <memory>

#include "analysis/facts.h"
#include "lookup/driver.h"
#include "whois/whoisinfo.h"

// What a finished lookup hands back: plain values, made on the lookup's
// thread and read on the caller's, so nothing is shared between the two.
struct LookupResult
{
    quint64 id = 0;
    QString typed;    // the query as it was given
    QString kind;     // the query's kind ("ipv4", "domain", ...)
    QString query;    // the engine's query: cleaned, lower case
    QString response; // the last reply, summarised
    QString text;     // the result text
    QString netRange;
    QString cidr;
    QString owner;
    QString country;
    QString address;
    bool replyIsUtf8 = false;
    WhoisInfo::Outcome outcome = WhoisInfo::Outcome::None;
    QList<WhoisInfo::Asked> asked;
    // every connection made, with its times, outcome and reply (HopRecord::reply)
    QList<net::HopRecord> hops;
    analysis::Facts facts; // what the answer says, for the facts panel and --facts
    QString status; // the last progress message
    bool stored = false; // a kept answer, no server asked
    QDateTime fetched;   // when the servers gave the answer (UTC); null when none did
    QString notice;      // what the user should be told once about the kept answers
};
Q_DECLARE_METATYPE(LookupResult)


// Runs lookups on threads of its own, at most maxThreads at once; the
// caller's thread stays free. Progress and results come back as queued
// signals, in the order the lookup produced them. Destroying the runner
// stops every lookup and waits for them, which takes a few milliseconds.
class LookupRunner : public QObject
{
    Q_OBJECT

public:
    explicit LookupRunner(int maxThreads = 1, QObject *parent = nullptr);
    ~LookupRunner() override;

    // Starts a lookup of query; returns its id.
    quint64 start(const QString &query, const WhoisEndpoints &endpoints, const LookupOptions &options = {});
    // Asks the lookup to end; it finishes with the outcome Stopped.
    void stop(quint64 id);
    void stopAll();
    bool isRunning() const { return !m_stops.isEmpty(); }

signals:
    void progress(quint64 id, const QString &message);
    void finished(const LookupResult &result);

private:
    void done(const LookupResult &result);

    QThreadPool m_pool;
    quint64 m_nextId = 0;
    QHash<quint64, std::shared_ptr<std::atomic<bool>>> m_stops; // the running ones
};

#endif
