#include "whois/referral.h"

#include <QHostAddress>

#include <algorithm>

namespace {

bool isHostCharacter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-'
           || c == u'.' || c == u'_';
}

std::optional<quint16> parsePort(QStringView text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port == 0 || port > 65535 || !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    return quint16(port);
}

} // namespace

std::optional<Referral> parseReferral(QStringView value, quint16 defaultPort)
{
    QStringView rest = value.trimmed();
    const qsizetype scheme = rest.indexOf(u"://");
    if (scheme >= 0) {
        if (rest.left(scheme).compare(u"whois", Qt::CaseInsensitive) != 0)
            return std::nullopt;
        rest = rest.mid(scheme + 3);
    }
    // A path, or the trailing slash some registries write, is no part of the server.
    const qsizetype slash = rest.indexOf(u'/');
    if (slash >= 0)
        rest = rest.left(slash);

    Referral referral{ QString(), defaultPort };
    QStringView host = rest;
    QStringView port;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        host = rest.mid(1, close - 1);
        const QStringView after = rest.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(u':'))
            return std::nullopt;
        port = after.mid(1);
        if (!after.isEmpty() && port.isEmpty())
            return std::nullopt;
    } else if (rest.count(u':') == 1) {
        host = rest.left(rest.indexOf(u':'));
        port = rest.mid(rest.indexOf(u':') + 1);
    }
    if (!port.isEmpty()) {
        const std::optional<quint16> number = parsePort(port);
        if (!number)
            return std::nullopt;
        referral.port = *number;
    }

    const bool ipv6 = host.contains(u':');
    // QHostAddress takes more than an address ("+a00::" passes), so the signs are checked first.
    if (ipv6 && !std::all_of(host.begin(), host.end(), [](QChar c) { return c.isDigit() || c == u':' || c == u'.'
                                                                          || (c.toLower() >= u'a' && c.toLower() <= u'f'); }))
        return std::nullopt;
    if (host.isEmpty() || (ipv6 && QHostAddress(host.toString()).protocol() != QAbstractSocket::IPv6Protocol)
        || (!ipv6 && !std::all_of(host.begin(), host.end(), isHostCharacter)))
        return std::nullopt;
    referral.host = host.toString();
    return referral;
}
