#include <QDebug>
#include <QHostAddress>

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

} // namespace

QString WhoisInfo::calculateCidr(QString range) const
{
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
