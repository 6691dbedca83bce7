#include "whois/refusal.h"

#include <QFile>
#include <QList>
#include <QStringList>

#include <algorithm>

#include "analysis/scan.h"

namespace {

struct Row
{
    enum Kind { Refusal, RateLimit, NoRecord };
    Kind kind;
    QString start; // what the line starts with
};

std::optional<Row::Kind> kindNamed(const QString &name)
{
    if (name == u"refusal")
        return Row::Refusal;
    if (name == u"ratelimit")
        return Row::RateLimit;
    if (name == u"norecord")
        return Row::NoRecord;
    return std::nullopt;
}

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
        const std::optional<Row::Kind> kind = fields.size() == 4 ? kindNamed(fields.at(0)) : std::nullopt;
        if (!kind || fields.at(1).trimmed().isEmpty()) {
            qWarning("whois: refusal table line skipped: %s", qPrintable(line));
            continue;
        }
        rows.append({ *kind, fields.at(1).trimmed() });
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

// The first row whose text starts a line of a short reply.
const Row *matchingRow(const QString &reply)
{
    if (reply.size() > kRefusalMaxSize)
        return nullptr;
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
            return &*row;
    }
    return nullptr;
}

} // namespace

std::optional<RegistryRefusal> registryRefusal(const QString &reply)
{
    const Row *row = matchingRow(reply);
    if (!row || row->kind == Row::NoRecord)
        return std::nullopt;
    return RegistryRefusal{ row->kind == Row::RateLimit };
}

bool saysNoRecord(const QString &reply)
{
    const Row *row = matchingRow(reply);
    return row && row->kind == Row::NoRecord;
}
