#ifndef VANTOR_NET_HOP_H
#define VANTOR_NET_HOP_H

#include <QString>

namespace net {

// One connection a lookup made: to which server, over what, how long it took
// and how long it waited for its turn there (see net/pacer.h). A plain value
// that a finished lookup hands back, hop by hop, in the order they were made.
struct HopRecord
{
    enum class Outcome {
        Answered,    // a reply (a whois text, an RDAP record, "no record", a redirect)
        NoReply,     // connected, but nothing came
        Failed,      // no connection, an unusable reply, a server error
        Refused,     // the registry refused the query
        RateLimited, // the registry said to ask less often (whois text, HTTP 429)
        Stopped      // the user stopped the lookup
    };

    QString server;   // the host, with ":port" where the port is not the usual one
    QString protocol; // "whois" or "rdap"
    qint64 ms = 0;        // from connecting to the end of the reply
    qint64 waitedMs = 0;  // before connecting, for the server's turn
    Outcome outcome = Outcome::Failed;
    // What the server answered, as the result area shows it: a whois reply
    // decoded, an RDAP reply rendered as text; empty where nothing came.
    // Bounded by the reply's own limit (4 MiB), and a chain has few hops.
    QString reply;
};

// "answered", "no reply", "failed", "refused", "rate limited", "stopped".
inline QString outcomeName(HopRecord::Outcome outcome)
{
    switch (outcome) {
    case HopRecord::Outcome::Answered: return QStringLiteral("answered");
    case HopRecord::Outcome::NoReply: return QStringLiteral("no reply");
    case HopRecord::Outcome::Failed: return QStringLiteral("failed");
    case HopRecord::Outcome::Refused: return QStringLiteral("refused");
    case HopRecord::Outcome::RateLimited: return QStringLiteral("rate limited");
    case HopRecord::Outcome::Stopped: return QStringLiteral("stopped");
    }
    return QString();
}

} // namespace net

#endif
