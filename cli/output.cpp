#include "cli/output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString escapeControls(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool control = (u < 0x20 && u != '\t' && u != '\n') || (u >= 0x7f && u <= 0x9f);
        if (control)
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

bool answered(const LookupResult &result)
{
    return result.outcome == WhoisInfo::Outcome::Answered;
}

QByteArray jsonLine(const LookupResult &result)
{
    QJsonArray servers;
    for (const WhoisInfo::Asked &a : result.asked)
        servers.append(QJsonObject{ { QStringLiteral("server"), a.server }, { QStringLiteral("protocol"), a.protocol } });
    const QJsonObject summary{
        { QStringLiteral("range"), result.netRange },   { QStringLiteral("cidr"), result.cidr },
        { QStringLiteral("owner"), result.owner },      { QStringLiteral("country"), result.country },
        { QStringLiteral("address"), result.address },
    };
    // The kinds a script can count on; a query that is none of them is "other".
    const QString kind = result.kind.isEmpty() || result.kind == QLatin1String("invalid") ? QStringLiteral("other")
                                                                                          : result.kind;
    const QJsonObject line{
        { QStringLiteral("query"), result.typed },
        { QStringLiteral("kind"), kind },
        { QStringLiteral("servers"), servers },
        { QStringLiteral("outcome"), answered(result) ? QStringLiteral("answered") : QStringLiteral("failed") },
        { QStringLiteral("summary"), summary },
        { QStringLiteral("text"), result.text },
    };
    return QJsonDocument(line).toJson(QJsonDocument::Compact);
}
