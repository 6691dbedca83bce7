#ifndef VANTOR_CHAIN_H
#define VANTOR_CHAIN_H

#include <QString>

#include "whois/whoisinfo.h"

// What one server of a chain sent.
struct WhoisInfo::Reply
{
    enum Outcome { Complete, NoConnection, NoAnswer, Unusable, CutBySize, CutByTime, Stopped };
    Outcome outcome = Complete;
    QString text;
    bool utf8 = false;
};

// One server of a chain.
struct WhoisInfo::Hop
{
    QString host;
    quint16 port = 43;
    // The host, with the port where it is not the usual one.
    QString name(quint16 usualPort) const;
};

#endif
