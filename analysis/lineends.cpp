#include "analysis/lineends.h"

// Line feeds only. A run of CRs before a line feed is one line end (CR LF,
// and CR CR LF as some registries send); a CR with no line feed after it,
// as in old Mac text, ends a line of its own, so "\r\r" stays a blank line
// and paragraphs do not merge.
void normaliseLineEnds(QString &text)
{
    if (!text.contains(QLatin1Char('\r')))
        return;
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r')) {
            out += c;
            continue;
        }
        qsizetype j = i;
        while (j + 1 < n && text.at(j + 1) == QLatin1Char('\r'))
            ++j;
        if (j + 1 < n && text.at(j + 1) == QLatin1Char('\n')) {
            i = j; // the line feed that follows is the line end
            continue;
        }
        out += QString(j - i + 1, QLatin1Char('\n'));
        i = j;
    }
    text = out;
}
