#include <QDebug>
#include <QHostAddress>

#include <algorithm>

#include "whois/whoisinfo.h"

namespace {

// Four decimal numbers from 0 to 255 joined by '.', blanks around ignored.
// QHostAddress alone would also take "10", "1234" or octal "010".
bool parseIPv4(QStringView text, quint32 *value)
{
    const QList<QStringView> parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    quint32 result = 0;
    for (QStringView part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        uint number = 0;
        for (QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
            number = number * 10 + uint(c.unicode() - '0');
        }
        if (number > 255)
            return false;
        result = (result << 8) | number;
    }
    *value = result;
    return true;
}

// "a.b.c.d/n" (n up to 32) or an IPv6 prefix (n up to 128), as LACNIC
// writes its ranges.
bool isPrefix(QStringView text)
{
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return false;
    const QStringView address = text.left(slash);
    const QStringView length = text.mid(slash + 1);
    if (length.isEmpty() || length.size() > 3
        || !std::all_of(length.begin(), length.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return false;
    quint32 v4 = 0;
    if (parseIPv4(address, &v4))
        return address == address.trimmed() && length.toInt() <= 32;
    // QHostAddress takes more than an address, so the signs are checked first.
    const bool v6Signs = address.contains(QLatin1Char(':')) && std::all_of(address.begin(), address.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c.toLower() >= u'a' && c.toLower() <= u'f') || c == u':' || c == u'.';
    });
    return v6Signs && QHostAddress(address.toString()).protocol() == QAbstractSocket::IPv6Protocol
           && length.toInt() <= 128;
}

} // namespace

QString WhoisInfo::calculateCidr(QString range) const
{
    // A range written as a prefix is its own CIDR.
    if (isPrefix(QStringView(range).trimmed()))
        return range.trimmed();
    const QList<QStringView> ends = QStringView(range).split(QLatin1Char('-'), Qt::SkipEmptyParts);
    if (ends.size() != 2)
        return QStringLiteral("Unknown");

    // An end that is not an IPv4 address counts as 0.
    quint32 start = 0;
    quint32 end = 0;
    const bool startValid = parseIPv4(ends.at(0), &start);
    parseIPv4(ends.at(1), &end);

    // Unsigned, so a range across 128.0.0.0 gives its plain size.
    const quint32 diff = start > end ? start - end : end - start;
    qDebug().noquote().nospace() << '"' << QStringLiteral("Diff: ") + QString::number(diff) << "\" ";

    // diff + 1 must be a power of two from 2^5 to 2^24.
    if (diff >= 31 && diff <= 16777215 && ((diff + 1) & diff) == 0) {
        int bits = 0;
        while ((quint32(1) << bits) != diff + 1)
            ++bits;
        const QString result = (startValid ? QHostAddress(start).toString() : QString())
                               + QLatin1Char('/') + QString::number(32 - bits);
        qDebug().noquote().nospace() << '"' << QStringLiteral("Calculated CIDR: ") + result << "\" ";
        return result;
    }

    qDebug().nospace() << "Couldn't calculate CIDR ";
    return QStringLiteral("Unknown");
}
