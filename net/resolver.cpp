#include "net/resolver.h"

#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

namespace {

// Shared by the waiting caller and the resolving thread, so either may go first.
struct Pending
{
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    QList<QHostAddress> addresses;
};

constexpr std::chrono::milliseconds kStep(50);

} // namespace

QList<QHostAddress> systemResolve(const QString &name)
{
#ifdef Q_OS_WIN
    // Balanced by nobody: Winsock stays up for the life of the process, as Qt keeps it.
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
#endif
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo *found = nullptr;
    const QByteArray ace = QUrl::toAce(name);
    QList<QHostAddress> addresses;
    if (ace.isEmpty() || getaddrinfo(ace.constData(), nullptr, &hints, &found) != 0)
        return addresses;
    for (const addrinfo *a = found; a; a = a->ai_next) {
        const QHostAddress address(a->ai_addr);
        if (!address.isNull() && !addresses.contains(address))
            addresses.append(address);
    }
    freeaddrinfo(found);
    return addresses;
}

Resolved resolveHost(const QString &name, const HostResolver &resolver, QDeadlineTimer deadline,
                     const std::function<bool()> &stopRequested, QList<QHostAddress> *addresses)
{
    auto pending = std::make_shared<Pending>();
    std::thread([pending, name, resolver] {
        QList<QHostAddress> found = resolver ? resolver(name) : systemResolve(name);
        const std::lock_guard<std::mutex> lock(pending->mutex);
        pending->addresses = std::move(found);
        pending->finished = true;
        pending->done.notify_all();
    }).detach();

    std::unique_lock<std::mutex> lock(pending->mutex);
    while (!pending->finished) {
        if (stopRequested())
            return Resolved::Stopped;
        if (deadline.hasExpired())
            return Resolved::TimedOut;
        const auto step = std::min<std::chrono::milliseconds>(kStep, std::chrono::milliseconds(deadline.remainingTime()));
        pending->done.wait_for(lock, step);
    }
    *addresses = pending->addresses;
    return addresses->isEmpty() ? Resolved::Unknown : Resolved::Found;
}
