#ifndef VANTOR_RDAP_BOOTSTRAP_H
#define VANTOR_RDAP_BOOTSTRAP_H

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>
#include <vector>

#include "rdap/bootstraptable.h"

namespace route {
struct Query;
}

namespace rdap {

// Everything that decides which RDAP service answers a query. Never changed
// once built: a refresh builds new Tables and swaps them in.
struct Tables
{
    BootstrapTable dns;
    BootstrapTable ipv4;
    BootstrapTable ipv6;
    BootstrapTable asn;
    BootstrapTable objectTags;
    // TLDs whose registry runs RDAP but that IANA's dns.json leaves out
    // (resources/data/rdap-servers-extra.tsv): A-label, base URL; sorted.
    std::vector<std::pair<QString, QString>> extraTlds;

    const BootstrapTable &table(Registry registry) const;
};

// The base URLs (each ending in '/') of the RDAP services that answer a
// query from route::classify(), best first, or an empty list when none is
// known. A domain goes by its longest suffix in IANA's dns.json, then in the
// extra TLDs; a TLD on its own only by its own entry; an address or prefix
// by the longest block holding all of it; an AS number by its range; a
// handle ("ABUSE5250-ARIN", also a name of kind Other with a '-') by the
// object tag after its last '-'.
QStringList serviceFor(const Tables &tables, const route::Query &query);

// The same with the tables in use now (see currentTables()), of which only
// the file the query's kind needs is read, on its first use: a run that
// asks for addresses never reads dns.json.
QStringList serviceFor(const route::Query &query);

// The program's cache folder, for the window and vantor-cli alike: the
// user's generic cache location plus "Vantor/" (~/.cache/Vantor/ on Linux).
// Empty where the system names none.
QString programCacheFolder();

// Where refreshed copies of IANA's files are kept: programCacheFolder()
// plus "rdap-bootstrap/".
QString defaultCacheFolder();

// Tables from the embedded files and the copies in cacheFolder: per file,
// a cached copy serves only when it is valid and its publication is newer
// than the embedded one's.
std::shared_ptr<const Tables> loadTables(const QString &cacheFolder);

// The tables lookups use, every file of them, each read from
// defaultCacheFolder() on its first use. Safe from any thread; the caller
// may keep the pointer for as long as it likes, a reload does not change
// what it points to.
std::shared_ptr<const Tables> currentTables();

// Reads the files in use again, from cacheFolder (after storeRefreshed()),
// and makes them the ones later lookups use; the others are read from there
// on first use. Lookups already running keep the tables they hold.
void reloadTables(const QString &cacheFolder = defaultCacheFolder());

// True when a file of IANA's was not checked for in the last 7 days: its
// stamp "<name>.checked" in cacheFolder is missing, older than 7 days or
// dated after now. storeRefreshed() writes the stamp, so a download that
// brought no newer data still counts as a check.
bool needsRefresh(const QString &cacheFolder, const QDateTime &now);

// The files (names as fileName() gives them) whose stamp is due, as
// needsRefresh() judges each; empty for no cacheFolder.
QStringList dueFiles(const QString &cacheFolder, const QDateTime &now);

// Keeps a downloaded file of IANA's (name as fileName() gives it) in
// cacheFolder, replacing the old copy at once (never half-written), when
// the bytes are a valid bootstrap file of that kind and their publication
// is not older than the embedded copy's nor the cached one's. Stamps the
// check whenever the bytes are valid. Returns whether it stored the bytes.
bool storeRefreshed(const QString &cacheFolder, const QString &name, const QByteArray &bytes);

} // namespace rdap

#endif
