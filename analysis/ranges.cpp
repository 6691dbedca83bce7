#include "analysis/ranges.h"

#include "analysis/extract.h"

namespace analysis {

namespace {

bool sameFamily(const QHostAddress &a, const QHostAddress &b)
{
    return a.protocol() == b.protocol()
        && (a.protocol() == QAbstractSocket::IPv4Protocol || a.protocol() == QAbstractSocket::IPv6Protocol);
}

// end - start, for start <= end.
WideAddress difference(const WideAddress &end, const WideAddress &start)
{
    WideAddress out{};
    int borrow = 0;
    for (int i = 15; i >= 0; --i) {
        const int d = int(end[i]) - int(start[i]) - borrow;
        borrow = d < 0;
        out[i] = quint8(d + (borrow ? 256 : 0));
    }
    return out;
}

// A dotted quad read in place: a long reply holds thousands of them, and
// QHostAddress wants a QString of each.
QHostAddress parseAddress(QStringView text)
{
    quint32 address = 0;
    int parts = 0, digits = 0;
    quint32 part = 0;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 0x80 && digits < 3) {
            part = part * 10 + (c.unicode() - u'0');
            ++digits;
        } else if (c == u'.' && digits > 0 && part < 256 && parts < 3) {
            address = address << 8 | part;
            ++parts;
            part = digits = 0;
        } else {
            return QHostAddress(text.toString());
        }
    }
    if (parts != 3 || digits == 0 || part > 255)
        return QHostAddress(text.toString());
    return QHostAddress(address << 8 | part);
}

std::optional<AddressRange> parseRange(QStringView value)
{
    AddressRange range;
    if (const qsizetype dash = value.indexOf(u'-'); dash >= 0) {
        range.start = parseAddress(value.first(dash).trimmed());
        range.end = parseAddress(value.sliced(dash + 1).trimmed());
    } else if (value.contains(u'/')) {
        const auto [network, length] = QHostAddress::parseSubnet(value.toString());
        if (length < 0)
            return std::nullopt;
        range.start = network;
        const int bits = network.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
        WideAddress end = wideAddress(network);
        for (int bit = 128 - bits + length; bit < 128; ++bit)
            end[bit / 8] |= quint8(0x80 >> (bit % 8));
        range.end = bits == 32 ? QHostAddress(quint32(end[12]) << 24 | end[13] << 16 | end[14] << 8 | end[15])
                               : QHostAddress(end.data());
    } else {
        return std::nullopt;
    }
    if (!sameFamily(range.start, range.end) || wideAddress(range.end) < wideAddress(range.start))
        return std::nullopt;
    return range;
}

} // namespace

WideAddress wideAddress(const QHostAddress &address)
{
    WideAddress out{};
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 v4 = address.toIPv4Address();
        out[10] = out[11] = 0xff;
        for (int i = 0; i < 4; ++i)
            out[12 + i] = quint8(v4 >> (24 - 8 * i));
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR v6 = address.toIPv6Address();
        for (int i = 0; i < 16; ++i)
            out[i] = v6[i];
    }
    return out;
}

std::optional<AddressRange> smallestRangeHolding(QStringView text, const QHostAddress &address)
{
    static const extraction::Field field(QStringLiteral("NetRange|inetnum|inet6num"));
    if (!sameFamily(address, address))
        return std::nullopt;
    const WideAddress wanted = wideAddress(address);
    std::optional<AddressRange> best;
    WideAddress bestWidth{};
    for (auto m = field.find(text, 0); m.start >= 0; m = field.find(text, m.end)) {
        if (m.start > 0 && text.at(m.start - 1) != u'\n')
            continue;
        const std::optional<AddressRange> range = parseRange(text.sliced(m.value, m.end - m.value).trimmed());
        if (!range || !sameFamily(range->start, address))
            continue;
        const WideAddress start = wideAddress(range->start), end = wideAddress(range->end);
        if (wanted < start || end < wanted)
            continue;
        const WideAddress width = difference(end, start);
        if (!best || width < bestWidth) {
            best = range;
            bestWidth = width;
        }
    }
    return best;
}

bool rangeNarrowEnough(const AddressRange &range)
{
    if (!sameFamily(range.start, range.end))
        return false;
    const WideAddress start = wideAddress(range.start), end = wideAddress(range.end);
    if (end < start)
        return false;
    // At most 2^24 addresses (a /8) or 2^109 (a /19): the width's bits above those are clear.
    const int freeBits = range.start.protocol() == QAbstractSocket::IPv4Protocol ? 24 : 109;
    const WideAddress width = difference(end, start);
    for (int bit = 0; bit < 128 - freeBits; ++bit) {
        if (width[bit / 8] & (0x80 >> (bit % 8)))
            return false;
    }
    return true;
}

} // namespace analysis
