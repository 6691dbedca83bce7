#ifndef VANTOR_RESOLVER_H
#define VANTOR_RESOLVER_H

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

// Resolves a server's name without letting the resolver hold the caller:
// the lookup runs on a thread of its own, and the caller waits for it in
// short steps until the deadline passes or it is asked to stop. A resolver
// that never answers costs the caller no more than its deadline; its thread
// ends whenever the resolver gives up, and nobody waits for it, not even at
// exit.
enum class Resolved { Found, Unknown, TimedOut, Stopped };

using HostResolver = std::function<QList<QHostAddress>(const QString &name)>;

Resolved resolveHost(const QString &name, const HostResolver &resolver, QDeadlineTimer deadline,
                     const std::function<bool()> &stopRequested, QList<QHostAddress> *addresses);

// The system's resolver (getaddrinfo): every address of the name, IPv4 and
// IPv6, in the order the system prefers; empty when the name is unknown.
QList<QHostAddress> systemResolve(const QString &name);

#endif
