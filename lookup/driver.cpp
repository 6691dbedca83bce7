#include "lookup/driver.h"

#include <QUrl>

#include "net/pacer.h"
#include "lookup/plan.h"
#include "rdap/bootstrap.h"
#include "rdap/client.h"
#include "rdap/facts.h"
#include "rdap/refresh.h"
#include "rdap/render.h"
#include "whois/whoisinfo.h"

namespace {

struct RdapAnswer
{
    enum Kind { Answered, Failed, Stopped, NotServed };
    Kind kind = NotServed;
    bool found = false;    // Answered: a record, not "no record"
    QString status;        // one line for the status bar
    QString text;          // Answered: the reply as text; Failed: the error's details, if any
    QString registrarLink; // a registry's pointer to the registrar's record
    bool refused = false;  // Failed: a hop a server chose was not taken
    QUrl url;              // where the reply came from
    QHostAddress peer;     // the address it came from
    analysis::Facts facts; // Answered: read from the JSON itself
};

bool rdapServes(route::Kind kind)
{
    using route::Kind;
    return kind == Kind::Domain || kind == Kind::IPv4 || kind == Kind::IPv6 || kind == Kind::Cidr
           || kind == Kind::Asn || kind == Kind::Handle;
}

QString rdapPath(const route::Query &q)
{
    switch (q.kind) {
    case route::Kind::Domain: return QLatin1String("domain/") + q.text;
    case route::Kind::Asn: return QLatin1String("autnum/") + q.text;
    case route::Kind::Handle: return QLatin1String("entity/") + q.text.toUpper();
    default: return QLatin1String("ip/") + q.text;
    }
}

QString detailsOf(const QString &status, const QByteArray &body)
{
    return QLatin1String("% ") + status + QLatin1Char('\n') + rdap::errorDetails(body);
}

// Runs one lookup through the engine, which holds its result.
class Driver
{
public:
    Driver(WhoisInfo &engine, const LookupOptions &options)
        : m_engine(engine), m_options(options)
    {
    }

    void run(const WhoisRoute &route);
    bool noRecord() const { return m_noRecord; }
    // The facts of the answer the engine holds: RDAP's own where RDAP
    // answered, else the whois reply's.
    analysis::Facts facts() const;

private:
    RdapAnswer askRdap(const WhoisRoute &route);
    RdapAnswer rdapRequest(const QUrl &url, const QString &query, const RdapAnswer *linkedFrom = nullptr);
    static RdapAnswer answerOf(const rdap::Fetched &f, const QUrl &url, const QString &query);
    rdap::Fetched fetch(const QUrl &url, const rdap::FetchOptions &options);
    int pauseAskedFor(const rdap::Fetched &f, const rdap::FetchOptions &options) const;
    std::optional<QString> takeRdap(const RdapAnswer &answer, const WhoisRoute &route);
    std::optional<QString> rdapAfterWhois(const WhoisRoute &route, const std::optional<QString> &whoisStatus);

    WhoisInfo &m_engine;
    LookupOptions m_options;
    bool m_noRecord = false;
    std::optional<analysis::Facts> m_rdapFacts; // set while RDAP's answer is the one shown
};

} // namespace

void Driver::run(const WhoisRoute &r)
{
    const bool rdapToo = rdapServes(r.kind) && m_options.firstServer.isEmpty();
    std::optional<QString> status;
    bool rdapAsked = false;
    if (rdapToo && (m_options.preferRdap || r.server.isEmpty())) {
        rdapAsked = true;
        status = takeRdap(askRdap(r), r);
        // Preferred but failed: whois still has its say.
        if (m_engine.outcome == WhoisInfo::Outcome::Failed && !r.server.isEmpty()) {
            if (status)
                m_engine.showProgress(*status); // why RDAP gave way
            status.reset();
            m_engine.response.clear();
        }
    }
    if (!status && r.server.isEmpty()) {
        m_engine.response = r.explanation;
        m_engine.outcome = WhoisInfo::Outcome::Failed;
        status = r.refusal;
    } else if (!status) {
        status = m_engine.followChain(r);
        if (rdapToo && !rdapAsked && (m_engine.outcome == WhoisInfo::Outcome::Failed || m_engine.hopFailed()))
            status = rdapAfterWhois(r, status);
    }
    m_engine.finish(status, r);
}

