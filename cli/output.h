#ifndef VANTOR_CLI_OUTPUT_H
#define VANTOR_CLI_OUTPUT_H

#include <QByteArray>
#include <QString>

#include "whois/lookuprunner.h"

// The result text for a terminal: every control character a server sent,
// but TAB and LF, becomes "\xNN" (C0, CR, DEL and the C1 controls U+0080 to
// U+009F, which some terminals obey), so a reply cannot drive the terminal.
QString escapeControls(const QString &text);

// One result as one line of JSON (no line end).
QByteArray jsonLine(const LookupResult &result);

// Whether the lookup got an answer.
bool answered(const LookupResult &result);

#endif
