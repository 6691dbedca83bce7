#ifndef VANTOR_ROUTE_REGISTRIES_H
#define VANTOR_ROUTE_REGISTRIES_H

#include <QString>
#include <QStringView>

namespace route {

struct Query;

// The whois service of a regional registry, as the embedded
// resources/data/number-registries.tsv gives it. In each line, "%q" stands
// for the query's text: the address, the prefix, or the AS number's digits.
struct NumberRegistry
{
    QString whois;    // "whois.ripe.net"
    QString address;  // "%q"; ARIN: "n + %q"
    QString prefix;   // "%q"; ARIN: "r + = %q"
    QString asNumber; // "AS%q"; ARIN: "a + %q"
};

// The registry whose RDAP service runs on rdapHost, as IANA's number files
// name it ("rdap.db.ripe.net"; letter case does not matter), or nullptr.
// The table is read on first use; safe from any thread.
const NumberRegistry *numberRegistry(QStringView rdapHost);

// The registry whose whois server is whoisServer ("whois.ripe.net"; letter
// case does not matter), or nullptr.
const NumberRegistry *numberRegistryAt(QStringView whoisServer);

// What goes on the wire for an address, a prefix or an AS number at that
// registry, without the line feed; empty for any other kind of query.
QString numberLine(const NumberRegistry &registry, const Query &query);

} // namespace route

#endif
