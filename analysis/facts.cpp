#include "analysis/facts.h"

#include <QLocale>

#include <algorithm>
#include <iterator>

namespace analysis {

namespace {

struct Known
{
    const char *name;
    const char *label;
};

// Every fact in the panel's order, with its label.
constexpr Known kKnown[] = {
    { "domain", "Domain" },
    { "domain_ascii", "Domain (ASCII)" },
    { "asn", "AS number" },
    { "range", "Range" },
    { "cidr", "CIDR" },
    { "name", "Name" },
    { "handle", "Handle" },
    { "holder", "Holder" },
    { "registrar", "Registrar" },
    { "registrar_iana_id", "Registrar IANA ID" },
    { "registrant_org", "Registrant" },
    { "registrant_country", "Registrant country" },
    { "country", "Country" },
    { "type", "Type" },
    { "registry", "Registry" },
    { "status", "Status" },
    { "registered", "Registered" },
    { "updated", "Updated" },
    { "expires", "Expires" },
    { "name_servers", "Name servers" },
    { "dnssec", "DNSSEC" },
    { "abuse_email", "Abuse e-mail" },
    { "abuse_phone", "Abuse phone" },
    { "source", "Source" },
};

int rank(const QString &name)
{
    for (int i = 0; i < int(std::size(kKnown)); ++i)
        if (name == QLatin1String(kKnown[i].name))
            return i;
    return int(std::size(kKnown));
}

} // namespace

const Fact *Facts::find(const QString &name) const
{
    for (const Fact &fact : items)
        if (fact.name == name)
            return &fact;
    return nullptr;
}

QString Facts::value(const QString &name) const
{
    const Fact *fact = find(name);
    return fact && !fact->values.isEmpty() ? fact->values.first() : QString();
}

void Facts::add(const QString &name, const QStringList &values)
{
    if (find(name))
        return;
    QStringList kept;
    for (const QString &v : values)
        if (const QString t = v.trimmed(); !t.isEmpty() && !kept.contains(t, Qt::CaseInsensitive))
            kept.append(t);
    if (kept.isEmpty())
        return;
    const int r = rank(name);
    const auto at = std::find_if(items.begin(), items.end(), [r](const Fact &f) { return rank(f.name) > r; });
    items.insert(at, Fact{ name, factLabel(name), kept });
}

void Facts::setSource(const QString &servers)
{
    source = servers;
    if (!items.isEmpty() && !servers.isEmpty())
        add(QStringLiteral("source"), { servers });
}

QString factLabel(const QString &name)
{
    const int r = rank(name);
    return r < int(std::size(kKnown)) ? QString::fromLatin1(kKnown[r].label) : name;
}

QString factSubject(const QString &kind)
{
    if (kind == QLatin1String("domain") || kind == QLatin1String("tld"))
        return QStringLiteral("domain");
    if (kind == QLatin1String("ipv4") || kind == QLatin1String("ipv6") || kind == QLatin1String("cidr"))
        return QStringLiteral("network");
    if (kind == QLatin1String("asn"))
        return QStringLiteral("asn");
    return QString();
}

QString normaliseDate(QStringView text)
{
    const QString given = text.trimmed().toString();
    if (given.size() > 64)
        return given;
    if (given.contains(QLatin1Char('T')) && QDateTime::fromString(given, Qt::ISODateWithMs).isValid())
        return given;
    const QLocale c = QLocale::c();
    // The forms registries write, day-first ones after year-first ones; the
    // date may come first ("2018/04/01 01:06:23 (JST)") or last ("changed:
    // hostmaster@example.net 20000101").
    static const char *const forms[] = { "yyyy-MM-dd", "yyyy/MM/dd", "yyyy.MM.dd", "yyyyMMdd",
                                         "dd-MMM-yyyy", "dd/MM/yyyy", "dd.MM.yyyy", "d-MMM-yyyy" };
    for (const QString &token : { given.section(QLatin1Char(' '), 0, 0), given.section(QLatin1Char(' '), -1) })
        for (const char *form : forms)
            if (const QDate d = c.toDate(token, QString::fromLatin1(form)); d.isValid())
                return d.toString(Qt::ISODate);
    if (const QDate d = c.toDate(given.simplified(), QStringLiteral("MMMM d yyyy")); d.isValid())
        return d.toString(Qt::ISODate);
    return given;
}

QDateTime dateTimeOf(const QString &normalised)
{
    if (normalised.size() == 10) {
        const QDate d = QDate::fromString(normalised, Qt::ISODate);
        return d.isValid() ? QDateTime(d, QTime(0, 0), Qt::UTC) : QDateTime();
    }
    QDateTime t = QDateTime::fromString(normalised, Qt::ISODateWithMs);
    return t.isValid() ? t.toUTC() : QDateTime();
}

QString eppStatus(QStringView status)
{
    QStringList words;
    for (QStringView word : status.split(u' ', Qt::SkipEmptyParts)) {
        if (word.startsWith(u'(') || word.contains(QLatin1String("://")))
            break;
        words.append(word.toString());
    }
    if (words.size() < 2)
        return words.value(0);
    QString code = words.first().toLower();
    for (qsizetype i = 1; i < words.size(); ++i)
        code += words.at(i).left(1).toUpper() + words.at(i).mid(1).toLower();
    return code;
}

bool isRedacted(QStringView value)
{
    static const char *const signs[] = { "redacted", "data protected", "not disclosed", "withheld", "for privacy",
                                         "statutory masking", "non-public", "gdpr masked", "privacy service" };
    if (value.size() > 200)
        return false;
    for (const char *sign : signs)
        if (value.contains(QLatin1String(sign), Qt::CaseInsensitive))
            return true;
    return false;
}

QString expiryNote(const QDateTime &expires, const QDateTime &now, ExpiryUrgency *urgency)
{
    ExpiryUrgency u = ExpiryUrgency::None;
    QString note;
    if (expires.isValid() && now.isValid()) {
        const qint64 days = now.toUTC().date().daysTo(expires.toUTC().date());
        const QString count = QString::number(qAbs(days)) + (qAbs(days) == 1 ? QLatin1String(" day") : QLatin1String(" days"));
        note = days == 0 ? QStringLiteral("today") : days > 0 ? QLatin1String("in ") + count : count + QLatin1String(" ago");
        u = days < 0 ? ExpiryUrgency::Past : days < 30 ? ExpiryUrgency::Soon : ExpiryUrgency::None;
    }
    if (urgency)
        *urgency = u;
    return note;
}

} // namespace analysis
