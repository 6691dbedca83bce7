#include "rdap/render.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include "rdap/objects.h"
#include "rdap/redactions.h"

namespace rdap {

using namespace detail;

namespace {

enum class Shape { None, Object, Search, Error, Help };

Shape shapeOf(const QJsonObject &top)
{
    if (!text(top.value(QLatin1String("objectClassName"))).isEmpty())
        return Shape::Object;
    for (auto it = top.begin(); it != top.end(); ++it) {
        if (it.key().endsWith(QLatin1String("SearchResults")) && it.value().isArray())
            return Shape::Search;
    }
    if (top.contains(QLatin1String("errorCode")))
        return Shape::Error;
    // A help reply holds nothing but notices; every reply should say what it conforms to.
    if (top.contains(QLatin1String("rdapConformance")) || top.contains(QLatin1String("notices")))
        return Shape::Help;
    return Shape::None;
}

bool parseReply(const QByteArray &body, QJsonObject *top, QString *error)
{
    if (body.trimmed().isEmpty()) {
        *error = QStringLiteral("Reply is not JSON: it is empty");
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("Reply is not JSON: %1 at byte %2").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("Not an RDAP reply: the JSON text is an array, not an object");
        return false;
    }
    *top = document.object();
    return true;
}

Style styleFor(const QString &objectClass)
{
    return objectClass == QLatin1String("domain") || objectClass == QLatin1String("nameserver") ? Style::Domain
                                                                                                 : Style::Number;
}

void renderObject(const Context &c, const QJsonObject &object, const QString &objectClass)
{
    if (objectClass == QLatin1String("domain"))
        renderDomain(c, object);
    else if (objectClass == QLatin1String("nameserver"))
        renderNameserver(c, object);
    else if (objectClass == QLatin1String("ip network"))
        renderNetwork(c, object);
    else if (objectClass == QLatin1String("autnum"))
        renderAutnum(c, object);
    else if (objectClass == QLatin1String("entity"))
        renderEntity(c, object, QString());
    else {
        c.out.field(QStringLiteral("Object Class"), objectClass);
        writeOtherMembers(c, object, {}, QString());
        writeComments(c, object);
    }
}

// One object under its own redactions, then what they left unshown.
void renderRedacted(Writer &out, const QJsonObject &object, const QString &objectClass, bool replyLevel)
{
    Redactions redactions(object.value(QLatin1String("redacted")));
    out.setRedactions(&redactions);
    renderObject(Context{out, styleFor(objectClass), 0, true, replyLevel}, object, objectClass);
    if (!redactions.isEmpty()) {
        out.paragraph();
        for (const QString &name : redactions.unshown())
            out.field(name, QString(), true);
        for (const QString &line : redactions.summaries())
            out.comment(QLatin1String("Redacted: ") + line);
    }
    out.setRedactions(nullptr);
}

QString impliedClass(const QString &member)
{
    if (member == QLatin1String("domainSearchResults"))
        return QStringLiteral("domain");
    if (member == QLatin1String("nameserverSearchResults"))
        return QStringLiteral("nameserver");
    if (member == QLatin1String("entitySearchResults"))
        return QStringLiteral("entity");
    if (member == QLatin1String("autnumSearchResults"))
        return QStringLiteral("autnum");
    if (member.startsWith(QLatin1String("ip")))
        return QStringLiteral("ip network");
    return QString();
}

void renderSearch(Writer &out, const QJsonObject &top)
{
    for (auto it = top.begin(); it != top.end(); ++it) {
        const QString key = it.key();
        if (key == QLatin1String("notices") || key == QLatin1String("rdapConformance") || key == QLatin1String("remarks"))
            continue;
        if (!key.endsWith(QLatin1String("SearchResults")) || !it.value().isArray()) {
            flatten(out, key, it.value());
            continue;
        }
        for (const QJsonValue &result : it.value().toArray()) {
            out.paragraph();
            if (!result.isObject()) {
                out.field(QStringLiteral("Search Result"), text(result));
                continue;
            }
            const QJsonObject object = result.toObject();
            QString objectClass = text(object.value(QLatin1String("objectClassName")));
            if (objectClass.isEmpty())
                objectClass = impliedClass(key);
            renderRedacted(out, object, objectClass, false);
        }
    }
    writeNotes(out, top.value(QLatin1String("remarks")));
}

void writeErrorLines(Writer &out, const QJsonObject &top)
{
    const QString title = scalarText(top.value(QLatin1String("title")));
    if (!title.trimmed().isEmpty())
        out.comment(title);
    for (const QJsonValue &line : listOf(top.value(QLatin1String("description"))))
        out.comment(scalarText(line));
}

void renderError(Writer &out, const QJsonObject &top)
{
    const Context c{out, Style::Number, 0, false, true};
    out.field(QStringLiteral("Error Code"), text(top.value(QLatin1String("errorCode"))));
    writeErrorLines(out, top);
    writeLinks(c, top.value(QLatin1String("links")), QStringLiteral("Link"));
    writeOtherMembers(c, top, {QLatin1String("errorCode"), QLatin1String("title"), QLatin1String("description"),
                               QLatin1String("links")},
                      QString());
    writeComments(c, top);
}

// What the reply says about itself: conformance, then each notice.
void renderReplyEnd(Writer &out, const QJsonObject &top)
{
    out.paragraph();
    if (top.contains(QLatin1String("rdapConformance")))
        flatten(out, QStringLiteral("rdapConformance"), top.value(QLatin1String("rdapConformance")));
    for (const QJsonValue &notice : listOf(top.value(QLatin1String("notices")))) {
        out.paragraph();
        writeNotes(out, notice);
    }
}

QString registrarLink(const QJsonObject &top)
{
    for (const QJsonValue &link : listOf(top.value(QLatin1String("links")))) {
        const QJsonObject object = link.toObject();
        const QString href = text(object.value(QLatin1String("href")));
        if (text(object.value(QLatin1String("rel"))).compare(QLatin1String("related"), Qt::CaseInsensitive) == 0
            && text(object.value(QLatin1String("type"))).startsWith(QLatin1String("application/rdap+json"), Qt::CaseInsensitive)
            && (href.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)
                || href.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)))
            return href;
    }
    return QString();
}

} // namespace

Rendered render(const QByteArray &body)
{
    Rendered result;
    QJsonObject top;
    if (!parseReply(body, &top, &result.error))
        return result;
    const Shape shape = shapeOf(top);
    if (shape == Shape::None) {
        result.error = QStringLiteral("Not an RDAP reply: no objectClassName, search results, errorCode or rdapConformance");
        return result;
    }

    Writer out;
    const QString objectClass = text(top.value(QLatin1String("objectClassName")));
    if (shape == Shape::Object) {
        renderRedacted(out, top, objectClass, true);
    } else if (shape == Shape::Search) {
        renderSearch(out, top);
    } else if (shape == Shape::Error) {
        renderError(out, top);
    } else {
        const Context c{out, Style::Number, 0, false, true};
        writeOtherMembers(c, top, {}, QString());
        writeComments(c, top);
    }
    renderReplyEnd(out, top);

    result.text = out.finish();
    if (result.text.isEmpty())
        result.text = QStringLiteral("% The reply holds no data.\n");
    result.ok = true;
    if (shape == Shape::Object && objectClass == QLatin1String("domain"))
        result.registrarLink = registrarLink(top);
    return result;
}

QString errorDetails(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return QString();
    Writer out;
    writeErrorLines(out, document.object());
    return out.finish();
}

} // namespace rdap
