#include <QHostAddress>

#include "analysis/facts.h"

namespace analysis {

namespace {

// An address as a 128-bit number, high and low halves; IPv4 in the low 32 bits.
struct Number
{
    quint64 high = 0;
    quint64 low = 0;

    bool operator<=(const Number &o) const { return high < o.high || (high == o.high && low <= o.low); }
    bool bitSet(int bit) const { return bit >= 64 ? (high >> (bit - 64)) & 1 : (low >> bit) & 1; }
    // This plus 2^bit - 1: the last address of the block of that size.
    Number blockEnd(int bit) const
    {
        Number n = *this;
        if (bit >= 64) {
            n.low = ~quint64(0);
            n.high |= bit == 128 ? ~quint64(0) : (quint64(1) << (bit - 64)) - 1;
        } else if (bit > 0) {
            n.low |= (quint64(1) << bit) - 1;
        }
        return n;
    }
};

bool parse(QStringView text, Number *n, int *bits)
{
    const QString trimmed = text.trimmed().toString();
    // QHostAddress takes "10" or "1.2.3" as IPv4; a range's ends are whole.
    if (!trimmed.contains(QLatin1Char(':')) && trimmed.count(QLatin1Char('.')) != 3)
        return false;
    QHostAddress address;
    if (!address.setAddress(trimmed))
        return false;
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        *n = { 0, address.toIPv4Address() };
        *bits = 32;
        return true;
    }
    const Q_IPV6ADDR a = address.toIPv6Address();
    *n = {};
    for (int i = 0; i < 8; ++i) {
        n->high = (n->high << 8) | a[i];
        n->low = (n->low << 8) | a[i + 8];
    }
    *bits = 128;
    return address.scopeId().isEmpty();
}

QString format(const Number &n, int bits, int length)
{
    if (bits == 32)
        return QHostAddress(quint32(n.low)).toString() + QLatin1Char('/') + QString::number(length);
    Q_IPV6ADDR a;
    for (int i = 0; i < 8; ++i) {
        a[i] = quint8(n.high >> (56 - 8 * i));
        a[i + 8] = quint8(n.low >> (56 - 8 * i));
    }
    return QHostAddress(a).toString() + QLatin1Char('/') + QString::number(length);
}

// The address of a prefix: a whole IPv6 or IPv4 address, or an IPv4 one
// with its zero parts left out ("200.160"), as LACNIC abbreviates.
bool isPrefixAddress(QStringView text)
{
    if (text.contains(u':')) {
        Number n;
        int bits = 0;
        return parse(text, &n, &bits) && bits == 128;
    }
    const QList<QStringView> parts = text.split(u'.');
    if (parts.size() > 4)
        return false;
    for (QStringView part : parts) {
        bool ok = false;
        if (part.isEmpty() || part.size() > 3 || part.toUInt(&ok) > 255 || !ok || !part.at(0).isDigit())
            return false;
    }
    return true;
}

} // namespace

QStringList rangePrefixes(QStringView first, QStringView last)
{
    Number start;
    Number end;
    int bits = 0;
    int endBits = 0;
    if (!parse(first, &start, &bits) || !parse(last, &end, &endBits) || bits != endBits || !(start <= end))
        return {};
    QStringList prefixes;
    // The largest aligned block from start that ends within the range, then
    // the next from its end: at most two blocks per bit, which the bound
    // only repeats.
    for (int n = 0; n < 2 * bits; ++n) {
        int size = 0;
        while (size < bits && !start.bitSet(size) && start.blockEnd(size + 1) <= end)
            ++size;
        prefixes.append(format(start, bits, bits - size));
        const Number blockEnd = start.blockEnd(size);
        if (end <= blockEnd)
            break;
        // The next address after blockEnd; no wrap, since blockEnd < end.
        start = blockEnd;
        if (++start.low == 0)
            ++start.high;
    }
    return prefixes;
}

QStringList prefixesOfRange(QStringView range)
{
    const QStringView text = range.trimmed();
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    if (slash > 0) {
        const QStringView length = text.mid(slash + 1);
        bool ok = false;
        const int n = length.toInt(&ok);
        const bool v6 = text.left(slash).contains(QLatin1Char(':'));
        if (!ok || n < 0 || n > (v6 ? 128 : 32) || !length.at(0).isDigit() || !isPrefixAddress(text.left(slash)))
            return {};
        return { text.toString() };
    }
    const qsizetype dash = text.indexOf(QLatin1Char('-'));
    if (dash < 0)
        return {};
    return rangePrefixes(text.left(dash), text.mid(dash + 1));
}

} // namespace analysis
