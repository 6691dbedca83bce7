#ifndef VANTOR_REFERRAL_H
#define VANTOR_REFERRAL_H

#include <QString>
#include <QStringView>

#include <optional>

// A whois server named in a reply.
struct Referral
{
    QString host;  // as written, letter case kept
    quint16 port;
};

// Reads a referral as registries write it: "whois://host", "whois://host:port/",
// "host:port" or a bare host (an IPv6 address in brackets when a port
// follows). Nothing for a value that names no whois server: empty, another
// scheme (rwhois://, http://), a bad port, or a host with blanks or signs.
std::optional<Referral> parseReferral(QStringView value, quint16 defaultPort);

#endif