// Puts RDAP's answer in place; returns the status to show, or nothing
// where RDAP knows no service (the caller decides then).
std::optional<QString> Driver::takeRdap(const RdapAnswer &a, const WhoisRoute &r)
{
    m_rdapFacts.reset();
    switch (a.kind) {
    case RdapAnswer::Stopped:
        m_engine.outcome = WhoisInfo::Outcome::Stopped;
        return QStringLiteral("Lookup stopped");
    case RdapAnswer::NotServed:
        m_engine.outcome = WhoisInfo::Outcome::Failed;
        return r.server.isEmpty() ? std::nullopt : std::optional<QString>(a.status);
    case RdapAnswer::Failed:
        m_engine.outcome = WhoisInfo::Outcome::Failed;
        m_engine.response = a.text.isEmpty() ? r.explanation : a.text;
        m_engine.replyIsUtf8 = true; // RDAP's error details, or our own text
        return a.status;
    case RdapAnswer::Answered:
        break;
    }
    m_engine.outcome = WhoisInfo::Outcome::Answered;
    m_noRecord = !a.found;
    m_rdapFacts = a.facts;
    m_engine.response = a.text;
    m_engine.replyIsUtf8 = true;
    m_engine.clearSummary();
    m_engine.summarise();
    return a.status;
}

// Whois failed, or a referral hop of it did: RDAP is m_engine.asked the same. Where
// RDAP fails too, a reply whois did get stays, with whois's status; so it
// does where RDAP has no record after a failed hop, for the registry's
// reply is the better answer then.
std::optional<QString> Driver::rdapAfterWhois(const WhoisRoute &r, const std::optional<QString> &whoisStatus)
{
    const QString keptResponse = m_engine.response;
    const bool keptUtf8 = m_engine.replyIsUtf8;
    const QString kept[] = { m_engine.netRange, m_engine.cidr, m_engine.address, m_engine.country, m_engine.owner };
    const WhoisInfo::Outcome keptOutcome = m_engine.outcome;
    const QString keptStatus = m_engine.status; // a connection failure shows no status of its own at the end
    const RdapAnswer a = askRdap(r);
    const bool noRecord = a.kind == RdapAnswer::Answered && !a.found;
    const bool keepWhois = a.kind == RdapAnswer::NotServed
                           || (a.kind == RdapAnswer::Failed && (m_engine.hopFailed() || a.text.isEmpty()))
                           || (noRecord && m_engine.hopFailed());
    if (!keepWhois)
        return takeRdap(a, r);
    m_rdapFacts.reset();
    m_engine.response = keptResponse;
    m_engine.replyIsUtf8 = keptUtf8;
    m_engine.netRange = kept[0];
    m_engine.cidr = kept[1];
    m_engine.address = kept[2];
    m_engine.country = kept[3];
    m_engine.owner = kept[4];
    m_engine.outcome = keptOutcome;
    if (a.kind == RdapAnswer::NotServed)
        return whoisStatus ? whoisStatus : std::optional<QString>(keptStatus);
    if (!m_engine.hopFailed())
        return a.status;
    // Both failures: the hop's, and RDAP's after it.
    const QString whois = whoisStatus ? *whoisStatus : keptStatus;
    return whois.isEmpty() ? a.status : whois + QLatin1String("; RDAP: ") + a.status;
}

