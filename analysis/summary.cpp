#include <QFile>

#include <vector>

#include "analysis/extract.h"
#include "analysis/facts.h"
#include "analysis/lineends.h"
#include "analysis/scan.h"
#include "whois/whoisinfo.h"

namespace {

struct CountryRow
{
    QByteArrayView code;
    QByteArrayView name;
};

// The parts of a row between commas, empty ones skipped: the name is the
// second, so "Micronesia, Federated States Of" reads as "Micronesia".
std::vector<CountryRow> parseCountryTable(QByteArrayView data)
{
    std::vector<CountryRow> rows;
    rows.reserve(256);
    for (qsizetype start = 0; start < data.size();) {
        qsizetype end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        QByteArrayView row = data.sliced(start, end - start);
        start = end + 1;
        while (row.endsWith('\r'))
            row.chop(1);
        QByteArrayView parts[2];
        int n = 0;
        for (qsizetype from = 0; from <= row.size() && n < 2;) {
            qsizetype comma = row.indexOf(',', from);
            if (comma < 0)
                comma = row.size();
            if (comma > from)
                parts[n++] = row.sliced(from, comma - from);
            from = comma + 1;
        }
        if (n == 2)
            rows.push_back({ parts[0], parts[1] });
    }
    return rows;
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

// The country table, code to name, read once from the embedded file: it
// never changes while the program runs. Where a code stood twice the first
// row would win, as in a scan.
QString analysis::countryName(const QString &code)
{
    static const QByteArray data = [] {
        QFile file(QStringLiteral(":resources/text/countries.txt"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    static const std::vector<CountryRow> rows = parseCountryTable(data);
    if (code.isEmpty())
        return QString();
    for (const CountryRow &row : rows)
        if (QLatin1String(row.code.data(), row.code.size()) == code)
            return QString::fromLatin1(row.name.data(), row.name.size());
    return QString();
}

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
    static const extraction::Field rangeField(QStringLiteral("inetnum|NetRange"));
    static const extraction::Field ownerField(QStringLiteral("descr|OrgName|owner|responsible"));
    static const extraction::Field countryField(QStringLiteral("country"));
    static const extraction::Field addressField(QStringLiteral("address|City|StateProv|PostalCode"));
    static const extraction::Field range6Field(QStringLiteral("inet6num"));
    static const extraction::Field cidrField(QStringLiteral("CIDR"));

    normaliseLineEnds(response);
    const bool rangeWanted = netRange.isEmpty();
    QString range6;  // RIPE's, APNIC's and AFRINIC's IPv6 range, for the summary only
    QString ownCidr; // the reply's own "CIDR:" line

    // Each member takes its value from the first paragraph that has one;
    // paragraphs end at "\n\n", and once every member has its value the
    // rest of a long reply has nothing to give.
    const QStringView text(response);
    for (qsizetype start = 0, end = 0; start < text.size(); start = end + 2) {
        end = scan::indexOf(text, '\n', start);
        while (end >= 0 && (end + 1 == text.size() || text.at(end + 1) != u'\n'))
            end = scan::indexOf(text, '\n', end + 1);
        if (end < 0)
            end = text.size();
        const QStringView block = text.sliced(start, end - start);
        if (block.isEmpty())
            continue;
        // The members still empty, their fields found in one pass.
        extraction::Wanted wanted[6];
        int count = 0;
        const bool range = netRange.isEmpty();
        const bool place = country.isEmpty();
        if (range)
            wanted[count++] = { &rangeField, &netRange };
        if (owner.isEmpty())
            wanted[count++] = { &ownerField, &owner };
        if (place)
            wanted[count++] = { &countryField, &country };
        if (address.isEmpty())
            wanted[count++] = { &addressField, &address };
        if (count == 0)
            break;
        if (rangeWanted && range6.isEmpty())
            wanted[count++] = { &range6Field, &range6 };
        if (rangeWanted && ownCidr.isEmpty())
            wanted[count++] = { &cidrField, &ownCidr };
        extraction::collectValues(block, wanted, count);
        if (range)
            cidr = calculateCidr(netRange);
        if (const QString name = place ? analysis::countryName(country) : QString(); !name.isEmpty())
            country = name;
    }

    // The text's CIDR line keeps its rule (one prefix of /8 to /27, else
    // "Unknown"); the summary takes the reply's own CIDR line, or every
    // prefix of the range, IPv6 ones too.
    const QString textCidr = cidr;
    const bool textRange = !netRange.isEmpty();
    if (rangeWanted) {
        if (netRange.isEmpty())
            netRange = range6.section(QLatin1Char('\n'), 0, 0);
        const QStringList prefixes = analysis::prefixesOfRange(netRange);
        if (const QString own = ownCidr.section(QLatin1Char('\n'), 0, 0).trimmed(); !own.isEmpty())
            cidr = own;
        else if (!prefixes.isEmpty())
            cidr = prefixes.join(QLatin1String(", "));
    }

    if (!response.contains(QLatin1String("CIDR")) && textRange && !textCidr.isEmpty())
        insertCidrLine(response, netRange, textCidr);
}
