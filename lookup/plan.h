#ifndef VANTOR_LOOKUP_PLAN_H
#define VANTOR_LOOKUP_PLAN_H

#include <QString>

#include "whois/whoisinfo.h"

// Where a new whois lookup starts. An address, a prefix or an AS number goes
// straight to the registry that holds it: IANA's number files (the embedded
// RDAP bootstrap files, or their newer copies in the cache folder) name the
// registry's RDAP service, and resources/data/number-registries.tsv its
// whois server and line. A number no file covers keeps the default server
// and ARIN's line. So does every number where the endpoints' defaultServer
// is not the program's own: a test's server then takes them all. Where the
// user chose the first server (serverChosen, -h), only the line changes, to
// that server's own where it is one of the registries. Other kinds of query
// are left alone.
void planFirstHop(WhoisRoute &route, const WhoisEndpoints &endpoints, bool serverChosen = false);

// WhoisInfo::route() of a cleaned query with planFirstHop() applied: where
// a new lookup of it goes first, and the line it sends there.
WhoisRoute planRoute(const QString &query, const WhoisEndpoints &endpoints);

#endif
