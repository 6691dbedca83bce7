#ifndef VANTOR_RDAP_OBJECTS_H
#define VANTOR_RDAP_OBJECTS_H

#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1String>
#include <QString>

#include <initializer_list>

#include "rdap/writer.h"

namespace rdap::detail {

// Domains, nameservers and their contacts read like a gTLD registry's whois
// ("Registrant Email:"); networks, AS numbers and entities like ARIN's
// ("OrgName:", "OrgTechEmail:").
enum class Style { Domain, Number };

// Objects inside objects (an entity's entities, an entity's networks) are
// followed this deep, and other nested members flattened this deep: a hostile
// reply may nest a thousand levels, which the JSON parser still accepts.
constexpr int kMaxObjectDepth = 8;
constexpr int kMaxFlattenDepth = 12;

struct Context
{
    Writer &out;
    Style style;
    int depth = 0;
    bool topLevel = false;   // the reply's object or a search result: names its class, owns "redacted"
    bool replyLevel = false; // the reply's own object: notices and rdapConformance come at the end

    // For an object inside this one.
    Context child(Style childStyle) const { return Context{out, childStyle, depth + 1, false, false}; }
};

// Members written the same way in every object (common.cpp).
QString text(const QJsonValue &value);
void writeObjectClass(const Context &c, const QJsonObject &object, QLatin1String expected, const QString &prefix);
void writeEvents(const Context &c, const QJsonValue &events, const QString &prefix, bool registryDomain);
void writeList(const Context &c, const QJsonValue &values, const QString &key);
void writeLinks(const Context &c, const QJsonValue &links, const QString &key);
void writePublicIds(const Context &c, const QJsonValue &ids, const QString &prefix);
void writeNotes(Writer &out, const QJsonValue &notes); // remarks and notices, as comments
void writeComments(const Context &c, const QJsonObject &object);
void flatten(Writer &out, const QString &key, const QJsonValue &value, int depth = 0);
void writeOtherMembers(const Context &c, const QJsonObject &object, std::initializer_list<QLatin1String> known,
                       const QString &prefix);
bool tooDeep(const Context &c, const QString &what);

// The values of a member that should list objects: each object rendered by
// render (in a paragraph of its own when ownParagraph), any other value
// shown as "plainKey: value", so that nothing the server sent is hidden.
template <typename Render>
void writeEach(const Context &c, const QJsonValue &list, bool ownParagraph, const QString &plainKey, Render render)
{
    for (const QJsonValue &value : listOf(list)) {
        if (ownParagraph)
            c.out.paragraph();
        if (value.isObject())
            render(value.toObject());
        else
            c.out.field(plainKey, text(value));
    }
}

// One object each; the caller starts the paragraph.
void renderDomain(const Context &c, const QJsonObject &domain);
void renderNameserver(const Context &c, const QJsonObject &nameserver);
void renderNetwork(const Context &c, const QJsonObject &network);
void renderAutnum(const Context &c, const QJsonObject &autnum);
void renderEntity(const Context &c, const QJsonObject &entity, const QString &parentPrefix);

} // namespace rdap::detail

#endif
