#include "analysis/extract.h"
#include "net/pacer.h"
#include "route/tldtable.h"
#include "whois/chain.h"
#include "whois/referral.h"
#include "whois/replytext.h"
#include "whois/whoisinfo.h"

namespace {

QString refusedStatus(bool rateLimited, const QString &server)
{
    return server + (rateLimited ? QLatin1String(" refused the query: too many queries from this address")
                                 : QLatin1String(" refused the query"));
}

} // namespace

QString WhoisInfo::cleanQuery(const QString &typed)
{
    // A paste may carry line feeds, tabs or escapes; none of them may reach
    // the wire, where a line feed would start a second query.
    QString clean = typed;
    for (QChar &c : clean)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    return clean.trimmed();
}

void WhoisInfo::lookup(QString query, QString server)
{
    const std::optional<WhoisRoute> r = prepare(std::move(query), server);
    if (!r)
        return;
    std::optional<QString> status;
    if (r->server.isEmpty()) {
        response = r->explanation;
        outcome = Outcome::Failed;
        status = r->refusal;
    } else {
        status = followChain(*r);
    }
    finish(status, *r);
}

std::optional<WhoisRoute> WhoisInfo::prepare(QString query, const QString &server)
{
    query = cleanQuery(query);
    asked.clear();
    hops.clear();
    kind.clear();
    m_hopFailed = false;
    if (query.isEmpty()) {
        response.clear();
        outcome = Outcome::None;
        return std::nullopt;
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
            return std::nullopt;
        }
        clearSummary();
        this->query = query.toLower();
    }
    response.clear();
    replyIsUtf8 = false;
    return r;
}

void WhoisInfo::finish(std::optional<QString> status, const WhoisRoute &r)
{
    if (status && status->isEmpty() && !r.reducedFrom.isEmpty())
        status = QLatin1String("Asked for ") + r.query + QLatin1String(", the registered domain of ") + r.reducedFrom;
    if (status)
        showProgress(*status);
}

// Runs the chain and sets the outcome; where whois fails for a domain whose
// registry has a web lookup, the status and the result say where it is.
std::optional<QString> WhoisInfo::followChain(const WhoisRoute &route)
{
    const std::optional<QString> result = walkChain(route);
    if (outcome != Outcome::Failed || m_hopFailed || route.kind != route::Kind::Domain)
        return result;
    const route::TldServers *servers = route::tldServers(route.tld);
    if (!servers || servers->web.isEmpty())
        return result;
    const QString why = result ? *result : status; // a connection failure is on the status bar
    if (response.isEmpty())
        response = QLatin1String("% ") + why + QLatin1String("\n% Its registry has a web lookup at:\n% ")
                   + servers->web + QLatin1Char('\n');
    return why + QLatin1String(". Its registry's web lookup: ") + servers->web;
}

