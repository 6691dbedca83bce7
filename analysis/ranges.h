#ifndef VANTOR_RANGES_H
#define VANTOR_RANGES_H

#include <QHostAddress>
#include <QStringView>

#include <array>
#include <optional>

namespace analysis {

// A block of addresses, both ends included and of one family.
struct AddressRange
{
    QHostAddress start, end;
};

// An address as 16 bytes in network order, an IPv4 address as its
// IPv4-mapped IPv6 form: compared byte by byte, they order like numbers.
using WideAddress = std::array<quint8, 16>;
WideAddress wideAddress(const QHostAddress &address);

// The smallest range of the reply text that holds address: of the ranges
// on "NetRange:", "inetnum:" and "inet6num:" lines (the key at the start of
// the line, in any letter case), written "a - b", "a-b", "a/n" or an
// abbreviated "200.160/20". Registries list a parent block beside the one
// that was asked for, in either order; the narrower one is the answer.
std::optional<AddressRange> smallestRangeHolding(QStringView text, const QHostAddress &address);

// Whether an answer may stand for every address of the range: no wider than
// a /8 for IPv4 or a /19 for IPv6. A wider block is a registry's allocation,
// whose addresses are answered by others further down.
bool rangeNarrowEnough(const AddressRange &range);

} // namespace analysis

#endif
