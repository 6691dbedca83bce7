#include "lookup/kept.h"

#include <QCoreApplication>
#include <QHash>
#include <QHostAddress>
#include <QMutex>

#include "analysis/ranges.h"
#include "route/query.h"
#include "store/answerstore.h"
#include "whois/refusal.h"

namespace kept {

namespace {

// What an answer is kept under: the query as the lookup asks it (a name
// cut to its registrable domain, an AS number as "as" and its number).
// Words with blanks and what no route serves are not kept.
struct Key
{
    QString key;
    QString kind;
    QHostAddress address; // an address query's address, else null
};

std::optional<Key> keyOf(const QString &typed)
{
    const QString clean = WhoisInfo::cleanQuery(typed);
    if (clean.isEmpty())
        return std::nullopt;
    const route::Query q = route::classify(clean);
    Key k;
    k.kind = route::kindName(q.kind);
    switch (q.kind) {
    case route::Kind::IPv4:
    case route::Kind::IPv6:
        k.address = QHostAddress(q.text);
        k.key = q.text.toLower();
        break;
    case route::Kind::Asn:
        k.key = QLatin1String("as") + q.text;
        break;
    case route::Kind::Cidr:
    case route::Kind::Handle:
    case route::Kind::Tld:
    case route::Kind::Domain:
        k.key = q.text.toLower();
        break;
    default:
        return std::nullopt;
    }
    return k;
}

// Held for the whole run: the store says its notice once in its life, and
// opening it anew for every lookup would cost what it saves.
std::shared_ptr<store::AnswerStore> storeFor(const WhoisEndpoints &endpoints)
{
    static QMutex mutex;
    static QHash<QString, std::shared_ptr<store::AnswerStore>> held;
    const QString path = storePath(endpoints);
    const QMutexLocker lock(&mutex);
    if (held.isEmpty()) {
        // Closed with the application, while Qt's SQL drivers are still there.
        qAddPostRoutine([] {
            const QMutexLocker lock(&mutex);
            held.clear();
        });
    }
    std::shared_ptr<store::AnswerStore> &answers = held[path];
    if (!answers)
        answers = store::AnswerStore::open(path);
    return answers;
}

LookupResult resultOf(const store::Answer &a, const QString &typed, const WhoisEndpoints &endpoints)
{
    LookupResult r;
    r.typed = typed;
    r.kind = a.kind;
    r.query = WhoisInfo::cleanQuery(typed).toLower();
    r.response = a.response;
    r.text = a.text;
    r.netRange = a.netRange;
    r.cidr = a.cidr;
    r.owner = a.owner;
    r.country = a.country;
    r.address = a.address;
    r.replyIsUtf8 = a.utf8;
    r.outcome = WhoisInfo::Outcome::Answered;
    for (int i = 0; i < a.servers.size(); ++i)
        r.asked.append({ a.servers.at(i), a.protocols.value(i, QStringLiteral("whois")) });
    // RDAP's rendered text uses whois's keys, so a kept answer gives the
    // facts it gave when it was asked.
    r.facts = factsOfText(a.response, a.kind, r.asked);
    r.stored = true;
    r.fetched = a.fetched;
    const QString server = a.servers.isEmpty() ? QStringLiteral("the servers") : a.servers.last();
    r.status = QLatin1String("Saved answer from ") + server + QLatin1String(", ")
               + ageText(a.fetched.secsTo(now(endpoints))) + QLatin1String(" old");
    return r;
}

} // namespace

bool inUse(const WhoisEndpoints &endpoints, const LookupOptions &options)
{
    return endpoints.keepAnswers && options.firstServer.isEmpty();
}

QString storePath(const WhoisEndpoints &endpoints)
{
    return endpoints.answerStorePath.isEmpty() ? store::AnswerStore::defaultPath() : endpoints.answerStorePath;
}

QDateTime now(const WhoisEndpoints &endpoints)
{
    return endpoints.now ? endpoints.now() : QDateTime::currentDateTimeUtc();
}

QString ageText(qint64 seconds)
{
    const auto counted = [](qint64 n, const char *unit) {
        return QString::number(n) + QLatin1Char(' ') + QLatin1String(unit) + (n == 1 ? QString() : QStringLiteral("s"));
    };
    if (seconds < 60)
        return QStringLiteral("less than a minute");
    if (seconds < 3600)
        return counted(seconds / 60, "minute");
    if (seconds < 24 * 3600)
        return counted(seconds / 3600, "hour");
    return counted(seconds / (24 * 3600), "day");
}

std::optional<LookupResult> find(const QString &typed, const WhoisEndpoints &endpoints, const LookupOptions &options,
                                 QString &notice)
{
    if (options.fresh || !inUse(endpoints, options))
        return std::nullopt;
    const std::optional<Key> k = keyOf(typed);
    if (!k)
        return std::nullopt;
    const auto answers = storeFor(endpoints);
    if (!answers)
        return std::nullopt;
    const QDateTime notBefore = now(endpoints).addSecs(-options.maxAgeS);
    std::optional<store::Answer> a = answers->findByKey(k->key, notBefore);
    if (!a && !k->address.isNull())
        a = answers->findByAddress(k->address, notBefore);
    // A damaged file moved aside is said at the first lookup, answered or not.
    if (const QString said = answers->takeNotice(); !said.isEmpty())
        notice = said;
    if (!a)
        return std::nullopt;
    return resultOf(*a, typed, endpoints);
}

void keep(LookupResult &result, bool noRecord, bool hopFailed, const WhoisEndpoints &endpoints,
          const LookupOptions &options)
{
    if (result.outcome == WhoisInfo::Outcome::Answered)
        result.fetched = now(endpoints);
    if (!inUse(endpoints, options) || noRecord || hopFailed || result.outcome != WhoisInfo::Outcome::Answered
        || result.response.isEmpty() || saysNoRecord(result.response))
        return;
    const std::optional<Key> k = keyOf(result.typed);
    const auto answers = k ? storeFor(endpoints) : nullptr;
    if (!answers)
        return;
    store::Answer a;
    a.key = k->key;
    a.kind = k->kind;
    for (const WhoisInfo::Asked &asked : std::as_const(result.asked)) {
        a.servers.append(asked.server);
        a.protocols.append(asked.protocol);
    }
    a.fetched = result.fetched;
    a.response = result.response;
    a.utf8 = result.replyIsUtf8;
    a.text = result.text;
    a.netRange = result.netRange;
    a.cidr = result.cidr;
    a.owner = result.owner;
    a.country = result.country;
    a.address = result.address;
    if (!k->address.isNull()) {
        // A range too wide to stand for its addresses (a registry's whole
        // block) keeps the answer for this address alone.
        const std::optional<analysis::AddressRange> range = analysis::smallestRangeHolding(result.response, k->address);
        if (range && analysis::rangeNarrowEnough(*range)) {
            a.rangeStart = range->start;
            a.rangeEnd = range->end;
        }
    }
    answers->put(a);
    if (const QString notice = answers->takeNotice(); !notice.isEmpty())
        result.notice = notice;
}

QString clear(const WhoisEndpoints &endpoints)
{
    const auto answers = storeFor(endpoints);
    if (!answers)
        return QStringLiteral("the saved answers cannot be opened");
    return answers->clear() ? QString() : answers->error();
}

} // namespace kept
