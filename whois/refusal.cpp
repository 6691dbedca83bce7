#include "whois/refusal.h"

#include <QFile>
#include <QList>
#include <QStringList>

#include <algorithm>

#include "analysis/scan.h"

namespace {

struct Row
{
    bool rateLimit;
    QString start; // what the line starts with
};

// "kind<TAB>line start<TAB>servers<TAB>source" lines; '#' starts a comment line.
QList<Row> loadTable()
{
    QList<Row> rows;
    QFile file(QStringLiteral(":/resources/data/whois-refusals.tsv"));
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("whois: the embedded table of refusals cannot be read");
        return rows;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        const bool known = fields.size() == 4 && !fields.at(1).trimmed().isEmpty()
                           && (fields.at(0) == u"refusal" || fields.at(0) == u"ratelimit");
        if (!known) {
            qWarning("whois: refusal table line skipped: %s", qPrintable(line));
            continue;
        }
        rows.append({ fields.at(0) == u"ratelimit", fields.at(1).trimmed() });
    }
    return rows;
}

const QList<Row> &table()
{
    static const QList<Row> rows = loadTable();
    return rows;
}

// The first letter of every row, case-folded.
const QString &firstLetters()
{
    static const QString letters = [] {
        QString l;
        for (const Row &row : table())
            l += row.start.front().toCaseFolded();
        return l;
    }();
    return letters;
}

} // namespace

std::optional<RegistryRefusal> registryRefusal(const QString &reply)
{
    if (reply.size() > kRefusalMaxSize)
        return std::nullopt;
    const QStringView text(reply);
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = scan::indexOf(text, '\n', start);
        if (end < 0)
            end = text.size();
        qsizetype first = start;
        while (first < end && text.at(first).isSpace())
            ++first;
        const QStringView line = text.sliced(first, end - first);
        start = end + 1;
        // Most lines of an answer differ from every row in their first letter.
        if (line.isEmpty() || !firstLetters().contains(line.front().toCaseFolded()))
            continue;
        const auto starts = [line](const Row &row) { return line.startsWith(row.start, Qt::CaseInsensitive); };
        const auto row = std::find_if(table().cbegin(), table().cend(), starts);
        if (row != table().cend())
            return RegistryRefusal{ row->rateLimit };
    }
    return std::nullopt;
}
