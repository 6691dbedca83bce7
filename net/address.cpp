#include "net/address.h"

#include <QPair>

#include <algorithm>

namespace net {
namespace {

bool inV4(quint32 address, const char *network, int bits)
{
    const QPair<QHostAddress, int> subnet = QHostAddress::parseSubnet(QLatin1String(network) + QLatin1Char('/')
                                                                      + QString::number(bits));
    return QHostAddress(address).isInSubnet(subnet);
}

} // namespace

bool isLocalAddress(const QHostAddress &address)
{
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped); // also takes ::ffff:a.b.c.d
    if (mapped) {
        return inV4(v4, "0.0.0.0", 8) || inV4(v4, "10.0.0.0", 8) || inV4(v4, "100.64.0.0", 10)
               || inV4(v4, "127.0.0.0", 8) || inV4(v4, "169.254.0.0", 16) || inV4(v4, "172.16.0.0", 12)
               || inV4(v4, "192.168.0.0", 16);
    }
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return true; // not an address at all: nothing to trust
    return address.isLoopback() || address == QHostAddress(QHostAddress::AnyIPv6) || address.isLinkLocal()
           || address.isSiteLocal() || address.isUniqueLocalUnicast();
}

bool hopAllowed(const QHostAddress &from, const QList<QHostAddress> &to, const PublicTest &isPublic)
{
    const auto isPublicAddress = [&](const QHostAddress &a) { return isPublic ? isPublic(a) : !isLocalAddress(a); };
    if (!isPublicAddress(from))
        return true; // a local server may send us anywhere it could reach itself
    return std::all_of(to.cbegin(), to.cend(), isPublicAddress);
}

QHostAddress addressOfName(const QString &host)
{
    QString name = host.toLower();
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    if (name == QLatin1String("localhost") || name.endsWith(QLatin1String(".localhost")))
        return QHostAddress(QHostAddress::LocalHost);
    QHostAddress literal;
    return literal.setAddress(name) ? literal : QHostAddress();
}

bool hopAllowedByName(QHostAddress from, const QString &fromHost, QList<QHostAddress> to, const QString &toHost,
                      const PublicTest &isPublic)
{
    if (from.isNull())
        from = addressOfName(fromHost);
    if (to.isEmpty() && !addressOfName(toHost).isNull())
        to.append(addressOfName(toHost));
    if (!from.isNull())
        return hopAllowed(from, to, isPublic);
    const auto isPublicAddress = [&](const QHostAddress &a) { return isPublic ? isPublic(a) : !isLocalAddress(a); };
    return std::all_of(to.cbegin(), to.cend(), isPublicAddress);
}

} // namespace net
