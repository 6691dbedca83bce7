#include "analysis/extract.h"
#include "whois/chain.h"
#include "whois/referral.h"
#include "whois/replytext.h"
#include "whois/whoisinfo.h"

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

// Runs the chain from the route's server through its referrals and sets
// the outcome. Returns the status to show at the end, or nothing where a
// failure has been shown.
std::optional<QString> WhoisInfo::followChain(const WhoisRoute &route)
{
    outcome = Outcome::Failed;
    const QRegularExpression referralPattern = extraction::fieldPattern(QStringLiteral("ReferralServer|Whois Server"));
    Hop hop{ route.server, route.port ? route.port : m_endpoints.port };
    QString line = route.line;
    QStringList chain; // host:port of every server asked, for loops
    QString earlier; // the reply that named the current server, if any
    bool earlierUtf8 = false;
    bool ianaAsked = !route.viaSuffix;
    for (;;) {
        chain.append(hop.host.toLower() + QLatin1Char(':') + QString::number(hop.port));
        const Reply reply = exchange(hop, line);
        if (reply.outcome == Reply::Stopped) {
            outcome = Outcome::Stopped;
            return QStringLiteral("Lookup stopped");
        }
        const bool failed = reply.outcome == Reply::NoConnection || reply.outcome == Reply::NoAnswer
                            || reply.outcome == Reply::Unusable;
        if (failed && chain.size() > 1) {
            m_hopFailed = true;
            return keepEarlier(reply, hop, earlier, earlierUtf8);
        }
        if (failed && !ianaAsked) {
            // The suffix service knows no server for this TLD, or a stale one.
            ianaAsked = true;
            const std::optional<Hop> named = askIana(route.tld);
            if (stopRequested()) {
                outcome = Outcome::Stopped;
                return QStringLiteral("Lookup stopped");
            }
            if (named) {
                hop = *named;
                chain.clear();
                continue;
            }
            const QString none = QLatin1String("No whois or RDAP service is known for .") + route.tld;
            response = QLatin1String("% ") + none + QLatin1Char('\n');
            return none;
        }
        if (reply.outcome == Reply::NoConnection)
            return std::nullopt;

        response = reply.text;
        replyIsUtf8 = reply.utf8;
        if (response.contains(QLatin1String("rwhois"))) {
            outcome = Outcome::Answered;
            return QStringLiteral("Referral to an rwhois server not followed");
        }
        if (reply.outcome == Reply::Unusable) {
            summarise();
            return QLatin1String("No usable reply from ") + hop.name(m_endpoints.port);
        }

        // A referral quoted in a comment is no referral.
        const QString referral = extraction::firstValueOutsideComments(referralPattern, response);
        std::optional<Referral> next = parseReferral(referral, m_endpoints.port);
        if (next && next->port == 43)
            next->port = m_endpoints.port; // the whois port, wherever this engine finds it
        // Registrars that name themselves are common: a server already
        // asked, or a chain grown too long, ends the lookup here.
        const QString key = next ? next->host.toLower() + QLatin1Char(':') + QString::number(next->port) : QString();
        if (!next || chain.contains(key)) {
            summarise();
            outcome = reply.outcome == Reply::NoAnswer ? Outcome::Failed : Outcome::Answered;
            return endOfChainStatus(reply, hop.name(m_endpoints.port));
        }
        if (chain.size() >= kMaxChainLength) {
            summarise();
            outcome = Outcome::Answered;
            return QLatin1String("Referral chain stopped after ") + QString::number(kMaxChainLength)
                   + QLatin1String(" servers");
        }

        const Hop following{ next->host, next->port };
        showProgress(QLatin1String("Found referral server: ") + referral);
        showProgress(QLatin1String("Querying again: ") + line + QLatin1String(" on ") + following.name(m_endpoints.port));
        earlier = response;
        earlierUtf8 = replyIsUtf8;
        response.clear();
        hop = following;
        line = route.query + QLatin1Char('\n');
    }
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
    default:
        return std::nullopt; // the connection failure is on the status bar
    }
}

// IANA knows the whois server of every TLD it has delegated.
std::optional<WhoisInfo::Hop> WhoisInfo::askIana(const QString &tld)
{
    const Reply reply = exchange(Hop{ m_endpoints.ianaServer, m_endpoints.port }, tld + QLatin1Char('\n'));
    if (reply.outcome == Reply::NoConnection || reply.outcome == Reply::NoAnswer)
        return std::nullopt;
    const QString named = ianaWhoisServer(reply.text);
    const std::optional<Referral> server = parseReferral(named, m_endpoints.port);
    if (!server)
        return std::nullopt;
    return Hop{ server->host, server->port };
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
