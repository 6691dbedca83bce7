#include "analysis/scan.h"
#include "whois/whoisinfo.h"

QString WhoisInfo::formatText() const
{
    QString result;
    result.reserve(response.size() + response.size() / 16 + 1);

    // Every line, the empty one after a final line feed too.
    const QStringView text(response);
    for (qsizetype start = 0, end = 0; end >= 0; start = end + 1) {
        end = scan::indexOf(text, '\n', start);
        const QStringView line = text.sliced(start, (end < 0 ? text.size() : end) - start);
        const bool comment = !line.isEmpty() && (line.front() == QLatin1Char('#') || line.front() == QLatin1Char('%'));
        const qsizetype colon = comment ? -1 : scan::indexOf(line, ':');
        if (colon >= 0 && scan::indexOf(line, ':', colon + 1) < 0) {
            result += line.left(colon).trimmed();
            result += QLatin1String(":\t");
            result += line.mid(colon + 1).trimmed();
        } else {
            result += line;
        }
        result += QLatin1Char('\n');
    }
    return result;
}
