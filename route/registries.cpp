#include "route/registries.h"

#include <QFile>
#include <QList>

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
std::vector<Row> loadTable()
{
    std::vector<Row> rows;
    QFile file(QStringLiteral(":/resources/data/number-registries.tsv"));
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("route: the embedded table of number registries cannot be read");
        return rows;
    }
    for (const QByteArray &raw : file.readAll().split('\n')) {
        if (raw.trimmed().isEmpty() || raw.startsWith('#'))
            continue;
        const QList<QByteArray> f = raw.split('\t');
        Row row;
        if (f.size() == 6) {
            row.rdapHost = QString::fromUtf8(f.at(0)).toLower();
            row.registry = { QString::fromUtf8(f.at(1)).toLower(), QString::fromUtf8(f.at(2)),
                             QString::fromUtf8(f.at(3)), QString::fromUtf8(f.at(4)) };
        }
        const NumberRegistry &r = row.registry;
        if (!isHostName(row.rdapHost) || !isHostName(r.whois) || !isLine(r.address) || !isLine(r.prefix)
            || !isLine(r.asNumber)) {
            qWarning("route: number registry line skipped: %s", raw.constData());
            continue;
        }
        rows.push_back(std::move(row));
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