// Runs the chain from the route's server through its referrals and sets
// the outcome. Returns the status to show at the end, or nothing where a
// failure has been shown.
std::optional<QString> WhoisInfo::walkChain(const WhoisRoute &route)
{
    outcome = Outcome::Failed;
    Hop hop{ route.server, route.port ? route.port : m_endpoints.port, {}, {}, {} };
    QString line = route.line;
    QStringList chain; // host:port of every server asked, for loops
    QString earlier; // the reply that named the current server, if any
    bool earlierUtf8 = false;
    bool ianaAsked = !route.viaSuffix;
    for (;;) {
        chain.append(hop.host.toLower() + QLatin1Char(':') + QString::number(hop.port));
        Reply reply = exchange(hop, line);
        if (reply.outcome == Reply::Refused && retryRefused)
            reply = askAgain(hop, line, reply);
        if (reply.outcome == Reply::Stopped) {
            outcome = Outcome::Stopped;
            return QStringLiteral("Lookup stopped");
        }
        const bool failed = reply.outcome == Reply::NoConnection || reply.outcome == Reply::NoAnswer
                            || reply.outcome == Reply::Unusable || reply.outcome == Reply::Refused
                            || reply.outcome == Reply::NotFollowed;
        if (failed && chain.size() > 1) {
            // A hop this program will not take is no failure of that server.
            m_hopFailed = reply.outcome != Reply::NotFollowed;
            return keepEarlier(reply, hop, earlier, earlierUtf8);
        }
        if (reply.outcome == Reply::Refused || reply.outcome == Reply::NotFollowed)
            return firstHopRefused(reply, hop);
        if (failed && !ianaAsked) {
            // The suffix service knows no server for this TLD, or a stale one.
            ianaAsked = true;
            std::optional<QString> ended;
            if (!serverFromIana(route.tld, hop, ended))
                return ended;
            chain.clear();
            continue;
        }
        if (reply.outcome == Reply::NoConnection)
            return std::nullopt;

        response = reply.text;
        replyIsUtf8 = reply.utf8;
        std::optional<QString> ended;
        const std::optional<Hop> following = nextHop(reply, hop, chain, ended);
        if (!following)
            return ended;
        // Hops send the query itself, without the first server's keywords.
        line = route.query + QLatin1Char('\n');
        showProgress(QLatin1String("Querying again: ") + route.query + QLatin1String(" on ")
                     + following->name(m_endpoints.port));
        earlier = response;
        earlierUtf8 = replyIsUtf8;
        response.clear();
        hop = *following;
    }
}

// A batch waits as long as the server is left alone, then asks it once
// more. The window does not: it shows the refusal at once, as a silent
// minute would look like a hang, and its user can ask again.
WhoisInfo::Reply WhoisInfo::askAgain(const Hop &hop, const QString &line, const Reply &refused)
{
    const int seconds = (m_endpoints.refusalHoldMs + 999) / 1000;
    showProgress(refusedStatus(refused.rateLimited, hop.name(m_endpoints.port)) + QLatin1String("; asking again in ")
                 + QString::number(seconds) + QLatin1String(" s"));
    if (!net::pauseFor(m_endpoints.refusalHoldMs, [this] { return stopRequested(); })) {
        Reply stopped;
        stopped.outcome = Reply::Stopped;
        return stopped;
    }
    return exchange(hop, line);
}

// The server the reply in response names next; or nothing where the chain
// ends here, with the outcome set and the status to show in ended.
std::optional<WhoisInfo::Hop> WhoisInfo::nextHop(const Reply &reply, const Hop &hop, const QStringList &chain,
                                                 std::optional<QString> &ended)
{
    if (response.contains(QLatin1String("rwhois"))) {
        outcome = Outcome::Answered;
        ended = QStringLiteral("Referral to an rwhois server not followed");
        return std::nullopt;
    }
    if (reply.outcome == Reply::Unusable) {
        summarise();
        ended = QLatin1String("No usable reply from ") + hop.name(m_endpoints.port);
        return std::nullopt;
    }

    // A referral quoted in a comment is no referral.
    static const extraction::Field referralField(QStringLiteral("ReferralServer|Whois Server"));
    const QString referral = extraction::firstValueOutsideComments(referralField, response);
    std::optional<Referral> next = parseReferral(referral, m_endpoints.port);
    if (next && next->port == 43)
        next->port = m_endpoints.port; // the whois port, wherever this engine finds it
    // Registrars that name themselves are common: a server already asked,
    // or a chain grown too long, ends the lookup here.
    const QString key = next ? next->host.toLower() + QLatin1Char(':') + QString::number(next->port) : QString();
    if (!next || chain.contains(key)) {
        summarise();
        outcome = reply.outcome == Reply::NoAnswer ? Outcome::Failed : Outcome::Answered;
        ended = endOfChainStatus(reply, hop.name(m_endpoints.port));
        return std::nullopt;
    }
    if (chain.size() >= kMaxChainLength) {
        summarise();
        outcome = Outcome::Answered;
        ended = QLatin1String("Referral chain stopped after ") + QString::number(kMaxChainLength)
                + QLatin1String(" servers");
        return std::nullopt;
    }
    showProgress(QLatin1String("Found referral server: ") + referral);
    return Hop{ next->host, next->port, reply.peer, hop.name(m_endpoints.port), hop.host };
}

