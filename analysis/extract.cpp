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

QString firstValueOutsideComments(const QRegularExpression &pattern, QStringView text)
{
    QRegularExpressionMatchIterator it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const qsizetype lineStart = text.lastIndexOf(QLatin1Char('\n'), m.capturedStart(0)) + 1;
        const QChar first = lineStart < text.size() ? text.at(lineStart) : QChar();
        if (first != QLatin1Char('%') && first != QLatin1Char('#'))
            return m.capturedView(1).trimmed().toString();
    }
    return QString();
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
