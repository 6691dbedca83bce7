#include <QTcpSocket>

#include "net/proxy.h"
#include "whois/chain.h"
#include "whois/whoisinfo.h"

namespace {

// Which way a connection through the proxy failed: the proxy itself, or
// the proxy's way on to the server (Qt reports the SOCKS5 reply's code as
// the socket error of a direct connection: refused, host not found...).
net::ProxyFault faultOf(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ProxyConnectionRefusedError:
        return net::ProxyFault::Refused;
    case QAbstractSocket::ProxyConnectionTimeoutError:
    case QAbstractSocket::SocketTimeoutError:
        return net::ProxyFault::NoAnswer;
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        return net::ProxyFault::Authentication;
    case QAbstractSocket::ProxyNotFoundError:
        return net::ProxyFault::UnknownName;
    case QAbstractSocket::ProxyConnectionClosedError:
    case QAbstractSocket::ProxyProtocolError:
    case QAbstractSocket::UnknownSocketError:
        return net::ProxyFault::Broken;
    default:
        return net::ProxyFault::Unreachable;
    }
}

} // namespace

// Connects through a SOCKS5 proxy at one of its addresses: to the server's
// name where the proxy resolves it (socks5h), else to the addresses this
// program found and checked (socks5). Sets the outcome in reply; a failure
// names the proxy where the proxy failed.
void WhoisInfo::connectThroughProxy(QTcpSocket &socket, const Hop &hop, const net::Proxy &proxy,
                                    const QList<QHostAddress> &addresses, const QDeadlineTimer &deadline, Reply &reply)
{
    const auto stop = [this] { return stopRequested(); };
    QList<QHostAddress> proxyAt;
    const Resolved resolved = net::proxyAddresses(proxy, m_endpoints.resolve, deadline, stop, &proxyAt);
    net::ProxyFault fault = resolved == Resolved::Unknown ? net::ProxyFault::UnknownName : net::ProxyFault::NoAnswer;
    QString detail;
    if (resolved == Resolved::Stopped) {
        reply.outcome = Reply::Stopped;
        return;
    }
    // The name, or each address of the server; the proxy's addresses in turn
    // where one refuses.
    const QList<QHostAddress> targets = addresses.isEmpty() ? QList<QHostAddress>{ QHostAddress() } : addresses;
    for (const QHostAddress &at : std::as_const(proxyAt)) {
        socket.setProxy(net::qtProxy(proxy, at));
        for (const QHostAddress &target : targets) {
            if (deadline.hasExpired())
                break;
            if (connectToAddress(socket, target, hop.port, deadline, hop.host)) {
                reply.outcome = Reply::Complete;
                reply.peer = target; // null where the proxy resolved the name
                return;
            }
            if (stopRequested()) {
                reply.outcome = Reply::Stopped;
                return;
            }
            const bool failed = socket.state() == QAbstractSocket::UnconnectedState;
            fault = failed ? faultOf(socket.error()) : net::ProxyFault::NoAnswer;
            detail = failed ? socket.errorString() : QString();
            socket.abort();
            if (fault != net::ProxyFault::Unreachable)
                break; // the proxy at this address is no use
        }
        if (fault != net::ProxyFault::Refused)
            break;
    }
    reply.failure = net::proxyFailure(fault, proxy, hop.name(m_endpoints.port), detail);
    reply.reason = net::proxyReason(fault);
    showProgress(reply.failure);
}
