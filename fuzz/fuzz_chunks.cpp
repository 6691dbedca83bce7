// A reply cut into chunks as the network might deliver it: the decoded text
// must not depend on where the cuts fall, and the result is then summarised
// like any reply.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_common.h"
#include "whois/replytext.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzing::silenceQt();
    fuzzing::requireCountryTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // FuzzedDataProvider takes the chunk lengths from the end of the input
    // and the reply bytes from the front. Empty chunks are allowed: a read
    // can return nothing.
    FuzzedDataProvider provider(data, size);
    QString text;
    std::string whole;
    while (provider.remaining_bytes() > 0) {
        const size_t length = provider.ConsumeIntegral<uint8_t>();
        const std::vector<char> chunk = provider.ConsumeBytes<char>(length);
        appendReplyChunk(text, QByteArray(chunk.data(), qsizetype(chunk.size())));
        whole.append(chunk.begin(), chunk.end());
    }

    // The same bytes decoded in one piece, byte by byte: Latin-1 is the
    // code point itself, and a NUL is dropped.
    QString expected;
    expected.reserve(qsizetype(whole.size()));
    for (unsigned char byte : whole) {
        if (byte != 0)
            expected.append(QChar(char16_t(byte)));
    }
    FUZZ_CHECK(text == expected, "chunked decoding equals the whole reply decoded, NULs dropped");

    fuzzing::summariseAndCheck(text);
    return 0;
}
