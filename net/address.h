#ifndef VANTOR_NET_ADDRESS_H
#define VANTOR_NET_ADDRESS_H

#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

// Which addresses a server may send us to. A referral, a redirect or a
// link is chosen by whoever answered; a server on the Internet must not be
// able to point the program at this machine or its local network, where
// services trust whoever asks.
namespace net {

// Loopback, unspecified, private (10/8, 172.16/12, 192.168/16, fc00::/7,
// fec0::/10), shared (100.64/10), link-local (169.254/16, fe80::/10) and
// the IPv4-mapped forms of all of them.
bool isLocalAddress(const QHostAddress &address);

// Says whether an address counts as public. Unset, !isLocalAddress decides;
// tests set it to let a loopback server play a public one.
using PublicTest = std::function<bool(const QHostAddress &)>;

// A hop from a server at `from` to a server with the addresses `to`: refused
// when `from` is public and any of `to` is not, allowed otherwise.
bool hopAllowed(const QHostAddress &from, const QList<QHostAddress> &to, const PublicTest &isPublic = {});

// What a name says of its address where nobody here resolves it (a proxy
// does): a literal address is itself, "localhost" and the names below it
// are loopback (RFC 6761), and any other name says nothing (a null address).
QHostAddress addressOfName(const QString &host);

// hopAllowed where either end may be known by its name alone, for a proxy
// reached it: `from` or `to` empty, the name speaks (addressOfName). A
// server whose name says nothing counts as public, so it may not send us to
// a local address; a target whose name says nothing is allowed, for the
// proxy resolves it out of this program's sight.
bool hopAllowedByName(QHostAddress from, const QString &fromHost, QList<QHostAddress> to, const QString &toHost,
                      const PublicTest &isPublic = {});

} // namespace net

#endif
