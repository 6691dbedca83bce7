#include "analysis/extract.h"
#include "whois/whoisinfo.h"

namespace extraction {

QRegularExpression fieldPattern(const QString &keys)
{
    return QRegularExpression(QLatin1String("(?:") + keys + QLatin1String("):([^\\n]*)"),
                              QRegularExpression::CaseInsensitiveOption);
}

QString allValues(const QRegularExpression &pattern, QStringView text)
{
    QString values;
    // The pattern always matches at least "key:", so each match starts past the last.
    QRegularExpressionMatchIterator it = pattern.globalMatch(text);
    while (it.hasNext()) {
        values += it.next().capturedView(1).trimmed();
        values += QLatin1Char('\n');
    }
    return values.trimmed();
}

} // namespace extraction

QString WhoisInfo::extractField(QString keys, QString text) const
{
    return extraction::fieldPattern(keys).match(text).captured(1).trimmed();
}

QString WhoisInfo::extractAllFields(QString keys, QString text) const
{
    return extraction::allValues(extraction::fieldPattern(keys), text);
}
