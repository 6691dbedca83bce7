#include "analysis/lineends.h"

// Line feeds only. A run of CRs before a line feed is one line end (CR LF,
// and CR CR LF as some registries send); a CR with no line feed after it,
// as in old Mac text, ends a line of its own, so "\r\r" stays a blank line
// and paragraphs do not merge.
void normaliseLineEnds(QString &text)
{
    qsizetype cr = text.indexOf(QLatin1Char('\r'));
    if (cr < 0)
        return;
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    qsizetype copied = 0; // the letters before it are in out
    for (; cr >= 0; cr = text.indexOf(QLatin1Char('\r'), copied)) {
        out += QStringView(text).sliced(copied, cr - copied);
        qsizetype j = cr;
        while (j + 1 < n && text.at(j + 1) == QLatin1Char('\r'))
            ++j;
        if (j + 1 < n && text.at(j + 1) == QLatin1Char('\n')) {
            copied = j + 1; // the line feed that follows is the line end
            continue;
        }
        out += QString(j - cr + 1, QLatin1Char('\n'));
        copied = j + 1;
    }
    out += QStringView(text).sliced(copied);
    text = out;
}
