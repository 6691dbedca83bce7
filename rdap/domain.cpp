// Domains and nameservers, in the words of a gTLD registry's whois.
#include <QJsonArray>

#include "rdap/objects.h"

namespace rdap::detail {

namespace {

// The Unicode name where it says more than the LDH name.
QString unicodeIfDifferent(const QJsonObject &object, const QString &ldhName)
{
    const QString unicode = text(object.value(QLatin1String("unicodeName")));
    QStringView a(unicode), b(ldhName);
    if (a.endsWith(QLatin1Char('.')))
        a.chop(1);
    if (b.endsWith(QLatin1Char('.')))
        b.chop(1);
    return a.compare(b, Qt::CaseInsensitive) == 0 ? QString() : unicode;
}

QStringList ipAddresses(const QJsonValue &ipAddresses)
{
    QStringList result;
    const QJsonObject object = ipAddresses.toObject();
    for (QLatin1String version : {QLatin1String("v4"), QLatin1String("v6")}) {
        for (const QJsonValue &address : listOf(object.value(version))) {
            const QString value = text(address);
            if (!value.isEmpty())
                result.append(value);
        }
    }
    return result;
}

// "ns1.example.com (ñs1.example.com) 192.0.2.1", as a domain lists it.
QString nameserverLine(const QJsonValue &nameserver)
{
    if (!nameserver.isObject())
        return text(nameserver);
    const QJsonObject object = nameserver.toObject();
    QString line = text(object.value(QLatin1String("ldhName")));
    const QString unicode = unicodeIfDifferent(object, line);
    if (!unicode.isEmpty())
        line += QLatin1String(" (") + unicode + QLatin1Char(')');
    const QStringList addresses = ipAddresses(object.value(QLatin1String("ipAddresses")));
    if (!addresses.isEmpty())
        line += QLatin1Char(' ') + addresses.join(QLatin1Char(' '));
    return line;
}

// A nameserver with more to say than its line shows gets a paragraph of its own.
bool nameserverHasMore(const QJsonValue &nameserver)
{
    const QJsonObject object = nameserver.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        if (key == QLatin1String("ipAddresses") ? !it.value().isObject()
                                                : key != QLatin1String("objectClassName") && key != QLatin1String("ldhName")
                                                      && key != QLatin1String("unicodeName"))
            return true;
    }
    return false;
}

void writeSecureDns(const Context &c, const QJsonValue &secureDns)
{
    if (!secureDns.isObject()) {
        flatten(c.out, QStringLiteral("DNSSEC"), secureDns);
        return;
    }
    const QJsonObject object = secureDns.toObject();
    const QJsonValue signedValue = object.value(QLatin1String("delegationSigned"));
    if (signedValue.isBool())
        c.out.field(QStringLiteral("DNSSEC"), signedValue.toBool() ? QStringLiteral("signedDelegation") : QStringLiteral("unsigned"));
    else
        c.out.field(QStringLiteral("DNSSEC"), text(signedValue));
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() != QLatin1String("delegationSigned"))
            flatten(c.out, QLatin1String("DNSSEC ") + it.key(), it.value(), 1);
    }
}

// The objects a domain holds, after its own paragraph.
void renderDomainChildren(const Context &c, const QJsonObject &domain)
{
    const QJsonValue network = domain.value(QLatin1String("network"));
    if (network.isObject()) {
        c.out.paragraph();
        renderNetwork(c.child(Style::Number), network.toObject());
    }
    writeEach(c, domain.value(QLatin1String("entities")), true, QStringLiteral("Contact"),
              [&c](const QJsonObject &entity) { renderEntity(c.child(Style::Domain), entity, QString()); });
    for (const QJsonValue &nameserver : listOf(domain.value(QLatin1String("nameservers")))) {
        if (nameserverHasMore(nameserver)) {
            c.out.paragraph();
            renderNameserver(c.child(Style::Domain), nameserver.toObject());
        }
    }
}

} // namespace

