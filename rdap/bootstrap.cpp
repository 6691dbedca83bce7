#include "rdap/bootstrap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QMutex>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <iterator>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "route/query.h"

namespace rdap {
namespace {

constexpr int kRefreshDays = 7;
// IANA's largest file, dns.json, is under 100 KiB.
constexpr qint64 kMaxCachedSize = 4 * 1024 * 1024;

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// A cached copy is read only when it is a regular file (a link to one will
// do) of at most kMaxCachedSize: a FIFO in its place would hang the start,
// a link to /dev/zero would fill the memory. Empty otherwise.
QByteArray readCached(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return QByteArray();
    QFile file;
#ifdef Q_OS_UNIX
    // Not blocking, and checked again once open: a FIFO swapped in after
    // the check above cannot hang the open.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat st;
    if (fd < 0)
        return QByteArray();
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return QByteArray();
    }
#else
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
#endif
    const QByteArray bytes = file.read(kMaxCachedSize + 1);
    if (bytes.size() > kMaxCachedSize) {
        qWarning("rdap: %s is larger than 4 MiB; the embedded copy serves", qPrintable(path));
        return QByteArray();
    }
    return bytes;
}

// Only regular files are written in the cache folder: a link or anything
// else in a file's place goes first, so that writing cannot reach through it.
void clearWay(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isFile()))
        QFile::remove(path);
}

bool registryOf(const QString &name, Registry &registry)
{
    for (Registry r : kAllRegistries) {
        if (fileName(r) == name) {
            registry = r;
            return true;
        }
    }
    return false;
}

// Empty for no folder: a relative path would read from wherever the
// program happens to run.
QString cachedPath(const QString &folder, const QString &name)
{
    return folder.isEmpty() ? QString() : QDir(folder).filePath(name);
}

QString stampPath(const QString &folder, const QString &name)
{
    return cachedPath(folder, name + QLatin1String(".checked"));
}

// Of the embedded and the cached copy, the valid one with the later
// publication; the embedded one when they are equally new.
BootstrapTable newestTable(Registry registry, const QString &folder)
{
    const QString name = fileName(registry);
    BootstrapTable embedded =
        BootstrapTable::parse(registry, readFile(QLatin1String(":/resources/data/rdap/") + name));
    if (!embedded.isValid())
        qWarning("rdap: the embedded %s cannot be read", qPrintable(name));
    const QString path = cachedPath(folder, name);
    if (path.isEmpty() || !QFileInfo::exists(path))
        return embedded;
    BootstrapTable cached = BootstrapTable::parse(registry, readCached(path));
    if (cached.isValid() && (!embedded.isValid() || cached.publication() > embedded.publication()))
        return cached;
    return embedded;
}

