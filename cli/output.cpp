#include "cli/output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Unicode's Bidi_Control characters.
bool isBidiControl(char16_t u)
{
    return u == 0x061c || u == 0x200e || u == 0x200f || (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069);
}

} // namespace

QString wellFormed(const QString &text)
{
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out.at(i).isHighSurrogate() && i + 1 < out.size() && out.at(i + 1).isLowSurrogate())
            ++i; // a pair
        else if (out.at(i).isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

QString escapeControls(const QString &text)
{
    const QString clean = wellFormed(text);
    QString out;
    out.reserve(clean.size());
    qsizetype plain = 0; // the first letter not yet copied
    for (qsizetype i = 0; i < clean.size(); ++i) {
        const char16_t u = clean.at(i).unicode();
        const bool control = (u < 0x20 && u != '\t' && u != '\n') || (u >= 0x7f && u <= 0x9f);
        if (!control && !isBidiControl(u))
            continue;
        // Runs of plain letters go over whole, which a reply of megabytes notices.
        out += QStringView(clean).sliced(plain, i - plain);
        plain = i + 1;
        if (control)
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            out += QLatin1String("\\u") + QString::number(uint(u), 16).toUpper().rightJustified(4, QLatin1Char('0'));
    }
    out += QStringView(clean).sliced(plain);
    return out;
}

bool answered(const LookupResult &result)
{
    return result.outcome == WhoisInfo::Outcome::Answered;
}

QString answerWarning(const LookupResult &result)
{
    // The engine's words for a reply it kept although it was cut off at
    // 4 MiB or after 30 s: "Reply from <server> cut off ...".
    const bool cut = result.status.startsWith(QLatin1String("Reply from ")) && result.status.contains(QLatin1String(" cut off "));
    return answered(result) && cut ? result.status : QString();
}

QString factsText(const LookupResult &result)
{
    const analysis::Facts &facts = result.facts;
    // The IANA ID is shown with the registrar, where there is one.
    const auto shown = [&facts](const analysis::Fact &f) {
        return f.name != QLatin1String("registrar_iana_id") || !facts.find(QStringLiteral("registrar"));
    };
    qsizetype width = 0;
    for (const analysis::Fact &f : facts.items)
        if (shown(f))
            width = qMax(width, f.label.size());
    QString out;
    for (const analysis::Fact &f : facts.items) {
        if (!shown(f))
            continue;
        QString value = f.values.join(QLatin1String(", "));
        if (f.name == QLatin1String("registrar"))
            if (const QString id = facts.value(QStringLiteral("registrar_iana_id")); !id.isEmpty())
                value += QLatin1String(" (IANA ") + id + QLatin1Char(')');
        out += f.label.leftJustified(width + 2) + value + QLatin1Char('\n');
    }
    return escapeControls(out);
}

namespace {

// name -> a string, or an array where the fact has several values (name
// servers, status codes, prefixes); "expires" as given, and as UTC ISO.
QJsonObject factsObject(const analysis::Facts &facts)
{
    QJsonObject object;
    for (const analysis::Fact &f : facts.items) {
        if (f.values.size() == 1) {
            object.insert(f.name, wellFormed(f.values.first()));
            continue;
        }
        QJsonArray values;
        for (const QString &v : f.values)
            values.append(wellFormed(v));
        object.insert(f.name, values);
    }
    if (facts.expires.isValid())
        object.insert(QStringLiteral("expires_utc"), facts.expires.toString(Qt::ISODate));
    return object;
}

QJsonArray hopsArray(const QList<net::HopRecord> &hops)
{
    QJsonArray out;
    for (const net::HopRecord &h : hops)
        out.append(QJsonObject{ { QStringLiteral("server"), wellFormed(h.server) },
                                { QStringLiteral("protocol"), h.protocol },
                                { QStringLiteral("ms"), h.ms },
                                { QStringLiteral("outcome"), net::outcomeName(h.outcome) } });
    return out;
}

} // namespace

QByteArray jsonLine(const LookupResult &result)
{
    // Qt writes a lone surrogate as "\ud800", which strict readers refuse.
    const auto s = [](const QString &text) { return QJsonValue(wellFormed(text)); };
    QJsonArray servers;
    for (const WhoisInfo::Asked &a : result.asked)
        servers.append(QJsonObject{ { QStringLiteral("server"), s(a.server) }, { QStringLiteral("protocol"), s(a.protocol) } });
    const QJsonObject summary{
        { QStringLiteral("range"), s(result.netRange) },   { QStringLiteral("cidr"), s(result.cidr) },
        { QStringLiteral("owner"), s(result.owner) },      { QStringLiteral("country"), s(result.country) },
        { QStringLiteral("address"), s(result.address) },
    };
    // The kinds a script can count on; a query that is none of them is "other".
    const QString kind = result.kind.isEmpty() || result.kind == QLatin1String("invalid") ? QStringLiteral("other")
                                                                                          : result.kind;
    const QJsonObject line{
        { QStringLiteral("query"), s(result.typed) },
        { QStringLiteral("kind"), kind },
        { QStringLiteral("servers"), servers },
        { QStringLiteral("outcome"), answered(result) ? QStringLiteral("answered") : QStringLiteral("failed") },
        { QStringLiteral("summary"), summary },
        { QStringLiteral("facts"), factsObject(result.facts) },
        { QStringLiteral("hops"), hopsArray(result.hops) },
        { QStringLiteral("text"), s(result.text) },
    };
    return QJsonDocument(line).toJson(QJsonDocument::Compact);
}
