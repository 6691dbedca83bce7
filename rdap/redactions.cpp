#include "rdap/redactions.h"

#include <QJsonArray>
#include <QJsonObject>

#include "rdap/writer.h"

namespace rdap::detail {

namespace {

// A name or reason is an object with "type" or "description"; a plain
// string is taken as it is.
QString nameText(const QJsonValue &value)
{
    if (!value.isObject())
        return scalarText(value);
    const QJsonObject object = value.toObject();
    const QString type = scalarText(object.value(QLatin1String("type")));
    return type.isEmpty() ? scalarText(object.value(QLatin1String("description"))) : type;
}

qsizetype wordCount(QStringView text)
{
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
}

} // namespace

Redactions::Redactions(const QJsonValue &redacted)
{
    for (const QJsonValue &entry : listOf(redacted)) {
        if (!entry.isObject())
            continue;
        const QJsonObject object = entry.toObject();
        Item item;
        item.name = cleanValue(nameText(object.value(QLatin1String("name"))));
        item.normalised = normalise(item.name);
        item.method = cleanValue(scalarText(object.value(QLatin1String("method"))));
        if (item.method.isEmpty())
            item.method = QStringLiteral("removal"); // what a redaction without a method means
        item.reason = cleanValue(nameText(object.value(QLatin1String("reason"))));
        if (!item.normalised.isEmpty())
            m_byName[item.normalised].append(int(m_items.size()));
        m_items.append(item);
    }
}

QString Redactions::normalise(QStringView name)
{
    QString result;
    for (QStringView word : name.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!result.isEmpty())
            result += QLatin1Char(' ');
        if (word.compare(QLatin1String("technical"), Qt::CaseInsensitive) == 0)
            result += QLatin1String("tech");
        else if (word.compare(QLatin1String("administrative"), Qt::CaseInsensitive) == 0)
            result += QLatin1String("admin");
        else
            result += word.toString().toLower();
    }
    return result;
}

bool Redactions::names(const QString &key) const
{
    return !m_items.isEmpty() && m_byName.contains(normalise(key));
}

bool Redactions::coversPrefix(const QString &prefix) const
{
    const QString start = normalise(prefix);
    if (start.isEmpty())
        return false;
    const QString registryId = QLatin1String("registry ") + start + QLatin1String(" id");
    for (const Item &item : m_items) {
        if (item.normalised.startsWith(start + QLatin1Char(' ')) || item.normalised == registryId)
            return true;
    }
    return false;
}

void Redactions::markShown(const QString &key)
{
    if (m_items.isEmpty())
        return;
    const auto it = m_byName.constFind(normalise(key));
    if (it == m_byName.constEnd())
        return;
    for (int index : it.value())
        m_items[index].shown = true;
}

QStringList Redactions::unshownUnder(const QString &prefix) const
{
    QStringList result;
    const QString start = normalise(prefix);
    if (start.isEmpty())
        return result;
    const qsizetype words = wordCount(start);
    for (const Item &item : m_items) {
        if (item.shown || !item.normalised.startsWith(start + QLatin1Char(' ')))
            continue;
        const QStringList parts = item.name.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        result.append(parts.mid(words).join(QLatin1Char(' ')));
    }
    return result;
}

QStringList Redactions::unshown() const
{
    QStringList result;
    for (const Item &item : m_items) {
        if (!item.shown && !item.normalised.isEmpty() && !result.contains(item.name))
            result.append(item.name);
    }
    return result;
}

QStringList Redactions::summaries() const
{
    QStringList result;
    for (const Item &item : m_items) {
        QString line = item.name.isEmpty() ? QStringLiteral("(no name)") : item.name;
        line += QLatin1String(" (") + item.method;
        if (!item.reason.isEmpty())
            line += QLatin1String(": ") + item.reason;
        line += QLatin1Char(')');
        result.append(line);
    }
    return result;
}

} // namespace rdap::detail
