// IP networks and AS numbers, in the words of ARIN's whois, so that the
// summary finds the range, the CIDR and the country in the first paragraph.
#include <QJsonArray>

#include "rdap/objects.h"

namespace rdap::detail {

namespace {

// "13.64.0.0/11, 13.96.0.0/13", comma-joined as ARIN's whois writes them.
QString cidrText(const QJsonValue &cidrs)
{
    QStringList parts;
    for (const QJsonValue &cidr : listOf(cidrs)) {
        if (!cidr.isObject()) {
            parts.append(text(cidr));
            continue;
        }
        const QJsonObject object = cidr.toObject();
        QString prefix = text(object.value(QLatin1String("v4prefix")));
        if (prefix.isEmpty())
            prefix = text(object.value(QLatin1String("v6prefix")));
        const QString length = text(object.value(QLatin1String("length")));
        parts.append(length.isEmpty() ? prefix : prefix + QLatin1Char('/') + length);
    }
    parts.removeAll(QString());
    return parts.join(QLatin1String(", "));
}

// "start - end", or whichever end there is.
QString range(const QJsonObject &object, QLatin1String startKey, QLatin1String endKey)
{
    const QString start = text(object.value(startKey));
    const QString end = text(object.value(endKey));
    if (start.isEmpty() || end.isEmpty())
        return start + end;
    return start + QLatin1String(" - ") + end;
}

void writeEntities(const Context &c, const QJsonObject &object)
{
    writeEach(c, object.value(QLatin1String("entities")), true, QStringLiteral("Contact"),
              [&c](const QJsonObject &entity) { renderEntity(c.child(Style::Number), entity, QString()); });
}

} // namespace

void renderNetwork(const Context &c, const QJsonObject &network)
{
    if (tooDeep(c, QStringLiteral("Network")))
        return;
    Writer &out = c.out;
    writeObjectClass(c, network, QLatin1String("ip network"), QString());
    out.field(QStringLiteral("NetRange"), range(network, QLatin1String("startAddress"), QLatin1String("endAddress")));
    out.field(QStringLiteral("CIDR"), cidrText(network.value(QLatin1String("cidr0_cidrs"))));
    out.field(QStringLiteral("NetName"), text(network.value(QLatin1String("name"))));
    out.field(QStringLiteral("NetHandle"), text(network.value(QLatin1String("handle"))));
    out.field(QStringLiteral("Parent"), text(network.value(QLatin1String("parentHandle"))));
    out.field(QStringLiteral("NetType"), text(network.value(QLatin1String("type"))));
    out.field(QStringLiteral("IPVersion"), text(network.value(QLatin1String("ipVersion"))));
    out.field(QStringLiteral("Country"), text(network.value(QLatin1String("country"))));
    writeList(c, network.value(QLatin1String("status")), QStringLiteral("Status"));
    writeEvents(c, network.value(QLatin1String("events")), QString(), false);
    writeLinks(c, network.value(QLatin1String("links")), QStringLiteral("Link"));
    writeOtherMembers(c, network,
                      {QLatin1String("startAddress"), QLatin1String("endAddress"), QLatin1String("cidr0_cidrs"),
                       QLatin1String("name"), QLatin1String("handle"), QLatin1String("parentHandle"),
                       QLatin1String("type"), QLatin1String("ipVersion"), QLatin1String("country"),
                       QLatin1String("status"), QLatin1String("events"), QLatin1String("links"),
                       QLatin1String("entities")},
                      QString());
    writeComments(c, network);
    writeEntities(c, network);
}

void renderAutnum(const Context &c, const QJsonObject &autnum)
{
    if (tooDeep(c, QStringLiteral("AS Number")))
        return;
    Writer &out = c.out;
    writeObjectClass(c, autnum, QLatin1String("autnum"), QString());
    // One number for a single AS, as ARIN's whois writes it.
    const QString start = text(autnum.value(QLatin1String("startAutnum")));
    const QString end = text(autnum.value(QLatin1String("endAutnum")));
    out.field(QStringLiteral("ASNumber"),
              start == end ? start : range(autnum, QLatin1String("startAutnum"), QLatin1String("endAutnum")));
    out.field(QStringLiteral("ASName"), text(autnum.value(QLatin1String("name"))));
    out.field(QStringLiteral("ASHandle"), text(autnum.value(QLatin1String("handle"))));
    out.field(QStringLiteral("ASType"), text(autnum.value(QLatin1String("type"))));
    out.field(QStringLiteral("Country"), text(autnum.value(QLatin1String("country"))));
    writeList(c, autnum.value(QLatin1String("status")), QStringLiteral("Status"));
    writeEvents(c, autnum.value(QLatin1String("events")), QString(), false);
    writeLinks(c, autnum.value(QLatin1String("links")), QStringLiteral("Link"));
    writeOtherMembers(c, autnum,
                      {QLatin1String("startAutnum"), QLatin1String("endAutnum"), QLatin1String("name"),
                       QLatin1String("handle"), QLatin1String("type"), QLatin1String("country"),
                       QLatin1String("status"), QLatin1String("events"), QLatin1String("links"),
                       QLatin1String("entities")},
                      QString());
    writeComments(c, autnum);
    writeEntities(c, autnum);
}

} // namespace rdap::detail
