#include "rdap/facts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QUrl>

#include "rdap/vcard.h"

namespace rdap {

namespace {

using analysis::Facts;

QStringList strings(const QJsonValue &v)
{
    QStringList out;
    for (const QJsonValue &item : v.toArray())
        if (item.isString())
            out.append(item.toString());
    return out;
}

bool hasRole(const QJsonObject &entity, const char *role)
{
    return strings(entity.value(QLatin1String("roles"))).contains(QLatin1String(role), Qt::CaseInsensitive);
}

// The first entity with the role, at the top or one level down (an abuse
// contact inside a registrar or a registrant); empty where there is none.
QJsonObject entityWith(const QJsonObject &object, const char *role)
{
    const QJsonArray entities = object.value(QLatin1String("entities")).toArray();
    for (const QJsonValue &e : entities)
        if (hasRole(e.toObject(), role))
            return e.toObject();
    for (const QJsonValue &e : entities)
        for (const QJsonValue &inner : e.toObject().value(QLatin1String("entities")).toArray())
            if (hasRole(inner.toObject(), role))
                return inner.toObject();
    return {};
}

detail::Card cardOf(const QJsonObject &entity)
{
    return detail::parseCard(entity.value(QLatin1String("vcardArray")));
}

void addEvents(Facts &facts, const QJsonObject &object)
{
    const QJsonArray events = object.value(QLatin1String("events")).toArray();
    for (const QJsonValue &e : events) {
        const QString action = e.toObject().value(QLatin1String("eventAction")).toString().toLower();
        const QString date = analysis::normaliseDate(e.toObject().value(QLatin1String("eventDate")).toString());
        if (action == QLatin1String("registration"))
            facts.add(QStringLiteral("registered"), { date });
        else if (action == QLatin1String("last changed") || action == QLatin1String("last update"))
            facts.add(QStringLiteral("updated"), { date });
        else if (action == QLatin1String("expiration"))
            facts.add(QStringLiteral("expires"), { date });
    }
}

QString country(const QString &value)
{
    const QString name = value.size() == 2 ? analysis::countryName(value.toUpper()) : QString();
    return name.isEmpty() ? value : name;
}

// The abuse contact's first e-mail and phone, wherever it stands.
void addAbuse(Facts &facts, const QJsonObject &object)
{
    const detail::Card abuse = cardOf(entityWith(object, "abuse"));
    if (!abuse.emails.isEmpty())
        facts.add(QStringLiteral("abuse_email"), { abuse.emails.first() });
    if (!abuse.phones.isEmpty())
        facts.add(QStringLiteral("abuse_phone"), { abuse.phones.first().number });
}

// The names of what the server redacted, in lower case ("registrant organization").
QSet<QString> redactedNames(const QJsonObject &object)
{
    QSet<QString> names;
    for (const QJsonValue &r : object.value(QLatin1String("redacted")).toArray()) {
        const QJsonObject name = r.toObject().value(QLatin1String("name")).toObject();
        names.insert(name.value(QLatin1String("description")).toString().toLower());
        names.insert(name.value(QLatin1String("type")).toString().toLower());
    }
    return names;
}

void addRegistrant(Facts &facts, const QJsonObject &object)
{
    const QJsonObject entity = entityWith(object, "registrant");
    const detail::Card card = cardOf(entity);
    const QSet<QString> redacted = redactedNames(object);
    auto add = [&facts](const char *name, const QString &value, bool withheld) {
        if (withheld || analysis::isRedacted(value))
            facts.add(QLatin1String(name), { QStringLiteral("redacted") });
        else
            facts.add(QLatin1String(name), { value });
    };
    const QString org = card.orgs.value(0);
    add("registrant_org", org, org.isEmpty() && redacted.contains(QStringLiteral("registrant organization")));
    const QString place = card.addresses.isEmpty() ? QString() : card.addresses.first().country;
    add("registrant_country", country(place), place.isEmpty() && redacted.contains(QStringLiteral("registrant country")));
}

Facts domainFacts(const QJsonObject &d)
{
    Facts facts;
    const QString ascii = d.value(QLatin1String("ldhName")).toString().toLower();
    const QString unicode = d.value(QLatin1String("unicodeName")).toString();
    facts.add(QStringLiteral("domain"), { unicode.isEmpty() ? QUrl::fromAce(ascii.toLatin1()) : unicode });
    facts.add(QStringLiteral("domain_ascii"), { ascii });
    const QJsonObject registrar = entityWith(d, "registrar");
    const detail::Card card = cardOf(registrar);
    facts.add(QStringLiteral("registrar"), { card.orgs.value(0).isEmpty() ? card.names.value(0) : card.orgs.value(0) });
    for (const QJsonValue &id : registrar.value(QLatin1String("publicIds")).toArray())
        if (id.toObject().value(QLatin1String("type")).toString().compare(QLatin1String("IANA Registrar ID"), Qt::CaseInsensitive) == 0)
            facts.add(QStringLiteral("registrar_iana_id"), { id.toObject().value(QLatin1String("identifier")).toString() });
    addRegistrant(facts, d);
    QStringList status;
    for (const QString &s : strings(d.value(QLatin1String("status"))))
        status.append(analysis::eppStatus(s));
    facts.add(QStringLiteral("status"), status);
    addEvents(facts, d);
    QStringList servers;
    for (const QJsonValue &ns : d.value(QLatin1String("nameservers")).toArray())
        servers.append(ns.toObject().value(QLatin1String("ldhName")).toString().toLower());
    facts.add(QStringLiteral("name_servers"), servers);
    const QJsonValue signedDelegation = d.value(QLatin1String("secureDNS")).toObject().value(QLatin1String("delegationSigned"));
    if (signedDelegation.isBool())
        facts.add(QStringLiteral("dnssec"), { signedDelegation.toBool() ? QStringLiteral("signedDelegation") : QStringLiteral("unsigned") });
    addAbuse(facts, d);
    return facts;
}

// What networks and AS numbers share: name, handle, holder, country, dates, abuse.
void addNumberFacts(Facts &facts, const QJsonObject &o)
{
    facts.add(QStringLiteral("name"), { o.value(QLatin1String("name")).toString() });
    facts.add(QStringLiteral("handle"), { o.value(QLatin1String("handle")).toString() });
    const detail::Card holder = cardOf(entityWith(o, "registrant"));
    facts.add(QStringLiteral("holder"), { holder.orgs.value(0).isEmpty() ? holder.names.value(0) : holder.orgs.value(0) });
    facts.add(QStringLiteral("country"), { country(o.value(QLatin1String("country")).toString()) });
    facts.add(QStringLiteral("type"), { o.value(QLatin1String("type")).toString() });
    addEvents(facts, o);
    addAbuse(facts, o);
}

Facts networkFacts(const QJsonObject &n)
{
    Facts facts;
    const QString start = n.value(QLatin1String("startAddress")).toString();
    const QString end = n.value(QLatin1String("endAddress")).toString();
    if (!start.isEmpty() && !end.isEmpty())
        facts.add(QStringLiteral("range"), { start + QLatin1String(" - ") + end });
    QStringList cidrs;
    for (const QJsonValue &c : n.value(QLatin1String("cidr0_cidrs")).toArray()) {
        const QJsonObject o = c.toObject();
        const QString prefix = o.value(QLatin1String("v4prefix")).toString() + o.value(QLatin1String("v6prefix")).toString();
        if (!prefix.isEmpty())
            cidrs.append(prefix + QLatin1Char('/') + QString::number(o.value(QLatin1String("length")).toInt()));
    }
    facts.add(QStringLiteral("cidr"), cidrs.isEmpty() ? analysis::rangePrefixes(start, end) : cidrs);
    addNumberFacts(facts, n);
    return facts;
}

Facts autnumFacts(const QJsonObject &a)
{
    Facts facts;
    const QJsonValue first = a.value(QLatin1String("startAutnum"));
    const QJsonValue last = a.value(QLatin1String("endAutnum"));
    if (first.isDouble()) {
        QString asn = QLatin1String("AS") + QString::number(qint64(first.toDouble()));
        if (last.isDouble() && last.toDouble() != first.toDouble())
            asn += QLatin1String(" - AS") + QString::number(qint64(last.toDouble()));
        facts.add(QStringLiteral("asn"), { asn });
    }
    addNumberFacts(facts, a);
    return facts;
}

} // namespace

analysis::Facts facts(const QJsonObject &object)
{
    const QString kind = object.value(QLatin1String("objectClassName")).toString().toLower();
    Facts f;
    QString subject;
    if (kind == QLatin1String("domain")) {
        f = domainFacts(object);
        subject = QStringLiteral("domain");
    } else if (kind == QLatin1String("ip network")) {
        f = networkFacts(object);
        subject = QStringLiteral("network");
    } else if (kind == QLatin1String("autnum")) {
        f = autnumFacts(object);
        subject = QStringLiteral("asn");
    }
    f.expires = analysis::dateTimeOf(f.value(QStringLiteral("expires")));
    if (!f.isEmpty())
        f.subject = subject;
    return f;
}

analysis::Facts factsOf(const QByteArray &body)
{
    return facts(QJsonDocument::fromJson(body).object());
}

} // namespace rdap
