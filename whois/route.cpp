#include "route/query.h"
#include "route/tldtable.h"
#include "whois/whoisinfo.h"

namespace {

// Only these registries understand the "domain" keyword; the others answer
// "domain example.de" with no match.
bool wantsDomainKeyword(const QString &tld)
{
    return tld == u"com" || tld == u"net" || tld == u"cc" || tld == u"tv";
}

// No port-43 server for a TLD: say where its data is instead.
void refuseTld(WhoisRoute &r, const route::TldServers &servers)
{
    const QString dotted = QLatin1Char('.') + r.tld;
    if (!servers.rdap.isEmpty()) {
        r.refusal = QLatin1String("No whois server serves ") + dotted
                    + QLatin1String(". Its registry answers over RDAP: ") + servers.rdap;
        r.explanation = QLatin1String("% No whois server serves ") + dotted + QLatin1String(".\n")
                        + QLatin1String("% Its registry answers over RDAP, the protocol that replaces whois, at:\n% ")
                        + servers.rdap + QLatin1Char('\n');
    } else if (!servers.web.isEmpty()) {
        r.refusal = QLatin1String("No whois or RDAP service serves ") + dotted
                    + QLatin1String(". Its registry's web lookup: ") + servers.web;
        r.explanation = QLatin1String("% No whois or RDAP service serves ") + dotted + QLatin1String(".\n")
                        + QLatin1String("% Its registry has a web lookup at:\n% ") + servers.web + QLatin1Char('\n');
    } else {
        r.refusal = QLatin1String("No whois or RDAP service is known for ") + dotted;
        r.explanation = QLatin1String("% ") + r.refusal + QLatin1Char('\n');
    }
}

} // namespace

WhoisRoute WhoisInfo::route(const QString &query) const
{
    using route::Kind;
    const route::Query q = route::classify(query);
    WhoisRoute r;
    r.parsed = q;
    r.kind = q.kind;
    r.server = m_endpoints.defaultServer;
    // Referral hops send this: what the user meant, not the invisible
    // characters or full-width digits of a paste.
    r.query = q.kind == Kind::Verbatim ? query : route::normalise(query).toLower();
    r.tld = q.tld;
    switch (q.kind) {
    case Kind::Invalid:
        r.server.clear();
        r.refusal = QLatin1String("Not a valid address: ") + query;
        return r;
    case Kind::IPv4:
    case Kind::IPv6:
        // "n +" makes ARIN answer with the full record and its referral
        // instead of a bare list of network names.
        r.line = QLatin1String("n + ") + q.text;
        break;
    case Kind::Cidr:
        r.line = QLatin1String("r + = ") + q.text;
        break;
    case Kind::Asn:
        r.line = QLatin1String("a + ") + q.text;
        break;
    case Kind::Handle:
        r.server = route::handleServer(q.registry);
        r.line = q.text;
        break;
    case Kind::Tld:
        r.server = m_endpoints.ianaServer;
        r.line = q.text;
        break;
    case Kind::Domain: {
        r.query = q.text;
        r.reducedFrom = q.reducedFrom;
        r.line = (wantsDomainKeyword(q.tld) ? QLatin1String("domain ") : QLatin1String()) + q.text;
        const route::TldServers *servers = route::tldServers(q.tld);
        if (!servers) {
            r.server = q.tld + m_endpoints.domainSuffix;
            r.viaSuffix = true;
        } else if (servers->whois.isEmpty()) {
            r.server.clear();
            refuseTld(r, *servers);
            return r;
        } else {
            r.server = servers->whois;
        }
        break;
    }
    case Kind::Verbatim:
    case Kind::Other:
        r.line = q.text;
        break;
    }
    r.line += QLatin1Char('\n');
    return r;
}
