// Entities: a contact's card once per role, keyed by role ("Registrant
// Email", "OrgTechEmail"), then what else the entity holds.
#include <QJsonArray>

#include "rdap/objects.h"
#include "rdap/redactions.h"
#include "rdap/vcard.h"

namespace rdap::detail {

namespace {

// A hostile entity may list thousands of roles; each costs a card.
constexpr int kMaxRoles = 6;

enum class Slot { Handle, Name, Org, Street, City, Region, PostalCode, Country, Label, Phone, Fax, Email };

QString contactKey(Style style, const QString &prefix, Slot slot)
{
    if (style == Style::Domain) {
        switch (slot) {
        case Slot::Handle:
            return prefix.isEmpty() ? QStringLiteral("Handle") : QLatin1String("Registry ") + prefix + QLatin1String(" ID");
        case Slot::Name: return prefix == QLatin1String("Registrar") ? prefix : joinKey(prefix, QStringLiteral("Name"));
        case Slot::Org: return joinKey(prefix, QStringLiteral("Organization"));
        case Slot::Street: return joinKey(prefix, QStringLiteral("Street"));
        case Slot::City: return joinKey(prefix, QStringLiteral("City"));
        case Slot::Region: return joinKey(prefix, QStringLiteral("State/Province"));
        case Slot::PostalCode: return joinKey(prefix, QStringLiteral("Postal Code"));
        case Slot::Country: return joinKey(prefix, QStringLiteral("Country"));
        case Slot::Label: return joinKey(prefix, QStringLiteral("Address"));
        case Slot::Phone: return joinKey(prefix, QStringLiteral("Phone"));
        case Slot::Fax: return joinKey(prefix, QStringLiteral("Fax"));
        case Slot::Email: return joinKey(prefix, QStringLiteral("Email"));
        }
    }
    // ARIN's words; the address lines carry no prefix there.
    switch (slot) {
    case Slot::Handle: return prefix == QLatin1String("Org") ? QStringLiteral("OrgId") : prefix + QLatin1String("Handle");
    case Slot::Name: return prefix + QLatin1String("Name");
    case Slot::Org: return prefix.isEmpty() ? QStringLiteral("Organization") : prefix + QLatin1String("Company");
    case Slot::Street: return QStringLiteral("Address");
    case Slot::City: return QStringLiteral("City");
    case Slot::Region: return QStringLiteral("StateProv");
    case Slot::PostalCode: return QStringLiteral("PostalCode");
    case Slot::Country: return QStringLiteral("Country");
    case Slot::Label: return QStringLiteral("Address");
    case Slot::Phone: return prefix + QLatin1String("Phone");
    case Slot::Fax: return prefix + QLatin1String("Fax");
    case Slot::Email: return prefix + QLatin1String("Email");
    }
    return prefix;
}

QString roleWord(Style style, const QString &role)
{
    const bool domain = style == Style::Domain;
    if (role == QLatin1String("registrant"))
        return domain ? QStringLiteral("Registrant") : QStringLiteral("Org");
    if (role == QLatin1String("administrative"))
        return QStringLiteral("Admin");
    if (role == QLatin1String("technical"))
        return QStringLiteral("Tech");
    if (role == QLatin1String("abuse"))
        return domain ? QStringLiteral("Abuse Contact") : QStringLiteral("Abuse");
    if (role == QLatin1String("notifications"))
        return domain ? QStringLiteral("Notifications") : QStringLiteral("Notify");
    if (role == QLatin1String("noc"))
        return QStringLiteral("NOC");
    // Any other role by its own words: letters and digits, each word capitalised.
    QString word;
    bool start = true;
    for (QChar ch : role.left(40)) {
        if (!ch.isLetterOrNumber()) {
            if (domain && !word.isEmpty() && !word.endsWith(QLatin1Char(' ')))
                word += QLatin1Char(' ');
            start = true;
            continue;
        }
        word += start ? ch.toUpper() : ch;
        start = false;
    }
    return word.trimmed();
}

bool isOrganisation(const Card &card)
{
    for (const auto &[key, value] : card.other) {
        if (key == QLatin1String("Kind") && value.compare(QLatin1String("org"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QStringList rolePrefixes(const Context &c, const QJsonObject &entity, const Card &card, const QString &parent)
{
    QStringList prefixes;
    for (const QJsonValue &role : listOf(entity.value(QLatin1String("roles")))) {
        const QString word = roleWord(c.style, text(role).toLower());
        if (word.isEmpty())
            continue;
        const QString prefix = c.style == Style::Domain ? joinKey(parent, word) : parent + word;
        // A registrar is known by that role first, whatever else it is.
        if (!prefixes.contains(prefix)) {
            if (text(role).compare(QLatin1String("registrar"), Qt::CaseInsensitive) == 0)
                prefixes.prepend(prefix);
            else
                prefixes.append(prefix);
        }
        if (prefixes.size() == kMaxRoles)
            break;
    }
    if (prefixes.isEmpty()) {
        // An entity asked for by itself is an organisation or a person;
        // one without a role inside another object is some contact.
        if (c.topLevel)
            prefixes.append(c.style == Style::Number && isOrganisation(card) ? QStringLiteral("Org") : QString());
        else
            prefixes.append(c.style == Style::Domain ? joinKey(parent, QStringLiteral("Contact")) : parent + QLatin1String("Contact"));
    }
    return prefixes;
}

bool isCovered(const Context &c, const QString &prefix)
{
    return c.out.redactions() && c.out.redactions()->coversPrefix(prefix);
}

void writeLabel(const Context &c, const QStringList &label, const QString &prefix)
{
    const QString country = labelCountry(label);
    const qsizetype lines = country.isEmpty() ? label.size() : label.size() - 1;
    for (qsizetype i = 0; i < lines; ++i)
        c.out.field(contactKey(c.style, prefix, Slot::Label), label.at(i));
    c.out.field(contactKey(c.style, prefix, Slot::Country), country);
}

// Empty parts of a redacted contact read "REDACTED"; parts that are not
// there at all only where a redaction names them.
void writeAddresses(const Context &c, const Card &card, const QString &prefix, bool covered)
{
    const auto key = [&](Slot slot) { return contactKey(c.style, prefix, slot); };
    for (const PostalAddress &address : card.addresses) {
        if (address.partsEmpty() && !address.label.isEmpty()) {
            writeLabel(c, address.label, prefix);
            continue;
        }
        if (address.street.isEmpty())
            c.out.field(key(Slot::Street), QString(), covered);
        for (const QString &line : address.street)
            c.out.field(key(Slot::Street), line, covered);
        c.out.field(key(Slot::City), address.city, covered);
        c.out.field(key(Slot::Region), address.region, covered);
        c.out.field(key(Slot::PostalCode), address.postalCode, covered);
        c.out.field(key(Slot::Country), address.country, covered);
    }
    if (card.addresses.isEmpty()) {
        for (Slot slot : {Slot::Street, Slot::City, Slot::Region, Slot::PostalCode, Slot::Country})
            c.out.field(key(slot), QString());
    }
}

void writePhones(const Context &c, const Card &card, const QString &prefix, bool covered)
{
    for (bool fax : {false, true}) {
        const QString key = contactKey(c.style, prefix, fax ? Slot::Fax : Slot::Phone);
        bool any = false;
        for (const Phone &phone : card.phones) {
            if (phone.fax != fax)
                continue;
            any = true;
            // The key already says "Fax".
            const QString types = fax && phone.types.compare(QLatin1String("fax"), Qt::CaseInsensitive) == 0 ? QString() : phone.types;
            const bool typed = !phone.number.isEmpty() && !types.isEmpty();
            c.out.field(key, typed ? phone.number + QLatin1String(" (") + types + QLatin1Char(')') : phone.number, covered);
        }
        if (!any)
            c.out.field(key, QString());
    }
}

void writeCardOther(const Context &c, const Card &card, const QString &prefix)
{
    for (const auto &[word, value] : card.other)
        c.out.field(c.style == Style::Domain ? joinKey(prefix, word) : word, value);
}

// Name, organisation, address (domain style), phones and e-mail for one
// role. Further roles of the same entity leave out the address and the rest
// of the card, which would only repeat.
void writeContact(const Context &c, const Card &card, const QString &handle, const QString &prefix, bool full)
{
    const bool covered = isCovered(c, prefix);
    const auto key = [&](Slot slot) { return contactKey(c.style, prefix, slot); };
    // A registrar or an organisation goes by its name first, and may give
    // that name only as "org"; a person's or role's line starts with the handle.
    const bool organisation = key(Slot::Name) == (c.style == Style::Domain ? QLatin1String("Registrar") : QLatin1String("OrgName"));
    const bool orgIsName = organisation && card.names.isEmpty() && !card.orgs.isEmpty();
    if (!organisation)
        c.out.field(key(Slot::Handle), handle);
    if (card.names.isEmpty())
        c.out.field(key(Slot::Name), orgIsName ? card.orgs.first() : QString());
    for (const QString &name : card.names)
        c.out.field(key(Slot::Name), name, covered);
    if (organisation)
        c.out.field(key(Slot::Handle), handle);
    if (card.orgs.isEmpty())
        c.out.field(key(Slot::Org), QString());
    for (qsizetype i = orgIsName ? 1 : 0; i < card.orgs.size(); ++i)
        c.out.field(key(Slot::Org), card.orgs.at(i), covered);
    if (c.style == Style::Domain && full)
        writeAddresses(c, card, prefix, covered);
    writePhones(c, card, prefix, covered);
    if (card.emails.isEmpty())
        c.out.field(key(Slot::Email), QString());
    for (const QString &email : card.emails)
        c.out.field(key(Slot::Email), email, covered);
    if (c.style == Style::Domain && full)
        writeCardOther(c, card, prefix);
    // Fields the server removed and names in its redactions.
    if (covered) {
        for (const QString &rest : c.out.redactions()->unshownUnder(prefix))
            c.out.field(c.style == Style::Domain ? joinKey(prefix, rest) : prefix + QString(rest).remove(QLatin1Char(' ')),
                        QString(), true);
    }
}

// Entities nest in entities; networks and AS numbers hang off an entity
// asked for by itself. Nested contacts of a domain's contact stay in its
// paragraph, as a registrar's abuse contact does in a registry's whois.
void writeChildren(const Context &c, const QJsonObject &entity, const QString &prefix)
{
    const QString plainKey =
        c.style == Style::Domain ? joinKey(prefix, QStringLiteral("Contact")) : prefix + QLatin1String("Contact");
    writeEach(c, entity.value(QLatin1String("entities")), c.style == Style::Number, plainKey,
              [&](const QJsonObject &child) { renderEntity(c.child(c.style), child, prefix); });
    writeEach(c, entity.value(QLatin1String("networks")), true, QStringLiteral("Network"),
              [&c](const QJsonObject &network) { renderNetwork(c.child(Style::Number), network); });
    writeEach(c, entity.value(QLatin1String("autnums")), true, QStringLiteral("AS Number"),
              [&c](const QJsonObject &autnum) { renderAutnum(c.child(Style::Number), autnum); });
}

} // namespace

void renderEntity(const Context &c, const QJsonObject &entity, const QString &parentPrefix)
{
    if (tooDeep(c, joinKey(parentPrefix, QStringLiteral("Entity"))))
        return;
    const Card card = parseCard(entity.value(QLatin1String("vcardArray")));
    if (c.topLevel)
        writeObjectClass(c, entity, QLatin1String("entity"), QString());
    const QStringList prefixes = rolePrefixes(c, entity, card, parentPrefix);
    const QString handle = text(entity.value(QLatin1String("handle")));
    for (const QString &prefix : prefixes)
        writeContact(c, card, handle, prefix, prefix == prefixes.first());
    if (c.style == Style::Number) {
        writeAddresses(c, card, prefixes.first(), isCovered(c, prefixes.first()));
        writeCardOther(c, card, QString());
    }
    // The rest once, under the first role in domain style.
    const QString common = c.style == Style::Domain ? prefixes.first() : QString();
    if (!c.topLevel)
        writeObjectClass(c, entity, QLatin1String("entity"), common);
    writePublicIds(c, entity.value(QLatin1String("publicIds")), prefixes.first());
    writeEvents(c, entity.value(QLatin1String("events")), common, false);
    writeList(c, entity.value(QLatin1String("status")), joinKey(common, QStringLiteral("Status")));
    writeLinks(c, entity.value(QLatin1String("links")), joinKey(common, QStringLiteral("Link")));
    writeOtherMembers(c, entity,
                      {QLatin1String("handle"), QLatin1String("vcardArray"), QLatin1String("roles"),
                       QLatin1String("publicIds"), QLatin1String("events"), QLatin1String("status"),
                       QLatin1String("links"), QLatin1String("entities"), QLatin1String("networks"),
                       QLatin1String("autnums")},
                      common);
    writeComments(c, entity);
    writeChildren(c, entity, prefixes.first());
}

} // namespace rdap::detail
