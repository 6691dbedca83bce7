#ifndef VANTOR_NET_ADDRESS_H
#define VANTOR_NET_ADDRESS_H

#include <QHostAddress>
#include <QList>

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

} // namespace net

#endif
