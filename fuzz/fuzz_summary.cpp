// A whole reply, as the lookup hands it over, through summarise() and formatText().
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzing::silenceQt();
    fuzzing::requireCountryTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzing::summariseAndCheck(QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
