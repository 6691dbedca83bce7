#include <QJsonArray>

#include "rdap/objects.h"

namespace rdap::detail {

namespace {

// "registrar expiration" as "Registrar Expiration".
QString titleCase(const QString &words)
{
    QString result = words;
    bool start = true;
    for (QChar &c : result) {
        if (start)
            c = c.toUpper();
        start = c.isSpace();
    }
    return result;
}

// Event names as whois readers know them, for the common actions.
QString eventName(Style style, const QString &action, bool registryDomain)
{
    const QString lower = action.toLower();
    if (lower == QLatin1String("registration"))
        return style == Style::Number ? QStringLiteral("RegDate") : QStringLiteral("Creation Date");
    if (lower == QLatin1String("last changed"))
        return style == Style::Number ? QStringLiteral("Updated") : QStringLiteral("Updated Date");
    if (lower == QLatin1String("expiration"))
        return registryDomain ? QStringLiteral("Registry Expiry Date") : QStringLiteral("Expiration Date");
    if (lower == QLatin1String("last update of rdap database"))
        return QStringLiteral("Last Update of RDAP Database");
    if (lower.isEmpty())
        return QStringLiteral("Event Date");
    return titleCase(action) + QLatin1String(" Date");
}

bool isKnown(std::initializer_list<QLatin1String> known, const QString &key)
{
    for (QLatin1String name : known) {
        if (key == name)
            return true;
    }
    return false;
}

} // namespace

QString text(const QJsonValue &value)
{
    return cleanValue(scalarText(value));
}

bool tooDeep(const Context &c, const QString &what)
{
    if (c.depth <= kMaxObjectDepth)
        return false;
    c.out.field(what, QStringLiteral("(nested too deeply, not shown)"));
    return true;
}

void writeObjectClass(const Context &c, const QJsonObject &object, QLatin1String expected, const QString &prefix)
{
    const QJsonValue value = object.value(QLatin1String("objectClassName"));
    const QString name = text(value);
    // Nested objects say what they are only when it is not what their place implies.
    if (c.topLevel || (!value.isUndefined() && name != expected))
        c.out.field(joinKey(prefix, QStringLiteral("Object Class")), name.isEmpty() ? QString(expected) : name);
}

void writeEvents(const Context &c, const QJsonValue &events, const QString &prefix, bool registryDomain)
{
    for (const QJsonValue &event : listOf(events)) {
        if (!event.isObject()) {
            c.out.field(joinKey(prefix, QStringLiteral("Event")), text(event));
            continue;
        }
        const QJsonObject object = event.toObject();
        const QString action = text(object.value(QLatin1String("eventAction")));
        QString value = text(object.value(QLatin1String("eventDate")));
        const QString actor = text(object.value(QLatin1String("eventActor")));
        if (!actor.isEmpty())
            value += QLatin1String(" by ") + actor;
        // "registrar expiration" of a registrar: "Registrar Expiration Date", not "Registrar Registrar ...".
        const QString name = eventName(c.style, action, registryDomain);
        const bool repeats = !prefix.isEmpty() && name.startsWith(prefix + QLatin1Char(' '));
        c.out.field(repeats ? name : joinKey(prefix, name), value);
    }
}

void writeList(const Context &c, const QJsonValue &values, const QString &key)
{
    for (const QJsonValue &value : listOf(values))
        c.out.field(key, text(value));
}

void writeLinks(const Context &c, const QJsonValue &links, const QString &key)
{
    for (const QJsonValue &link : listOf(links)) {
        if (!link.isObject()) {
            c.out.field(key, text(link));
            continue;
        }
        const QJsonObject object = link.toObject();
        QString href = text(object.value(QLatin1String("href")));
        if (href.isEmpty())
            href = text(object.value(QLatin1String("value")));
        const QString rel = text(object.value(QLatin1String("rel")));
        c.out.field(key, rel.isEmpty() || href.isEmpty() ? href : href + QLatin1String(" (") + rel + QLatin1Char(')'));
    }
}

void writePublicIds(const Context &c, const QJsonValue &ids, const QString &prefix)
{
    for (const QJsonValue &id : listOf(ids)) {
        const QJsonObject object = id.toObject();
        const QString type = text(object.value(QLatin1String("type")));
        const QString value = id.isObject() ? text(object.value(QLatin1String("identifier"))) : text(id);
        QString key = type.isEmpty() ? QStringLiteral("Public ID") : type;
        if (c.style == Style::Domain && !prefix.isEmpty()
            && type.compare(QLatin1String("IANA Registrar ID"), Qt::CaseInsensitive) == 0)
            key = QStringLiteral("IANA ID"); // "Registrar IANA ID", as registries write it
        c.out.field(c.style == Style::Domain ? joinKey(prefix, key) : key, value);
    }
}

void writeNotes(Writer &out, const QJsonValue &notes)
{
    for (const QJsonValue &note : listOf(notes)) {
        if (!note.isObject()) {
            out.comment(scalarText(note));
            continue;
        }
        const QJsonObject object = note.toObject();
        QString title = scalarText(object.value(QLatin1String("title")));
        const QString type = scalarText(object.value(QLatin1String("type")));
        if (!type.isEmpty())
            title = title.isEmpty() ? type : title + QLatin1String(" (") + type + QLatin1Char(')');
        if (!title.isEmpty())
            out.comment(title);
        for (const QJsonValue &line : listOf(object.value(QLatin1String("description"))))
            out.comment(scalarText(line));
        for (const QJsonValue &link : listOf(object.value(QLatin1String("links")))) {
            const QString href = link.isObject() ? scalarText(link.toObject().value(QLatin1String("href"))) : scalarText(link);
            if (!href.isEmpty())
                out.comment(href);
        }
    }
}

void writeComments(const Context &c, const QJsonObject &object)
{
    writeNotes(c.out, object.value(QLatin1String("remarks")));
    if (!c.replyLevel)
        writeNotes(c.out, object.value(QLatin1String("notices")));
}

void flatten(Writer &out, const QString &key, const QJsonValue &value, int depth)
{
    if (depth > kMaxFlattenDepth) {
        out.field(key, QStringLiteral("(nested too deeply, not shown)"));
        return;
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            flatten(out, key.isEmpty() ? it.key() : key + QLatin1Char('.') + it.key(), it.value(), depth + 1);
        return;
    }
    if (!value.isArray()) {
        out.field(key, text(value));
        return;
    }
    // A list of plain values fits on one line; anything else gets a line per item.
    const QJsonArray array = value.toArray();
    QStringList parts;
    for (const QJsonValue &item : array) {
        if (item.isArray() || item.isObject()) {
            for (const QJsonValue &each : array)
                flatten(out, key, each, depth + 1);
            return;
        }
        const QString part = text(item);
        if (!part.isEmpty())
            parts.append(part);
    }
    out.field(key, parts.join(QLatin1String(", ")));
}

void writeOtherMembers(const Context &c, const QJsonObject &object, std::initializer_list<QLatin1String> known,
                       const QString &prefix)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        if (isKnown(known, key) || key == QLatin1String("objectClassName") || key == QLatin1String("remarks")
            || key == QLatin1String("notices"))
            continue;
        if ((c.topLevel && key == QLatin1String("redacted"))
            || (c.replyLevel && key == QLatin1String("rdapConformance")))
            continue;
        flatten(c.out, c.style == Style::Domain ? joinKey(prefix, key) : key, it.value());
    }
}

} // namespace rdap::detail
