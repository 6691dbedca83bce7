#include "lookup/plan.h"

#include <QUrl>

#include "rdap/bootstrap.h"
#include "route/registries.h"

namespace {

bool isNumber(route::Kind kind)
{
    using route::Kind;
    return kind == Kind::IPv4 || kind == Kind::IPv6 || kind == Kind::Cidr || kind == Kind::Asn;
}

} // namespace

void planFirstHop(WhoisRoute &r, const WhoisEndpoints &endpoints, bool serverChosen)
{
    if (!isNumber(r.kind))
        return;
    const route::NumberRegistry *registry = nullptr;
    if (serverChosen) {
        registry = route::numberRegistryAt(r.server);
    } else if (endpoints.defaultServer.compare(QLatin1String(WhoisEndpoints::kDefaultServer), Qt::CaseInsensitive) == 0) {
        // Not endpoints.rdapServices: that says where RDAP requests go, and
        // a test that points them at its own server still means the registry.
        const QStringList services = rdap::serviceFor(r.parsed);
        if (!services.isEmpty())
            registry = route::numberRegistry(QUrl(services.first()).host());
        if (registry)
            r.server = registry->whois;
    }
    if (registry)
        r.line = route::numberLine(*registry, r.parsed) + QLatin1Char('\n');
}

WhoisRoute planRoute(const QString &query, const WhoisEndpoints &endpoints)
{
    WhoisRoute r = WhoisInfo(nullptr, endpoints).route(query);
    planFirstHop(r, endpoints);
    return r;
}
