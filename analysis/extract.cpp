#include <QHash>

#include "analysis/extract.h"
#include "whois/whoisinfo.h"

namespace extraction {

QRegularExpression fieldPattern(const QString &keys)
{
    // Compiling an expression costs more than matching it against a whole
    // reply, and the program uses the same few key sets again and again.
    static thread_local QHash<QString, QRegularExpression> compiled;
    auto it = compiled.constFind(keys);
    if (it == compiled.constEnd()) {
        if (compiled.size() >= 16)
            compiled.clear();
        it = compiled.insert(keys, QRegularExpression(QLatin1String("(?:") + keys + QLatin1String("):([^\\n]*)"),
                                                      QRegularExpression::CaseInsensitiveOption));
    }
    return *it;
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