void renderDomain(const Context &c, const QJsonObject &domain)
{
    if (tooDeep(c, QStringLiteral("Domain")))
        return;
    Writer &out = c.out;
    writeObjectClass(c, domain, QLatin1String("domain"), QString());
    const QString ldhName = text(domain.value(QLatin1String("ldhName")));
    out.field(QStringLiteral("Domain Name"), ldhName);
    out.field(QStringLiteral("Unicode Name"), unicodeIfDifferent(domain, ldhName));
    out.field(QStringLiteral("Registry Domain ID"), text(domain.value(QLatin1String("handle"))));
    writeEvents(c, domain.value(QLatin1String("events")), QString(), true);
    writeList(c, domain.value(QLatin1String("status")), QStringLiteral("Domain Status"));
    for (const QJsonValue &nameserver : listOf(domain.value(QLatin1String("nameservers"))))
        out.field(QStringLiteral("Name Server"), nameserverLine(nameserver));
    if (domain.contains(QLatin1String("secureDNS")))
        writeSecureDns(c, domain.value(QLatin1String("secureDNS")));
    writePublicIds(c, domain.value(QLatin1String("publicIds")), QString());
    writeLinks(c, domain.value(QLatin1String("links")), QStringLiteral("Link"));
    writeOtherMembers(c, domain,
                      {QLatin1String("ldhName"), QLatin1String("unicodeName"), QLatin1String("handle"),
                       QLatin1String("events"), QLatin1String("status"), QLatin1String("nameservers"),
                       QLatin1String("secureDNS"), QLatin1String("publicIds"), QLatin1String("links"),
                       QLatin1String("entities"), QLatin1String("network")},
                      QString());
    writeComments(c, domain);
    // A network of the wrong type still shows, as its members.
    if (domain.contains(QLatin1String("network")) && !domain.value(QLatin1String("network")).isObject())
        flatten(out, QStringLiteral("network"), domain.value(QLatin1String("network")));
    renderDomainChildren(c, domain);
}

void renderNameserver(const Context &c, const QJsonObject &nameserver)
{
    if (tooDeep(c, QStringLiteral("Name Server")))
        return;
    Writer &out = c.out;
    writeObjectClass(c, nameserver, QLatin1String("nameserver"), QString());
    const QString ldhName = text(nameserver.value(QLatin1String("ldhName")));
    out.field(QStringLiteral("Server Name"), ldhName);
    out.field(QStringLiteral("Unicode Name"), unicodeIfDifferent(nameserver, ldhName));
    out.field(QStringLiteral("Handle"), text(nameserver.value(QLatin1String("handle"))));
    const QJsonValue addresses = nameserver.value(QLatin1String("ipAddresses"));
    if (addresses.isObject()) {
        for (const QString &address : ipAddresses(addresses))
            out.field(QStringLiteral("Server IP"), address);
        const QJsonObject object = addresses.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it.key() != QLatin1String("v4") && it.key() != QLatin1String("v6"))
                flatten(out, QLatin1String("Server IP ") + it.key(), it.value(), 1);
        }
    } else {
        flatten(out, QStringLiteral("Server IP"), addresses);
    }
    writeList(c, nameserver.value(QLatin1String("status")), QStringLiteral("Status"));
    writeEvents(c, nameserver.value(QLatin1String("events")), QString(), false);
    writeLinks(c, nameserver.value(QLatin1String("links")), QStringLiteral("Link"));
    writeOtherMembers(c, nameserver,
                      {QLatin1String("ldhName"), QLatin1String("unicodeName"), QLatin1String("handle"),
                       QLatin1String("ipAddresses"), QLatin1String("status"), QLatin1String("events"),
                       QLatin1String("links"), QLatin1String("entities")},
                      QString());
    writeComments(c, nameserver);
    // Its contacts follow in the same paragraph, as a domain's registrar does.
    writeEach(c, nameserver.value(QLatin1String("entities")), false, QStringLiteral("Contact"),
              [&c](const QJsonObject &entity) { renderEntity(c.child(Style::Domain), entity, QString()); });
}

} // namespace rdap::detail
