#ifndef VANTOR_FUZZ_COMMON_H
#define VANTOR_FUZZ_COMMON_H

#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

#include "analysis/facts.h"
#include "whois/whoisinfo.h"

// A broken property stops the run with abort(), so libFuzzer keeps the input
// as a crash artifact; the message says which property it was.
#define FUZZ_CHECK(condition, what)                                                   \
    do {                                                                              \
        if (!(condition)) {                                                           \
            std::fprintf(stderr, "fuzz: property broken: %s (%s:%d)\n", what,         \
                         __FILE__, __LINE__);                                         \
            std::abort();                                                             \
        }                                                                             \
    } while (0)

namespace fuzzing {

// The engine logs every CIDR calculation; at a million inputs a second that
// is all the run would do. A fatal message is kept: Qt aborts right after it
// (a failed Q_ASSERT in the debug build), and the crash log should say why.
inline void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "qFatal: %s\n", qPrintable(message));
}

inline void silenceQt()
{
    qInstallMessageHandler(quietMessages);
}

// Without the embedded country table summarise() silently skips the name
// lookup, and the run would cover less than it claims; stop before fuzzing.
inline void requireCountryTable()
{
    if (!QFile::exists(QStringLiteral(":resources/text/countries.txt"))) {
        std::fprintf(stderr, "fuzz: the embedded country table is missing; is the resource linked?\n");
        std::abort();
    }
}

// \A and \z rather than ^ and $: '$' would also accept a trailing line feed.
inline bool fullMatch(const QString &pattern, const QString &text)
{
    const QRegularExpression re(QRegularExpression::anchoredPattern(pattern));
    return re.match(text).hasMatch();
}

// Where the reply said nothing of a CIDR, every "CIDR:" line of the result
// was added: at most 16, each after a line that holds the range and is no
// comment. (A range of several lines is left out: its first line decides.)
inline void checkCidrLines(const QString &reply, const WhoisInfo &info)
{
    if (reply.contains(QLatin1String("CIDR")) || info.netRange.isEmpty() || info.netRange.contains(QLatin1Char('\n')))
        return;
    const QStringList lines = info.response.split(QLatin1Char('\n'));
    int added = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).startsWith(QLatin1String("CIDR:")))
            continue;
        ++added;
        FUZZ_CHECK(i > 0, "a CIDR line follows a line");
        const QString &before = lines.at(i - 1);
        FUZZ_CHECK(!before.startsWith(QLatin1Char('%')) && !before.startsWith(QLatin1Char('#')),
                   "no CIDR line after a comment");
        FUZZ_CHECK(before.contains(info.netRange), "a CIDR line follows a line that holds the range");
    }
    FUZZ_CHECK(added <= 16, "at most 16 CIDR lines added");
}

// The facts of any reply, read as each kind of query: a subject exactly when
// there are facts, no empty value, one line each, an expiry only from one.
inline void checkFacts(const QString &reply)
{
    for (const char *kind : { "domain", "ipv4", "asn" }) {
        const analysis::Facts facts = analysis::whoisFacts(reply, QLatin1String(kind));
        FUZZ_CHECK(facts.subject.isEmpty() == facts.isEmpty(), "a subject exactly when there are facts");
        for (const analysis::Fact &f : facts.items) {
            FUZZ_CHECK(!f.values.isEmpty() && f.values.size() <= 256 && !f.label.isEmpty(), "a fact has 1 to 256 values");
            for (const QString &v : f.values)
                FUZZ_CHECK(!v.isEmpty() && !v.contains(QLatin1Char('\n')), "a value is one line");
        }
        FUZZ_CHECK(!facts.expires.isValid() || facts.find(QStringLiteral("expires")), "an expiry comes from a fact");
    }
}

// Runs summarise() and formatText() on reply and checks what must hold for
// any reply at all.
inline void summariseAndCheck(const QString &reply)
{
    WhoisInfo info(nullptr);
    info.response = reply;
    info.summarise();

    FUZZ_CHECK(!info.response.contains(QLatin1Char('\r')), "no CR left in the response after summarise()");

    const QString text = info.formatText();
    FUZZ_CHECK(text.endsWith(QLatin1Char('\n')), "formatText() ends with a line feed");
    FUZZ_CHECK(text.count(QLatin1Char('\n')) == info.response.count(QLatin1Char('\n')) + 1,
               "formatText() has one line feed per response line");

    // summarise() splits at "\n\n" and skips empty parts, so a reply has no
    // paragraph only when it is nothing but an even number of line ends. A
    // run of CRs before a line feed adds nothing to it; any other CR is a
    // line end of its own. Counted by hand, not with the same code.
    qsizetype feeds = 0;
    bool other = false;
    for (qsizetype i = 0; i < reply.size(); ++i) {
        const QChar c = reply.at(i);
        if (c == QLatin1Char('\n')) {
            ++feeds;
        } else if (c == QLatin1Char('\r')) {
            qsizetype j = i;
            while (j < reply.size() && reply.at(j) == QLatin1Char('\r'))
                ++j;
            if (j == reply.size() || reply.at(j) != QLatin1Char('\n'))
                feeds += j - i;
            i = j - 1;
        } else {
            other = true;
        }
    }
    const bool noParagraph = !other && feeds % 2 == 0;
    if (noParagraph) {
        FUZZ_CHECK(info.cidr.isEmpty(), "no paragraph, so no CIDR was calculated");
    } else {
        // A reply's own "CIDR:" line is taken as it is.
        FUZZ_CHECK(info.cidr == QLatin1String("Unknown") || reply.contains(QLatin1String("cidr:"), Qt::CaseInsensitive)
                       || fullMatch(QStringLiteral("[0-9A-Fa-f:.]*/[0-9]+(, [0-9A-Fa-f:.]*/[0-9]+)*"), info.cidr),
                   "cidr is \"Unknown\" or prefixes");
    }
    checkCidrLines(reply, info);

    // Every summary field but the country (which may become a table name)
    // is an extracted value, trimmed as a whole.
    FUZZ_CHECK(info.netRange == info.netRange.trimmed(), "netRange is trimmed");
    FUZZ_CHECK(info.owner == info.owner.trimmed(), "owner is trimmed");
    FUZZ_CHECK(info.address == info.address.trimmed(), "address is trimmed");
    checkFacts(reply);
}

} // namespace fuzzing

#endif
