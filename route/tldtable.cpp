#include "route/tldtable.h"

#include <QFile>

#include <algorithm>
#include <vector>

namespace route {
namespace {

struct Entry
{
    QString tld;
    TldServers servers;
};

QString column(QByteArrayView field)
{
    return field == "-" ? QString() : QString::fromUtf8(field);
}

// One "tld<TAB>whois<TAB>rdap<TAB>web" line, or false for a line that is not one.
bool parseLine(QByteArrayView line, Entry &entry)
{
    QByteArrayView fields[4];
    int n = 0;
    qsizetype start = 0;
    for (;;) {
        const qsizetype tab = line.indexOf('\t', start);
        if (n == 4)
            return false; // more than four columns
        fields[n++] = line.sliced(start, (tab < 0 ? line.size() : tab) - start);
        if (tab < 0)
            break;
        start = tab + 1;
    }
    if (n != 4 || fields[0].isEmpty())
        return false;
    entry.tld = QString::fromLatin1(fields[0]).toLower();
    entry.servers = { column(fields[1]), column(fields[2]), column(fields[3]) };
    return true;
}

std::vector<Entry> loadTable()
{
    std::vector<Entry> table;
    QFile file(QStringLiteral(":/resources/data/tld-servers.tsv"));
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("route: the embedded TLD table cannot be read");
        return table;
    }
    // Stored uncompressed, so the resource's bytes are read in place.
    const QByteArray data = file.readAll();
    table.reserve(1600);
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        QByteArrayView line(data.constData() + start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        Entry entry;
        if (!line.isEmpty() && !line.startsWith('#')) {
            if (parseLine(line, entry))
                table.push_back(std::move(entry));
            else
                qWarning("route: TLD table line skipped: %.*s", int(line.size()), line.constData());
        }
        start = end + 1;
    }
    // The file is sorted already; sorting again keeps the lookup right if a
    // hand-edited line lands out of order.
    std::stable_sort(table.begin(), table.end(),
                     [](const Entry &a, const Entry &b) { return a.tld < b.tld; });
    return table;
}

} // namespace

const TldServers *tldServers(QStringView tld)
{
    static const std::vector<Entry> table = loadTable();
    const auto less = [](const Entry &e, QStringView key) {
        return QStringView(e.tld).compare(key, Qt::CaseInsensitive) < 0;
    };
    const auto it = std::lower_bound(table.begin(), table.end(), tld, less);
    if (it == table.end() || QStringView(it->tld).compare(tld, Qt::CaseInsensitive) != 0)
        return nullptr;
    return &it->servers;
}

} // namespace route