// The first server refused the query, or named a server this program will
// not ask: the lookup has failed, and the registry's own words are shown.
std::optional<QString> WhoisInfo::firstHopRefused(const Reply &reply, const Hop &hop)
{
    if (reply.outcome == Reply::NotFollowed) {
        response = QLatin1String("% ") + reply.failure + QLatin1Char('\n');
        return reply.failure;
    }
    response = reply.text;
    replyIsUtf8 = reply.utf8;
    return refusedStatus(reply.rateLimited, hop.name(m_endpoints.port));
}

// A hop that leads nowhere must not cost the user what the earlier server sent.
std::optional<QString> WhoisInfo::keepEarlier(const Reply &failed, const Hop &hop, const QString &earlier,
                                              bool earlierUtf8)
{
    response = earlier;
    replyIsUtf8 = earlierUtf8;
    outcome = Outcome::Answered;
    summarise();
    switch (failed.outcome) {
    case Reply::NoAnswer:
        return QLatin1String("No reply from ") + hop.name(m_endpoints.port);
    case Reply::Unusable:
        return QLatin1String("No usable reply from ") + hop.name(m_endpoints.port);
    case Reply::Refused:
        return refusedStatus(failed.rateLimited, hop.name(m_endpoints.port));
    case Reply::NotFollowed:
        return failed.failure;
    default:
        return std::nullopt; // the connection failure is on the status bar
    }
}

// IANA knows the whois server of every TLD it has delegated. Sets hop to
// the server it names and returns true; otherwise sets the status that ends
// the lookup and returns false.
bool WhoisInfo::serverFromIana(const QString &tld, Hop &hop, std::optional<QString> &ended)
{
    const Hop iana{ m_endpoints.ianaServer, m_endpoints.port, {}, {}, {} };
    const Reply reply = exchange(iana, tld + QLatin1Char('\n'));
    if (stopRequested() || reply.outcome == Reply::Stopped) {
        outcome = Outcome::Stopped;
        ended = QStringLiteral("Lookup stopped");
        return false;
    }
    QString none = QLatin1String("No whois or RDAP service is known for .") + tld;
    if (reply.outcome == Reply::NoConnection || reply.outcome == Reply::NoAnswer || reply.outcome == Reply::Refused) {
        const QString why = reply.outcome == Reply::NoConnection ? reply.reason
                            : reply.outcome == Reply::NoAnswer  ? QStringLiteral("no reply")
                                                                : QStringLiteral("it refused the query");
        none = QLatin1String("Cannot reach ") + iana.name(m_endpoints.port) + QLatin1String(" to find the server for .")
               + tld + QLatin1String(": ") + why;
    } else if (const std::optional<Referral> server = parseReferral(ianaWhoisServer(reply.text), m_endpoints.port)) {
        hop = Hop{ server->host, server->port, reply.peer, iana.name(m_endpoints.port), iana.host };
        return true;
    }
    response = QLatin1String("% ") + none + QLatin1Char('\n');
    ended = none;
    return false;
}

QString WhoisInfo::endOfChainStatus(const Reply &reply, const QString &server)
{
    switch (reply.outcome) {
    case Reply::NoAnswer:
        return QLatin1String("No reply from ") + server;
    case Reply::CutBySize:
        return QLatin1String("Reply from ") + server + QLatin1String(" cut off at 4 MiB");
    case Reply::CutByTime:
        return QLatin1String("Reply from ") + server + QLatin1String(" cut off after 30 s");
    default:
        return QString();
    }
}