// "tld<TAB>url[ url...]<TAB>whois<TAB>evidence"; '#' starts a comment line
// and "-" stands for no URL. The first URL is the one its sources agree on.
std::vector<std::pair<QString, QString>> loadExtraTlds()
{
    std::vector<std::pair<QString, QString>> tlds;
    const QByteArray data = readFile(QStringLiteral(":/resources/data/rdap-servers-extra.tsv"));
    for (const QByteArray &line : data.split('\n')) {
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split('\t');
        const QByteArray url = fields.size() < 2 ? QByteArray() : fields.at(1).split(' ').constFirst();
        if (url == "-")
            continue;
        if (fields.at(0).isEmpty() || !(url.startsWith("https://") || url.startsWith("http://"))) {
            qWarning("rdap: extra TLD line skipped: %s", line.constData());
            continue;
        }
        tlds.emplace_back(QString::fromLatin1(fields.at(0)).toLower(),
                          QString::fromLatin1(url.endsWith('/') ? url : url + '/'));
    }
    std::stable_sort(tlds.begin(), tlds.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    return tlds;
}

using ExtraTlds = std::vector<std::pair<QString, QString>>;

// Only consulted where dns.json has no entry, so IANA always wins.
QStringList extraFor(const ExtraTlds &tlds, const QString &tld)
{
    const auto it = std::lower_bound(tlds.begin(), tlds.end(), tld,
                                     [](const auto &entry, const QString &key) { return entry.first < key; });
    if (it == tlds.end() || it->first != tld)
        return QStringList();
    return QStringList { it->second };
}

// The table is asked for the file of the address's family only.
template <typename TableOf>
QStringList forAddress(const TableOf &table, const QString &text)
{
    QHostAddress address;
    int length = -1;
    if (text.contains(u'/')) {
        std::tie(address, length) = QHostAddress::parseSubnet(text);
    } else if (address.setAddress(text)) {
        length = address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
    }
    if (length < 0)
        return QStringList();
    return table(address.protocol() == QAbstractSocket::IPv4Protocol ? Registry::IPv4 : Registry::IPv6)
        .forPrefix(address, length);
}

QStringList forHandle(const BootstrapTable &objectTags, const route::Query &q)
{
    const qsizetype dash = q.text.lastIndexOf(u'-');
    if (dash < 0)
        return QStringList();
    QStringList urls = objectTags.forTag(QStringView(q.text).mid(dash + 1));
    // APNIC's handles end in "-AP" but its tag is "APNIC"; the route module
    // names the registry in full.
    if (urls.isEmpty() && !q.registry.isEmpty())
        urls = objectTags.forTag(q.registry);
    return urls;
}

// The match of serviceFor(), reading a file only where the query's kind
// needs it: table(registry) gives the file, extra() the extra TLDs.
template <typename TableOf, typename ExtraOf>
QStringList match(const route::Query &q, const TableOf &table, const ExtraOf &extra)
{
    using route::Kind;
    switch (q.kind) {
    case Kind::IPv4:
    case Kind::IPv6:
    case Kind::Cidr:
        return forAddress(table, q.text);
    case Kind::Asn: {
        bool ok = false;
        const quint32 number = q.text.toUInt(&ok);
        return ok ? table(Registry::Asn).forAsNumber(number) : QStringList();
    }
    case Kind::Handle:
    case Kind::Other:
        return forHandle(table(Registry::ObjectTags), q);
    case Kind::Tld:
    case Kind::Domain: {
        // A TLD on its own has only its own entry to go by; a name also has
        // whatever longer suffix dns.json may list.
        const QStringList urls = table(Registry::Dns).forName(q.kind == Kind::Tld ? q.tld : q.text);
        return urls.isEmpty() ? extraFor(extra(), q.tld.toLower()) : urls;
    }
    case Kind::Verbatim:
    case Kind::Invalid:
        break;
    }
    return QStringList();
}

constexpr int kFileCount = int(std::size(kAllRegistries));

// The tables lookups use: each file read on first use, from the embedded
// copy or a newer one in the folder, and kept until a reload.
struct Current
{
    QMutex mutex;
    bool folderKnown = false;
    QString folder;
    std::shared_ptr<const BootstrapTable> files[kFileCount];
    std::shared_ptr<const ExtraTlds> extra;
};

Current &current()
{
    static Current c;
    return c;
}

std::shared_ptr<const BootstrapTable> currentFile(Registry registry)
{
    Current &c = current();
    QMutexLocker lock(&c.mutex);
    // Read under the lock so that lookups starting together read a file once.
    if (!c.folderKnown) {
        c.folder = defaultCacheFolder();
        c.folderKnown = true;
    }
    std::shared_ptr<const BootstrapTable> &file = c.files[int(registry)];
    if (!file)
        file = std::make_shared<const BootstrapTable>(newestTable(registry, c.folder));
    return file;
}

std::shared_ptr<const ExtraTlds> currentExtra()
{
    Current &c = current();
    QMutexLocker lock(&c.mutex);
    if (!c.extra)
        c.extra = std::make_shared<const ExtraTlds>(loadExtraTlds());
    return c.extra;
}

} // namespace

const BootstrapTable &Tables::table(Registry registry) const
{
    switch (registry) {
    case Registry::Dns: return dns;
    case Registry::IPv4: return ipv4;
    case Registry::IPv6: return ipv6;
    case Registry::Asn: return asn;
    case Registry::ObjectTags: return objectTags;
    }
    return dns;
}

QStringList serviceFor(const Tables &tables, const route::Query &q)
{
    return match(q, [&tables](Registry r) -> const BootstrapTable & { return tables.table(r); },
                 [&tables]() -> const ExtraTlds & { return tables.extraTlds; });
}

QStringList serviceFor(const route::Query &query)
{
    // Held while the match reads them: a reload may drop them meanwhile.
    std::shared_ptr<const BootstrapTable> file;
    std::shared_ptr<const ExtraTlds> extra;
    return match(
        query,
        [&file](Registry r) -> const BootstrapTable & {
            file = currentFile(r);
            return *file;
        },
        [&extra]() -> const ExtraTlds & {
            extra = currentExtra();
            return *extra;
        });
}

