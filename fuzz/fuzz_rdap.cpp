// An RDAP body, as a server may send it, through the renderer, then the
// rendered text through the summary like any reply.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"
#include "rdap/facts.h"
#include "rdap/render.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzing::silenceQt();
    fuzzing::requireCountryTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const rdap::Rendered rendered = rdap::render(body);

    FUZZ_CHECK(rendered.ok == rendered.error.isEmpty(), "ok exactly when there is no error");
    FUZZ_CHECK(!rendered.error.contains(QLatin1Char('\n')) && !rendered.error.contains(QLatin1Char('\r')),
               "the error is one line");
    FUZZ_CHECK(!rendered.text.contains(QLatin1Char('\r')), "no CR in the text");
    FUZZ_CHECK(!rendered.registrarLink.contains(QLatin1Char('\n')) && !rendered.registrarLink.contains(QLatin1Char('\r')),
               "the registrar link is one line");
    if (!rendered.ok) {
        FUZZ_CHECK(rendered.text.isEmpty() && rendered.registrarLink.isEmpty(), "no text without a reply");
    } else {
        FUZZ_CHECK(rendered.text.endsWith(QLatin1Char('\n')), "the text ends with a line feed");
        FUZZ_CHECK(!rendered.text.startsWith(QLatin1Char('\n')) && !rendered.text.endsWith(QLatin1String("\n\n")),
                   "no blank line at either end");
        fuzzing::summariseAndCheck(rendered.text);
    }

    // The facts come from the JSON itself, and only from a reply that renders.
    const analysis::Facts facts = rdap::factsOf(body);
    FUZZ_CHECK(facts.subject.isEmpty() == facts.isEmpty(), "a subject exactly when there are facts");
    FUZZ_CHECK(facts.isEmpty() || rendered.ok, "facts only from an RDAP reply");

    const QString details = rdap::errorDetails(body);
    FUZZ_CHECK(details.isEmpty() || (details.endsWith(QLatin1Char('\n')) && !details.contains(QLatin1Char('\r'))),
               "error details are whole lines without CR");
    for (QStringView line : QStringView(details).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        FUZZ_CHECK(line.startsWith(QLatin1Char('%')), "error details are comment lines");
    return 0;
}
