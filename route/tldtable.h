#ifndef VANTOR_ROUTE_TLDTABLE_H
#define VANTOR_ROUTE_TLDTABLE_H

#include <QString>
#include <QStringView>

namespace route {

// Who answers for a top-level domain. Each member is empty where the
// registry has none (or none is known).
struct TldServers
{
    QString whois; // port-43 server, e.g. "whois.verisign-grs.com"
    QString rdap;  // RDAP base URL, ending in '/'
    QString web;   // the registry's web lookup page
};

// The servers of a top-level domain (A-label; compared without regard to
// case), or nullptr when the table does not list it. The table is the
// embedded resources/data/tld-servers.tsv, read on first use and kept for
// the life of the program; safe to call from any thread.
const TldServers *tldServers(QStringView tld);

} // namespace route

#endif
