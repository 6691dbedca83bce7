#include <QFile>
#include <QHash>

#include "analysis/extract.h"
#include "analysis/lineends.h"
#include "whois/whoisinfo.h"

namespace {

// The country table, code to name, read once from the embedded file: it
// never changes while the program runs, and a reply may have thousands of
// paragraphs. Where a code stood twice the first row would win, as in a scan.
QHash<QString, QString> loadCountryTable()
{
    QHash<QString, QString> table;
    QFile file(QStringLiteral(":resources/text/countries.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return table;
    while (!file.atEnd()) {
        // Rows are short; 255 bytes is far above the longest.
        QString row = QString::fromLatin1(file.readLine(255));
        while (row.endsWith(QLatin1Char('\n')) || row.endsWith(QLatin1Char('\r')))
            row.chop(1);
        if (row.isEmpty())
            continue;
        // The name is the second part, so "Micronesia, Federated States Of" reads as "Micronesia".
        const QStringList parts = row.split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (parts.size() < 2)
            continue;
        if (!table.contains(parts.at(0)))
            table.insert(parts.at(0), parts.at(1));
    }
    return table;
}

const QHash<QString, QString> &countryTable()
{
    static const QHash<QString, QString> table = loadCountryTable();
    return table;
}

// Puts a "CIDR:<cidr>" line after each line that holds the range, never
// inside one. Comment lines ('%', '#') are left alone: RIPE, APNIC and
// AFRINIC quote the range in them ("% Abuse contact for '<range>' is
// '<mail>'"). Real replies hold the range once or twice; a hostile one
// that repeats a short range on a million lines gains 16 lines at most.
void insertCidrLine(QString &text, const QString &range, const QString &cidr)
{
    constexpr int kMaxInsertions = 16;
    const QString line = QLatin1String("\nCIDR:") + cidr;
    qsizetype from = 0;
    for (int done = 0; done < kMaxInsertions;) {
        const qsizetype at = text.indexOf(range, from);
        if (at < 0)
            break;
        const qsizetype start = at == 0 ? 0 : text.lastIndexOf(QLatin1Char('\n'), at - 1) + 1;
        qsizetype end = text.indexOf(QLatin1Char('\n'), at + range.size());
        if (end < 0)
            end = text.size();
        if (text.at(start) != QLatin1Char('%') && text.at(start) != QLatin1Char('#')) {
            text.insert(end, line);
            end += line.size();
            ++done;
        }
        from = end;
    }
}

} // namespace

void WhoisInfo::clearSummary()
{
    netRange.clear();
    cidr.clear();
    address.clear();
    country.clear();
    owner.clear();
}

void WhoisInfo::summarise()
{
    const QRegularExpression rangePattern = extraction::fieldPattern(QStringLiteral("inetnum|NetRange"));
    const QRegularExpression ownerPattern = extraction::fieldPattern(QStringLiteral("descr|OrgName|owner|responsible"));
    const QRegularExpression countryPattern = extraction::fieldPattern(QStringLiteral("country"));
    const QRegularExpression addressPattern = extraction::fieldPattern(QStringLiteral("address|City|StateProv|PostalCode"));

    normaliseLineEnds(response);

    // Each member takes its value from the first paragraph that has one.
    for (QStringView block : QStringView(response).split(u"\n\n", Qt::SkipEmptyParts)) {
        if (netRange.isEmpty()) {
            netRange = extraction::allValues(rangePattern, block);
            cidr = calculateCidr(netRange);
        }
        if (owner.isEmpty())
            owner = extraction::allValues(ownerPattern, block);
        if (country.isEmpty()) {
            country = extraction::allValues(countryPattern, block);
            const auto name = countryTable().constFind(country);
            if (name != countryTable().constEnd())
                country = name.value();
        }
        if (address.isEmpty())
            address = extraction::allValues(addressPattern, block);
    }

    if (!response.contains(QLatin1String("CIDR")) && !netRange.isEmpty() && !cidr.isEmpty())
        insertCidrLine(response, netRange, cidr);
}
