#include "rdap/vcard.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

#include "rdap/writer.h"

namespace rdap::detail {

namespace {

// The parts of a value, scalars and the scalars of nested arrays alike,
// joined: "org" and unknown properties may be structured.
QString joinedText(const QJsonValue &value, QLatin1String separator)
{
    if (!value.isArray())
        return cleanValue(scalarText(value));
    QStringList parts;
    for (const QJsonValue &part : value.toArray()) {
        const QString text = part.isArray() ? joinedText(part, QLatin1String(" ")) : cleanValue(scalarText(part));
        if (!text.isEmpty())
            parts.append(text);
    }
    return parts.join(separator);
}

// Parameter names are case-insensitive: Namecheap writes "Type".
QJsonValue parameter(const QJsonObject &parameters, QLatin1String name)
{
    const QJsonValue exact = parameters.value(name);
    if (!exact.isUndefined())
        return exact;
    for (auto it = parameters.begin(); it != parameters.end(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return QJsonValue(QJsonValue::Undefined);
}

// vCard text escapes (\n, \, \; \\). ARIN writes them into labels even
// where JSON would have carried a real line feed.
QString unescapeVcardText(const QString &text)
{
    if (!text.contains(QLatin1Char('\\')))
        return text;
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            result += c;
            continue;
        }
        const QChar next = text.at(++i);
        result += (next == QLatin1Char('n') || next == QLatin1Char('N')) ? QChar(QLatin1Char('\n')) : next;
    }
    return result;
}

QStringList labelLines(const QJsonValue &label)
{
    const QString text = unescapeVcardText(label.isArray() ? joinedText(label, QLatin1String("\n")) : scalarText(label));
    QStringList lines;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        const QString trimmed = cleanValue(line.toString());
        if (!trimmed.isEmpty())
            lines.append(trimmed);
    }
    return lines;
}

PostalAddress parseAddress(const QJsonObject &parameters, const QJsonValue &value)
{
    PostalAddress address;
    if (value.isArray()) {
        const QJsonArray parts = value.toArray();
        const auto part = [&parts](qsizetype i) { return i < parts.size() ? parts.at(i) : QJsonValue(); };
        for (qsizetype i = 0; i < 3; ++i) {
            for (const QJsonValue &line : listOf(part(i))) {
                const QString text = joinedText(line, QLatin1String(" "));
                if (!text.isEmpty())
                    address.street.append(text);
            }
        }
        address.city = joinedText(part(3), QLatin1String(", "));
        address.region = joinedText(part(4), QLatin1String(", "));
        address.postalCode = joinedText(part(5), QLatin1String(", "));
        address.country = joinedText(part(6), QLatin1String(", "));
    } else {
        // A plain text where the parts belong reads like a label.
        address.label = labelLines(value);
    }
    address.label += labelLines(parameter(parameters, QLatin1String("label")));
    if (address.country.isEmpty())
        address.country = cleanValue(scalarText(parameter(parameters, QLatin1String("cc"))));
    return address;
}

Phone parsePhone(const QJsonObject &parameters, const QJsonValue &value)
{
    Phone phone;
    phone.number = cleanValue(scalarText(value));
    if (phone.number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
        phone.number = phone.number.mid(4);
    QStringList types;
    for (const QJsonValue &type : listOf(parameter(parameters, QLatin1String("type")))) {
        const QString text = cleanValue(scalarText(type));
        if (text.isEmpty())
            continue;
        types.append(text);
        if (text.compare(QLatin1String("fax"), Qt::CaseInsensitive) == 0)
            phone.fax = true;
    }
    phone.types = types.join(QLatin1String(", "));
    return phone;
}

// "n" is family; given; additional; prefixes; suffixes.
QString nameFromParts(const QJsonValue &value)
{
    if (!value.isArray())
        return cleanValue(scalarText(value));
    const QJsonArray parts = value.toArray();
    QStringList ordered;
    for (qsizetype i : {3, 1, 2, 0, 4}) {
        if (i < parts.size())
            ordered.append(joinedText(parts.at(i), QLatin1String(" ")));
    }
    ordered.removeAll(QString());
    return ordered.join(QLatin1Char(' '));
}

QString propertyWord(const QString &name)
{
    static const QHash<QString, QString> words = {
        {QStringLiteral("url"), QStringLiteral("URL")},
        {QStringLiteral("contact-uri"), QStringLiteral("Contact URI")},
        {QStringLiteral("lang"), QStringLiteral("Language")},
        {QStringLiteral("tz"), QStringLiteral("Time Zone")},
    };
    const QString word = words.value(name);
    if (!word.isEmpty() || name.isEmpty())
        return word;
    return name.at(0).toUpper() + name.mid(1);
}

void readProperty(Card &card, const QJsonValue &property, QString *nParts)
{
    const QJsonArray fields = property.toArray();
    if (!property.isArray() || fields.size() < 4 || !fields.at(0).isString()) {
        card.other.append({QStringLiteral("vCard"), cleanValue(scalarText(property))});
        return;
    }
    const QString name = fields.at(0).toString().toLower();
    const QJsonObject parameters = fields.at(1).toObject();
    const QJsonValue value = fields.at(3);
    if (name == QLatin1String("version")) {
        return;
    } else if (name == QLatin1String("fn")) {
        card.hasName = true;
        card.names.append(joinedText(value, QLatin1String(" ")));
    } else if (name == QLatin1String("n")) {
        *nParts = nameFromParts(value);
    } else if (name == QLatin1String("org")) {
        card.orgs.append(joinedText(value, QLatin1String(", ")));
    } else if (name == QLatin1String("adr")) {
        card.addresses.append(parseAddress(parameters, value));
    } else if (name == QLatin1String("tel")) {
        card.phones.append(parsePhone(parameters, value));
    } else if (name == QLatin1String("email")) {
        card.emails.append(joinedText(value, QLatin1String(", ")));
    } else {
        // Further values after the fourth element belong to the same property.
        QStringList values{joinedText(value, QLatin1String(", "))};
        for (qsizetype i = 4; i < fields.size(); ++i)
            values.append(joinedText(fields.at(i), QLatin1String(", ")));
        values.removeAll(QString());
        card.other.append({propertyWord(name), values.join(QLatin1String(", "))});
    }
}

QSet<QString> loadCountryNames()
{
    QSet<QString> names;
    QFile file(QStringLiteral(":resources/text/countries.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return names;
    while (!file.atEnd()) {
        const QString row = QString::fromLatin1(file.readLine(255)).trimmed();
        const qsizetype comma = row.indexOf(QLatin1Char(','));
        if (comma <= 0)
            continue;
        names.insert(row.left(comma).toLower());
        names.insert(row.mid(comma + 1).toLower());
        names.insert(row.section(QLatin1Char(','), 1, 1).toLower());
    }
    return names;
}

} // namespace

bool PostalAddress::partsEmpty() const
{
    return street.isEmpty() && city.isEmpty() && region.isEmpty() && postalCode.isEmpty() && country.isEmpty();
}

Card parseCard(const QJsonValue &vcardArray)
{
    Card card;
    const QJsonArray top = vcardArray.toArray();
    // Normally ["vcard", [properties]]; some servers put the properties
    // straight after "vcard".
    QJsonArray properties;
    qsizetype first = 0;
    if (top.size() >= 2 && top.at(1).isArray()) {
        properties = top.at(1).toArray();
        if (!properties.isEmpty() && properties.at(0).isString()) {
            properties = top;
            first = 1;
        }
    } else {
        const QString text = cleanValue(scalarText(vcardArray));
        if (!text.isEmpty() && text != QLatin1String("{}") && text != QLatin1String("[]"))
            card.other.append({QStringLiteral("vCard"), text});
        return card;
    }
    card.present = true;
    QString nParts;
    for (qsizetype i = first; i < properties.size(); ++i)
        readProperty(card, properties.at(i), &nParts);
    // RIPE lists an address once as "email" and once as "abuse".
    card.emails.removeDuplicates();
    if (!card.hasName && !nParts.isEmpty())
        card.names.append(nParts);
    return card;
}

QString labelCountry(const QStringList &label)
{
    static const QSet<QString> countries = loadCountryNames();
    if (label.size() < 2 || !countries.contains(label.last().toLower()))
        return QString();
    return label.last();
}

} // namespace rdap::detail
