#include "rdap/writer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

#include "rdap/redactions.h"

namespace rdap::detail {

QString scalarText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        // The variant keeps integers as integers: 13335, not 13335.0.
        return value.toVariant().toString();
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return QString();
}

QJsonArray listOf(const QJsonValue &value)
{
    if (value.isArray())
        return value.toArray();
    if (value.isNull() || value.isUndefined())
        return QJsonArray();
    return QJsonArray{value};
}

QString cleanValue(QString text)
{
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1Char('\r'), QLatin1Char(' '));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
    return text.trimmed();
}

QString joinKey(const QString &prefix, const QString &rest)
{
    if (prefix.isEmpty())
        return rest;
    return prefix + QLatin1Char(' ') + rest;
}

void Writer::field(const QString &key, const QString &value, bool blankIsRedacted)
{
    QString text = cleanValue(value);
    if (text.isEmpty()) {
        if (!m_redactions || m_redactions->isEmpty() || !(blankIsRedacted || m_redactions->names(key)))
            return;
        text = QStringLiteral("REDACTED");
    }
    if (m_redactions)
        m_redactions->markShown(key);
    m_text += cleanValue(key);
    m_text += QLatin1String(": ");
    m_text += text;
    m_text += QLatin1Char('\n');
}

void Writer::comment(const QString &text)
{
    // Each line of a multi-line text gets its own "% ", so none can pass for
    // a field; a lone CR counts as a line end too. Line ends at the very end
    // (ARIN ends every remark line with a CR) make no empty lines.
    QStringView rest(text);
    while (!rest.isEmpty() && (rest.back() == QLatin1Char('\n') || rest.back() == QLatin1Char('\r')))
        rest.chop(1);
    qsizetype start = 0;
    for (;;) {
        qsizetype end = start;
        while (end < rest.size() && rest.at(end) != QLatin1Char('\n') && rest.at(end) != QLatin1Char('\r'))
            ++end;
        QStringView line = rest.mid(start, end - start);
        while (!line.isEmpty() && line.back().isSpace())
            line.chop(1);
        m_text += line.isEmpty() ? QLatin1String("%") : QLatin1String("% ");
        m_text += line;
        m_text += QLatin1Char('\n');
        if (end >= rest.size())
            break;
        if (rest.at(end) == QLatin1Char('\r') && end + 1 < rest.size() && rest.at(end + 1) == QLatin1Char('\n'))
            ++end;
        start = end + 1;
    }
}

void Writer::paragraph()
{
    if (!m_text.isEmpty() && !m_text.endsWith(QLatin1String("\n\n")))
        m_text += QLatin1Char('\n');
}

QString Writer::finish()
{
    while (m_text.endsWith(QLatin1String("\n\n")))
        m_text.chop(1);
    return m_text;
}

} // namespace rdap::detail