RdapAnswer Driver::askRdap(const WhoisRoute &r)
{
    QStringList bases;
    if (m_engine.endpoints().rdapServices) {
        bases = m_engine.endpoints().rdapServices(r.parsed);
    } else {
        rdap::refreshOncePerRun(m_engine.endpoints().rdapBootstrapBase, rdap::defaultCacheFolder(), m_engine.endpoints().resolve,
                                m_engine.endpoints().proxy);
        bases = rdap::serviceFor(r.parsed);
    }
    if (bases.isEmpty()) {
        RdapAnswer none;
        none.status = QLatin1String("No RDAP service is known for ") + r.query;
        return none;
    }
    const QUrl url(bases.first() + rdapPath(r.parsed));
    RdapAnswer a = rdapRequest(url, r.query);
    const QUrl link(a.registrarLink);
    if (a.kind != RdapAnswer::Answered || a.registrarLink.isEmpty() || rdap::sameResource(link, url)
        || rdap::sameResource(link, a.url))
        return a;
    // The registry points to the registrar's record, as whois refers to
    // the registrar's server; m_engine.asked once, and only where the registry's
    // reply may send us (rdap::fetch checks the hop).
    const RdapAnswer registrar = rdapRequest(link, r.query, &a);
    if (registrar.kind == RdapAnswer::Stopped || (registrar.kind == RdapAnswer::Answered && registrar.found))
        return registrar;
    a.status = registrar.refused ? registrar.status + QLatin1String("; the registry's reply is shown")
                                 : QLatin1String("The registrar's RDAP service failed (") + registrar.status
                                       + QLatin1String("); the registry's reply is shown");
    return a;
}

RdapAnswer Driver::rdapRequest(const QUrl &url, const QString &query, const RdapAnswer *linkedFrom)
{
    const std::optional<net::Proxy> via = m_engine.endpoints().proxy.forUrl(url).proxy;
    m_engine.showProgress(QLatin1String("Asking RDAP: ") + url.toString()
                          + (via ? QLatin1String(" through ") + via->name() : QString()));
    m_engine.asked.append({ url.host(), QStringLiteral("rdap") });
    rdap::FetchOptions options;
    options.proxy = m_engine.endpoints().proxy;
    options.extraCaCertificates = m_engine.endpoints().extraCaCertificates;
    options.stopRequested = [this] { return m_engine.stopRequested(); };
    options.resolve = m_engine.endpoints().resolve;
    options.isPublic = m_engine.endpoints().isPublicAddress;
    options.spacingMs = m_engine.endpoints().serverSpacingMs;
    options.progress = [this](const QString &message) { m_engine.showProgress(message); };
    if (linkedFrom) {
        options.referrer = linkedFrom->url;
        options.referrerAddress = linkedFrom->peer;
    }
    const qsizetype hopsBefore = m_engine.hops.size();
    const rdap::Fetched f = fetch(url, options);
    RdapAnswer a = answerOf(f, url, query);
    if (m_engine.hops.size() > hopsBefore)
        m_engine.hops.last().reply = a.text; // the hop that answered: redirects come before it
    if (a.kind == RdapAnswer::Answered && a.found)
        a.facts = rdap::factsOf(f.body);
    if (f.outcome == rdap::Fetched::Refused && f.url == url)
        m_engine.asked.removeLast(); // refused before anything went there
    return a;
}

RdapAnswer Driver::answerOf(const rdap::Fetched &f, const QUrl &url, const QString &query)
{
    RdapAnswer a;
    const QString host = f.url.host().isEmpty() ? url.host() : f.url.host();
    if (f.outcome == rdap::Fetched::Stopped) {
        a.kind = RdapAnswer::Stopped;
        return a;
    }
    a.kind = RdapAnswer::Failed;
    a.url = f.url;
    a.peer = f.peer;
    if (f.outcome != rdap::Fetched::Answered) {
        a.refused = f.outcome == rdap::Fetched::Refused;
        a.status = f.message;
        return a;
    }
    if (f.status >= 200 && f.status < 300) {
        const rdap::Rendered rendered = rdap::render(f.body);
        if (!rendered.ok) {
            a.status = host + QLatin1String(": ") + rendered.error;
            return a;
        }
        a.kind = RdapAnswer::Answered;
        a.found = true;
        a.text = rendered.text;
        a.registrarLink = rendered.registrarLink;
        return a;
    }
    if (f.status == 404) {
        a.kind = RdapAnswer::Answered;
        a.status = QLatin1String("No record of ") + query + QLatin1String(" at ") + host;
    } else if (f.status == 429) {
        a.status = QLatin1String("Rate limited by ") + host
                   + (f.retryAfter.isEmpty() ? QString() : QLatin1String(", try again after ") + f.retryAfter
                                                               + (f.retryAfter.toInt() > 0 ? QLatin1String(" s") : QString()));
    } else if (f.status >= 500) {
        a.status = host + QLatin1String(" failed: HTTP ") + QString::number(f.status);
    } else {
        a.status = host + QLatin1String(" refused the query: HTTP ") + QString::number(f.status);
    }
    a.text = detailsOf(a.status, f.body);
    return a;
}

