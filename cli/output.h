#ifndef VANTOR_CLI_OUTPUT_H
#define VANTOR_CLI_OUTPUT_H

#include <QByteArray>
#include <QString>

#include <optional>

#include "lookup/runner.h"

// The result text for a terminal: every control character a server sent,
// but TAB and LF, becomes "\xNN" (C0, CR, DEL and the C1 controls U+0080 to
// U+009F, which some terminals obey), so a reply cannot drive the terminal.
// The bidirectional controls (U+061C, U+200E, U+200F, U+202A to U+202E,
// U+2066 to U+2069) become "\uNNNN", so a reply cannot reorder what is
// shown ("invoice<U+202E>gpj.exe" posing as "invoiceexe.jpg"). A lone
// surrogate becomes U+FFFD.
QString escapeControls(const QString &text);

// The text with every lone surrogate (an RDAP reply may carry "\ud800")
// replaced by U+FFFD, so that it can be written as UTF-8.
QString wellFormed(const QString &text);

// One result as one line of JSON (no line end); every text in it is well formed.
QByteArray jsonLine(const LookupResult &result);

// The facts of a result as aligned lines ("Registrar      MarkMonitor Inc.
// (IANA 292)"), several values joined by ", "; controls escaped. Empty where
// the answer gives no facts.
QString factsText(const LookupResult &result);

// Whether the lookup got an answer.
bool answered(const LookupResult &result);

// What an answered lookup must still say on standard error: that its reply
// was cut off at a bound. Empty when there is nothing to say.
QString answerWarning(const LookupResult &result);

// A --max-age value in seconds: a whole number and its unit, s, m, h or d
// ("30s", "30m", "2h", "7d"); nothing for anything else.
std::optional<qint64> parseDuration(const QString &text);

#endif
