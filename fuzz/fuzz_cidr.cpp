// calculateCidr() on any range text a reply can carry.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzing::silenceQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString range = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    WhoisInfo info(nullptr);
    const QString cidr = info.calculateCidr(range);

    if (range.contains(QLatin1Char('-'))) {
        // Only /8 to /27 are ever calculated from two ends; the address is
        // left out when the start is not an IPv4 address.
        FUZZ_CHECK(cidr == QLatin1String("Unknown")
                       || fuzzing::fullMatch(QStringLiteral("([0-9]{1,3}(\\.[0-9]{1,3}){3})?/(8|9|1[0-9]|2[0-7])"), cidr),
                   "calculateCidr() gives \"Unknown\" or a prefix from /8 to /27");
    } else {
        // Without two ends, only a range written as a prefix has a CIDR: itself.
        FUZZ_CHECK(cidr == QLatin1String("Unknown")
                       || (cidr == range.trimmed() && fuzzing::fullMatch(QStringLiteral("[0-9A-Fa-f:.]+/[0-9]{1,3}"), cidr)),
                   "no '-': \"Unknown\" or the prefix as written");
    }
    return 0;
}
