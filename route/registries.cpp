#include "route/registries.h"

#include <QByteArrayView>
#include <QResource>

#include <algorithm>
#include <vector>

#include "route/query.h"

namespace route {
namespace {

struct Row
{
    QString rdapHost; // lower case
    NumberRegistry registry;
};

// A server name as a referral would take it: letters, digits, '-' and '.'.
bool isHostName(const QString &name)
{
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
    });
}

// A line that sends the query once, and nothing a server could take for a
// second query.
bool isLine(const QString &line)
{
    return line.count(QLatin1String("%q")) == 1
           && std::none_of(line.begin(), line.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

// "rdap-host<TAB>whois<TAB>address<TAB>prefix<TAB>asn<TAB>source" lines;
// '#' starts a comment line.
// One "rdap-host<TAB>whois<TAB>address<TAB>prefix<TAB>asn<TAB>source" line.
bool parseRow(QByteArrayView line, Row &row)
{
    QByteArrayView f[6];
    int n = 0;
    for (qsizetype from = 0; n < 6; ++n) {
        const qsizetype tab = line.indexOf('\t', from);
        f[n] = line.sliced(from, (tab < 0 ? line.size() : tab) - from);
        if (tab < 0) {
            ++n;
            break;
        }
        from = tab + 1;
    }
    if (n != 6)
        return false;
    row.rdapHost = QString::fromUtf8(f[0]).toLower();
    row.registry = { QString::fromUtf8(f[1]).toLower(), QString::fromUtf8(f[2]), QString::fromUtf8(f[3]),
                     QString::fromUtf8(f[4]) };
    const NumberRegistry &r = row.registry;
    return isHostName(row.rdapHost) && isHostName(r.whois) && isLine(r.address) && isLine(r.prefix)
           && isLine(r.asNumber);
}

// '#' starts a comment line. The embedded file is stored uncompressed and
// read where it lies.
std::vector<Row> loadTable()
{
    std::vector<Row> rows;
    const QResource resource(QStringLiteral(":/resources/data/number-registries.tsv"));
    if (!resource.isValid() || resource.compressionAlgorithm() != QResource::NoCompression) {
        qWarning("route: the embedded table of number registries cannot be read");
        return rows;
    }
    const QByteArrayView data(resource.data(), resource.size());
    for (qsizetype start = 0; start < data.size();) {
        qsizetype end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        const QByteArrayView line = data.sliced(start, end - start).trimmed();
        start = end + 1;
        Row row;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (parseRow(line, row))
            rows.push_back(std::move(row));
        else
            qWarning("route: number registry line skipped: %.*s", int(line.size()), line.constData());
    }
    return rows;
}

const std::vector<Row> &table()
{
    static const std::vector<Row> rows = loadTable();
    return rows;
}

} // namespace

const NumberRegistry *numberRegistry(QStringView rdapHost)
{
    const auto it = std::find_if(table().begin(), table().end(), [rdapHost](const Row &row) {
        return rdapHost.compare(row.rdapHost, Qt::CaseInsensitive) == 0;
    });
    return it == table().end() ? nullptr : &it->registry;
}

const NumberRegistry *numberRegistryAt(QStringView whoisServer)
{
    const auto it = std::find_if(table().begin(), table().end(), [whoisServer](const Row &row) {
        return whoisServer.compare(row.registry.whois, Qt::CaseInsensitive) == 0;
    });
    return it == table().end() ? nullptr : &it->registry;
}

QString numberLine(const NumberRegistry &registry, const Query &query)
{
    const QString *line = nullptr;
    switch (query.kind) {
    case Kind::IPv4:
    case Kind::IPv6: line = &registry.address; break;
    case Kind::Cidr: line = &registry.prefix; break;
    case Kind::Asn: line = &registry.asNumber; break;
    default: return QString();
    }
    return QString(*line).replace(QLatin1String("%q"), query.text);
}

} // namespace route
