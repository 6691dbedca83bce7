#ifndef VANTOR_CHAIN_H
#define VANTOR_CHAIN_H

#include <QHostAddress>
#include <QString>

#include "whois/whoisinfo.h"

// What one server of a chain sent.
struct WhoisInfo::Reply
{
    enum Outcome {
        Complete,
        NoConnection, // see failure
        NoAnswer,
        Unusable,
        Refused,     // the registry refused the query or limits the rate (rateLimited)
        NotFollowed, // a hop a server chose that leads to a local address; see failure
        CutBySize,
        CutByTime,
        Stopped
    };
    Outcome outcome = Complete;
    QString text;
    bool utf8 = false;
    bool rateLimited = false; // Refused: for now, not for good
    QString failure;          // NoConnection, NotFollowed: the message the status bar shows
    QString reason;           // NoConnection: the same in a few words, "timed out"
    QHostAddress peer;        // the address the socket connected to; null where a proxy resolved the name
};

// One server of a chain.
struct WhoisInfo::Hop
{
    QString host;
    quint16 port = 43;
    // Where a server's reply named this one: the address that reply came
    // from (null where a proxy reached it by name), that server's name as
    // messages give it, and its host. Empty for a server this program chose.
    QHostAddress namedBy;
    QString namedByName;
    QString namedByHost;
    // The host, with the port where it is not the usual one.
    QString name(quint16 usualPort) const;
};

#endif
