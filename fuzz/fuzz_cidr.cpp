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

    // Only /8 to /27 are ever calculated; the address is left out when the
    // start is not an IPv4 address.
    FUZZ_CHECK(cidr == QLatin1String("Unknown")
                   || fuzzing::fullMatch(QStringLiteral("([0-9]{1,3}(\\.[0-9]{1,3}){3})?/(8|9|1[0-9]|2[0-7])"), cidr),
               "calculateCidr() gives \"Unknown\" or a prefix from /8 to /27");
    // A range needs its two ends.
    if (!range.contains(QLatin1Char('-')))
        FUZZ_CHECK(cidr == QLatin1String("Unknown"), "no '-', no prefix");
    return 0;
}
