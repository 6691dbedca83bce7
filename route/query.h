#ifndef VANTOR_ROUTE_QUERY_H
#define VANTOR_ROUTE_QUERY_H

#include <QString>

namespace route {

// What a query asks about, which decides who can answer it.
enum class Kind {
    IPv4,
    IPv6,
    Cidr,     // an IPv4 or IPv6 prefix, "192.0.2.0/24"
    Asn,      // "AS15169"
    Handle,   // a regional registry's object handle, "ABUSE5250-ARIN"
    Tld,      // a top-level domain the table lists
    Domain,   // a name with a dot
    Other,    // a name without a dot that is no TLD
    Verbatim, // words with blanks between them, passed on as typed ("-B 193.0.0.1")
    Invalid   // looks like an address but is none ("999.1.1.1", "192.0.2.1:80")
};

// "ipv4", "ipv6", "cidr", "asn", "handle", "tld", "domain", "other" or
// "invalid"; Verbatim is "other".
QString kindName(Kind kind);

struct Query
{
    Kind kind = Kind::Other;
    QString text;        // what goes on the wire, without any keyword
    QString tld;         // Tld and Domain: the TLD as A-label
    QString registry;    // Handle: "arin", "ripe", "apnic", "lacnic" or "afrinic"
    QString reducedFrom; // Domain: the longer name typed (lower case) when text is
                         // its registrable domain, else empty
};

// The query as it is meant: in NFKC (full-width "１９２" as "192"), with
// ideographic full stops as dots and format characters (zero-width space,
// soft hyphen) dropped; a zero-width joiner or non-joiner stays after a
// letter beyond ASCII, where it can be part of a name.
QString normalise(const QString &query);

// Sorts a query that the caller has trimmed already. Words with blanks are
// Verbatim and stay as typed, since NFKC could change an option or a name
// there; anything else is normalised first. The text comes back in lower
// case (but for Verbatim); a Domain comes back in ACE form, cut down to the
// registrable domain; an Asn as its number alone. An empty query, or one of
// invisible characters only, is Invalid.
Query classify(const QString &query);

// The whois server of a registry that classify() names for a handle, or an
// empty text for any other name.
QString handleServer(const QString &registry);

} // namespace route

#endif
