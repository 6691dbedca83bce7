// The one place that chooses between whois and RDAP: whois first, RDAP where
// whois has nothing (no port-43 server, a server that fails, a registrar
// whose whois is gone), or RDAP first when the user prefers it.

#include <QUrl>

#include "rdap/bootstrap.h"
#include "rdap/client.h"
#include "rdap/refresh.h"
#include "rdap/render.h"
#include "whois/whoisinfo.h"

struct WhoisInfo::RdapAnswer
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
};

namespace {

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

} // namespace

void WhoisInfo::lookup(QString query, QString server)
{
    query = cleanQuery(query);
    asked.clear();
    kind.clear();
    m_hopFailed = false;
    if (query.isEmpty()) {
        response.clear();
        outcome = Outcome::None;
        return;
    }

    WhoisRoute r;
    if (!server.isEmpty()) {
        // A hop asked for by name: the query goes there as it is.
        r.server = server;
        r.query = query.toLower();
        r.line = r.query + QLatin1Char('\n');
    } else {
        r = route(query);
        kind = route::kindName(r.kind);
        if (!firstServer.isEmpty() && r.kind != route::Kind::Invalid) {
            r.server = firstServer;
            r.viaSuffix = false;
        }
        r.port = firstPort;
        if (r.kind == route::Kind::Invalid) {
            // A slip of the keyboard costs nothing: the last result stays.
            outcome = Outcome::Refused;
            showProgress(r.refusal);
            return;
        }
        clearSummary();
        this->query = query.toLower();
    }
    response.clear();
    replyIsUtf8 = false;
    lookupNew(r);
}

void WhoisInfo::lookupNew(const WhoisRoute &r)
{
    const bool rdapToo = rdapServes(r.kind) && firstServer.isEmpty();
    std::optional<QString> status;
    bool rdapAsked = false;
    if (rdapToo && (preferRdap || r.server.isEmpty())) {
        rdapAsked = true;
        status = takeRdap(askRdap(r), r);
        // Preferred but failed: whois still has its say.
        if (outcome == Outcome::Failed && !r.server.isEmpty()) {
            if (status)
                showProgress(*status); // why RDAP gave way
            status.reset();
            response.clear();
        }
    }
    if (!status && r.server.isEmpty()) {
        response = r.explanation;
        outcome = Outcome::Failed;
        status = r.refusal;
    } else if (!status) {
        status = followChain(r);
        if (rdapToo && !rdapAsked && (outcome == Outcome::Failed || m_hopFailed))
            status = rdapAfterWhois(r, status);
    }
    if (status && status->isEmpty() && !r.reducedFrom.isEmpty())
        status = QLatin1String("Asked for ") + r.query + QLatin1String(", the registered domain of ") + r.reducedFrom;
    if (status)
        showProgress(*status);
}

// Puts RDAP's answer in place; returns the status to show, or nothing
// where RDAP knows no service (the caller decides then).
std::optional<QString> WhoisInfo::takeRdap(const RdapAnswer &a, const WhoisRoute &r)
{
    switch (a.kind) {
    case RdapAnswer::Stopped:
        outcome = Outcome::Stopped;
        return QStringLiteral("Lookup stopped");
    case RdapAnswer::NotServed:
        outcome = Outcome::Failed;
        return r.server.isEmpty() ? std::nullopt : std::optional<QString>(a.status);
    case RdapAnswer::Failed:
        outcome = Outcome::Failed;
        response = a.text.isEmpty() ? r.explanation : a.text;
        replyIsUtf8 = true; // RDAP's error details, or our own text
        return a.status;
    case RdapAnswer::Answered:
        break;
    }
    outcome = Outcome::Answered;
    response = a.text;
    replyIsUtf8 = true;
    clearSummary();
    summarise();
    return a.status;
}

// Whois failed, or a referral hop of it did: RDAP is asked the same. Where
// RDAP fails too, a reply whois did get stays, with whois's status; so it
// does where RDAP has no record after a failed hop, for the registry's
// reply is the better answer then.
std::optional<QString> WhoisInfo::rdapAfterWhois(const WhoisRoute &r, const std::optional<QString> &whoisStatus)
{
    const QString keptResponse = response;
    const bool keptUtf8 = replyIsUtf8;
    const QString kept[] = { netRange, cidr, address, country, owner };
    const Outcome keptOutcome = outcome;
    const QString keptStatus = status; // a connection failure shows no status of its own at the end
    const RdapAnswer a = askRdap(r);
    const bool noRecord = a.kind == RdapAnswer::Answered && !a.found;
    const bool keepWhois = a.kind == RdapAnswer::NotServed
                           || (a.kind == RdapAnswer::Failed && (m_hopFailed || a.text.isEmpty()))
                           || (noRecord && m_hopFailed);
    if (!keepWhois)
        return takeRdap(a, r);
    response = keptResponse;
    replyIsUtf8 = keptUtf8;
    netRange = kept[0];
    cidr = kept[1];
    address = kept[2];
    country = kept[3];
    owner = kept[4];
    outcome = keptOutcome;
    if (a.kind == RdapAnswer::NotServed)
        return whoisStatus ? whoisStatus : std::optional<QString>(keptStatus);
    if (!m_hopFailed)
        return a.status;
    // Both failures: the hop's, and RDAP's after it.
    const QString whois = whoisStatus ? *whoisStatus : keptStatus;
    return whois.isEmpty() ? a.status : whois + QLatin1String("; RDAP: ") + a.status;
}

WhoisInfo::RdapAnswer WhoisInfo::askRdap(const WhoisRoute &r)
{
    QStringList bases;
    if (m_endpoints.rdapServices) {
        bases = m_endpoints.rdapServices(r.parsed);
    } else {
        rdap::refreshOncePerRun(m_endpoints.rdapBootstrapBase, rdap::defaultCacheFolder(), m_endpoints.resolve);
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
    // the registrar's server; asked once, and only where the registry's
    // reply may send us (rdap::fetch checks the hop).
    const RdapAnswer registrar = rdapRequest(link, r.query, &a);
    if (registrar.kind == RdapAnswer::Stopped || (registrar.kind == RdapAnswer::Answered && registrar.found))
        return registrar;
    a.status = registrar.refused ? registrar.status + QLatin1String("; the registry's reply is shown")
                                 : QLatin1String("The registrar's RDAP service failed (") + registrar.status
                                       + QLatin1String("); the registry's reply is shown");
    return a;
}

WhoisInfo::RdapAnswer WhoisInfo::rdapRequest(const QUrl &url, const QString &query, const RdapAnswer *linkedFrom)
{
    showProgress(QLatin1String("Asking RDAP: ") + url.toString());
    asked.append({ url.host(), QStringLiteral("rdap") });
    rdap::FetchOptions options;
    options.extraCaCertificates = m_endpoints.extraCaCertificates;
    options.stopRequested = [this] { return stopRequested(); };
    options.resolve = m_endpoints.resolve;
    options.isPublic = m_endpoints.isPublicAddress;
    if (linkedFrom) {
        options.referrer = linkedFrom->url;
        options.referrerAddress = linkedFrom->peer;
    }
    const rdap::Fetched f = rdap::fetch(url, options);

    RdapAnswer a;
    const QString host = f.url.host().isEmpty() ? url.host() : f.url.host();
    if (f.outcome == rdap::Fetched::Stopped) {
        a.kind = RdapAnswer::Stopped;
        return a;
    }
    a.kind = RdapAnswer::Failed;
    a.url = f.url;
    a.peer = f.peer;
    if (f.outcome == rdap::Fetched::Refused && f.url == url)
        asked.removeLast(); // refused before anything went there
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