// One request and its hops. A server that says to slow down for a while is
// left alone that long; a batch then asks it once more.
rdap::Fetched Driver::fetch(const QUrl &url, const rdap::FetchOptions &options)
{
    rdap::Fetched f = rdap::fetch(url, options);
    m_engine.hops += f.hops;
    const int seconds = pauseAskedFor(f, options);
    if (seconds < 0 || !m_options.backOff)
        return f;
    m_engine.showProgress(QLatin1String("Rate limited by ") + f.url.host() + QLatin1String("; asking again in ")
                          + QString::number(seconds) + QLatin1String(" s"));
    if (!net::pauseFor(seconds * 1000, options.stopRequested)) {
        f.outcome = rdap::Fetched::Stopped;
        return f;
    }
    rdap::Fetched again = rdap::fetch(url, options);
    m_engine.hops += again.hops;
    pauseAskedFor(again, options);
    return again;
}

// The pause an HTTP 429 asks for, in seconds, the server held that long;
// -1 where none is asked, or one too long to wait for.
int Driver::pauseAskedFor(const rdap::Fetched &f, const rdap::FetchOptions &options) const
{
    if (f.outcome != rdap::Fetched::Answered || f.status != 429)
        return -1;
    const int seconds = rdap::retryAfterSeconds(f.retryAfter, QDateTime::currentDateTimeUtc());
    if (seconds < 0 || seconds > LookupOptions::kMaxRetryAfterS)
        return -1;
    if (options.spacingMs > 0)
        net::Pacer::shared().hold(rdap::serverOf(f.url), seconds * 1000);
    return seconds;
}

analysis::Facts Driver::facts() const
{
    if (m_rdapFacts) {
        analysis::Facts f = *m_rdapFacts;
        f.setSource(sourceOf(m_engine.asked));
        return f;
    }
    return factsOfText(m_engine.response, m_engine.kind, m_engine.asked);
}

QString sourceOf(const QList<WhoisInfo::Asked> &asked)
{
    if (asked.isEmpty())
        return QString();
    QString source = asked.last().server + QLatin1String(" (") + asked.last().protocol + QLatin1Char(')');
    QStringList before;
    for (qsizetype i = 0; i + 1 < asked.size(); ++i)
        if (!before.contains(asked.at(i).server) && asked.at(i).server != asked.last().server)
            before.append(asked.at(i).server);
    return before.isEmpty() ? source : source + QLatin1String(", after ") + before.join(QLatin1String(", "));
}

analysis::Facts factsOfText(const QString &text, const QString &kind, const QList<WhoisInfo::Asked> &asked)
{
    analysis::Facts f = analysis::whoisFacts(text, kind);
    f.setSource(sourceOf(asked));
    return f;
}

analysis::Facts runLookup(WhoisInfo &engine, const QString &typed, const LookupOptions &options, bool *noRecord)
{
    engine.firstServer = options.firstServer;
    engine.retryRefused = options.backOff;
    engine.firstPort = options.firstPort;
    std::optional<WhoisRoute> route = engine.prepare(typed, QString());
    if (!route)
        return {};
    planFirstHop(*route, engine.endpoints(), !options.firstServer.isEmpty());
    Driver driver(engine, options);
    driver.run(*route);
    if (noRecord)
        *noRecord = driver.noRecord();
    return driver.facts();
}

void finishBackgroundWork(int graceMs)
{
    rdap::finishRefresh(graceMs);
}
