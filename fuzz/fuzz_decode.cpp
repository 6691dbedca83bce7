// A whole reply's bytes, as a server may send them: decoded as UTF-8 where
// they are valid UTF-8 and as Latin-1 otherwise, NULs dropped; its referral
// read; then summarised like any reply.
#include <cstddef>
#include <cstdint>

#include "analysis/extract.h"
#include "analysis/lineends.h"
#include "fuzz_common.h"
#include "whois/referral.h"
#include "whois/replytext.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzing::silenceQt();
    fuzzing::requireCountryTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte says whether the reply was cut off at a bound.
    const bool cutOff = data[0] & 1;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    QByteArray clean = bytes;
    clean.replace('\0', QByteArray());

    bool utf8 = false;
    QString text = decodeReply(bytes, cutOff, &utf8);
    if (utf8) {
        const QByteArray back = text.toUtf8();
        FUZZ_CHECK(clean.startsWith(back) && clean.size() - back.size() <= (cutOff ? 3 : 0),
                   "a UTF-8 reply decodes to its own bytes, less an unfinished letter where cut off");
    } else {
        FUZZ_CHECK(text == QString::fromLatin1(clean), "any other reply is its Latin-1 letters, NULs dropped");
    }

    normaliseLineEnds(text);
    const QString value = extraction::firstValueOutsideComments(
        extraction::Field(QStringLiteral("ReferralServer|Whois Server")), text);
    if (const std::optional<Referral> referral = parseReferral(value, 43)) {
        FUZZ_CHECK(!referral->host.isEmpty() && referral->port != 0, "a referral names a host and a port");
        for (QChar c : referral->host)
            FUZZ_CHECK(c.isLetterOrNumber() || QStringView(u"-._:").contains(c), "a referral's host has no blanks or signs");
    }

    fuzzing::summariseAndCheck(text);
    return 0;
}
