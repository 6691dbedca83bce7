// Field extraction over arbitrary text with every key set the program uses.
// The keys go into the pattern unescaped, so only these fixed sets are
// inputs the program can produce; the text is what a server controls.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"

namespace {

const char *const kKeySets[] = {
    "ReferralServer|Whois Server",
    "inetnum|NetRange",
    "descr|OrgName|owner|responsible",
    "country",
    "address|City|StateProv|PostalCode",
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzing::silenceQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    const bool hasColon = text.contains(QLatin1Char(':'));
    WhoisInfo info(nullptr);

    for (const char *keySet : kKeySets) {
        const QString keys = QString::fromLatin1(keySet);
        const QString first = info.extractField(keys, text);
        const QString all = info.extractAllFields(keys, text);

        FUZZ_CHECK(first == first.trimmed(), "extractField() is trimmed");
        FUZZ_CHECK(!first.contains(QLatin1Char('\n')), "extractField() is one line");
        FUZZ_CHECK(all == all.trimmed(), "extractAllFields() is trimmed");
        if (!first.isEmpty())
            FUZZ_CHECK(all.startsWith(first), "extractAllFields() starts with extractField()");
        // Every match needs "key:", so text without a colon has no value.
        if (!hasColon)
            FUZZ_CHECK(first.isEmpty() && all.isEmpty(), "no colon, no value");
    }
    return 0;
}