QString programCacheFolder()
{
    // The generic location, not CacheLocation: that one is named after each
    // program, and the window and vantor-cli share what they keep.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return base.isEmpty() ? QString() : base + QLatin1String("/Vantor/");
}

QString defaultCacheFolder()
{
    const QString base = programCacheFolder();
    return base.isEmpty() ? QString() : base + QLatin1String("rdap-bootstrap/");
}

std::shared_ptr<const Tables> loadTables(const QString &cacheFolder)
{
    auto tables = std::make_shared<Tables>();
    tables->dns = newestTable(Registry::Dns, cacheFolder);
    tables->ipv4 = newestTable(Registry::IPv4, cacheFolder);
    tables->ipv6 = newestTable(Registry::IPv6, cacheFolder);
    tables->asn = newestTable(Registry::Asn, cacheFolder);
    tables->objectTags = newestTable(Registry::ObjectTags, cacheFolder);
    tables->extraTlds = loadExtraTlds();
    return tables;
}

std::shared_ptr<const Tables> currentTables()
{
    auto tables = std::make_shared<Tables>();
    tables->dns = *currentFile(Registry::Dns);
    tables->ipv4 = *currentFile(Registry::IPv4);
    tables->ipv6 = *currentFile(Registry::IPv6);
    tables->asn = *currentFile(Registry::Asn);
    tables->objectTags = *currentFile(Registry::ObjectTags);
    tables->extraTlds = *currentExtra();
    return tables;
}

void reloadTables(const QString &cacheFolder)
{
    // The files in use are read again outside the lock, so lookups go on
    // with the old ones meanwhile; the others wait for their first use.
    Current &c = current();
    bool inUse[kFileCount];
    {
        QMutexLocker lock(&c.mutex);
        for (int i = 0; i < kFileCount; ++i)
            inUse[i] = c.files[i] != nullptr;
    }
    std::shared_ptr<const BootstrapTable> fresh[kFileCount];
    for (Registry r : kAllRegistries)
        if (inUse[int(r)])
            fresh[int(r)] = std::make_shared<const BootstrapTable>(newestTable(r, cacheFolder));
    QMutexLocker lock(&c.mutex);
    c.folder = cacheFolder;
    c.folderKnown = true;
    for (int i = 0; i < kFileCount; ++i)
        c.files[i].swap(fresh[i]);
    // The old files go when their last reader lets go of them.
}

bool needsRefresh(const QString &cacheFolder, const QDateTime &now)
{
    return !dueFiles(cacheFolder, now).isEmpty();
}

QStringList dueFiles(const QString &cacheFolder, const QDateTime &now)
{
    QStringList due;
    if (cacheFolder.isEmpty())
        return due; // nowhere to keep a download
    for (Registry r : kAllRegistries) {
        const QFileInfo stamp(stampPath(cacheFolder, fileName(r)));
        const qint64 age = stamp.exists() ? stamp.lastModified().secsTo(now) : 0;
        // A stamp from the future means the clock was wrong when it was
        // written; trusting it could put off refreshing indefinitely.
        if (!stamp.exists() || age > qint64(kRefreshDays) * 86400 || age < -86400)
            due.append(fileName(r));
    }
    return due;
}

bool storeRefreshed(const QString &cacheFolder, const QString &name, const QByteArray &bytes)
{
    Registry registry;
    if (cacheFolder.isEmpty() || !registryOf(name, registry))
        return false;
    const BootstrapTable fresh = BootstrapTable::parse(registry, bytes);
    if (!fresh.isValid() || !QDir().mkpath(cacheFolder))
        return false;
    const BootstrapTable held = newestTable(registry, cacheFolder);
    const bool store = !held.isValid() || fresh.publication() >= held.publication();
    if (store) {
        clearWay(cachedPath(cacheFolder, name));
        QSaveFile file(cachedPath(cacheFolder, name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            return false; // no stamp: the next start tries again
    }
    // Valid data was fetched, stored or not (not when older than ours), so
    // this file is checked for the next week.
    clearWay(stampPath(cacheFolder, name));
    QSaveFile stamp(stampPath(cacheFolder, name));
    if (stamp.open(QIODevice::WriteOnly)) {
        stamp.write(QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1() + '\n');
        stamp.commit();
    }
    return store;
}

} // namespace rdap
