#ifndef VANTOR_NET_PACER_H
#define VANTOR_NET_PACER_H

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QWaitCondition>

#include <functional>

namespace net {

// The least time between two queries to host, in ms: defaultMs, or longer
// where resources/data/server-spacing.tsv gives the host a longer spacing
// (a limit its registry publishes).
int serverSpacingMs(const QString &host, int defaultMs);

// Waits ms, looking at stopRequested every 50 ms; false when it was asked
// to stop.
bool pauseFor(qint64 ms, const std::function<bool()> &stopRequested);

// Keeps this process's queries to one server apart, whichever lookup,
// thread or protocol makes them: a server is asked by one query at a time,
// each at least its spacing after the one before, and not at all while it
// is held (it asked us to slow down). A server is "host:port" for whois and
// the host for RDAP, as the callers name them.
class Pacer
{
public:
    static Pacer &shared();

    // A query's turn at a server; the server is free again when the turn
    // ends. A default turn is one that nobody paced.
    class Turn
    {
    public:
        Turn() = default;
        Turn(Turn &&other) noexcept;
        Turn &operator=(Turn &&other) noexcept;
        Turn(const Turn &) = delete;
        Turn &operator=(const Turn &) = delete;
        ~Turn();

        bool stopped() const { return m_stopped; }
        qint64 waitedMs() const { return m_waitedMs; }

    private:
        friend class Pacer;
        void release();

        Pacer *m_pacer = nullptr;
        QString m_server;
        qint64 m_waitedMs = 0;
        bool m_stopped = false;
    };

    struct Request
    {
        QString server;  // the key
        QString name;    // as messages name it
        int spacingMs = 1000;
        std::function<bool()> stopRequested;          // looked at every 50 ms while waiting
        std::function<void(const QString &)> waiting; // told once, where it really waits
    };

    // Waits until the server is free; a stop ends the wait with a stopped turn.
    Turn take(const Request &request);
    // Leaves the server alone for ms from now (or longer, if held longer).
    void hold(const QString &server, qint64 ms);
    // 0 when the server is free now, the ms until it is, or -1 while a
    // query is at it.
    qint64 readyIn(const QString &server) const;

    static constexpr int kStopCheckMs = 50;

private:
    struct Server
    {
        bool busy = false;
        bool asked = false;
        qint64 lastAsked = 0; // ms on m_clock
        int spacingMs = 0;    // the last query's
        qint64 heldUntil = 0;
    };

    Pacer();
    void release(const QString &server);
    qint64 freeAt(const Server &s, int spacingMs) const;

    mutable QMutex m_mutex;
    QWaitCondition m_freed;
    QHash<QString, Server> m_servers;
    QElapsedTimer m_clock;
};

} // namespace net

#endif
