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

// Line keys have a few words of prefix; longer name beginnings can match none.
constexpr qsizetype kMaxPrefixWords = 16;

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
        m_items.append(item);
        index(int(m_items.size() - 1));
    }
}

void Redactions::index(int item)
{
    const QString &name = m_items.at(item).normalised;
    if (name.isEmpty())
        return;
    m_byName[name].append(item);
    const QStringList words = name.split(QLatin1Char(' '));
    for (qsizetype count = 1; count < words.size() && count <= kMaxPrefixWords; ++count)
        m_byPrefix[words.mid(0, count).join(QLatin1Char(' '))].append(item);
    if (words.size() >= 3 && words.first() == QLatin1String("registry") && words.last() == QLatin1String("id"))
        m_registryIds.insert(words.mid(1, words.size() - 2).join(QLatin1Char(' ')));
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
    if (m_items.isEmpty())
        return false;
    const QString start = normalise(prefix);
    return !start.isEmpty() && (m_byPrefix.contains(start) || m_registryIds.contains(start));
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

QStringList Redactions::unshownUnder(const QString &prefix)
{
    QStringList result;
    const auto it = m_byPrefix.find(normalise(prefix));
    if (it == m_byPrefix.end())
        return result;
    // Shown items leave the list for good, so each is passed over once.
    QList<int> &items = it.value();
    items.removeIf([this](int item) { return m_items.at(item).shown; });
    const qsizetype words = wordCount(it.key());
    for (int item : items)
        result.append(m_items.at(item).name.split(QLatin1Char(' '), Qt::SkipEmptyParts).mid(words).join(QLatin1Char(' ')));
    result.removeDuplicates();
    return result;
}

QStringList Redactions::unshown() const
{
    QStringList result;
    QSet<QString> seen;
    for (const Item &item : m_items) {
        if (!item.shown && !item.normalised.isEmpty() && !seen.contains(item.name)) {
            seen.insert(item.name);
            result.append(item.name);
        }
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
