#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QUrl>

#include "analysis/extract.h"
#include "analysis/lineends.h"
#include "whois/replytext.h"
#include "whois/whoisinfo.h"

struct WhoisInfo::Reply
{
    enum Outcome { Complete, NoConnection, NoAnswer, CutBySize, CutByTime };
    Outcome outcome = Complete;
    QString text;
};

namespace {

bool isIPv6(const QString &query)
{
    QHostAddress address;
    return address.setAddress(query) && address.protocol() == QAbstractSocket::IPv6Protocol;
}

bool isAscii(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() > 0x7f)
            return false;
    return true;
}

// What the user can act on: a name that does not resolve, a server that
// refuses, or one that did not answer in time.
QString connectFailure(const QTcpSocket &socket, const QString &server)
{
    switch (socket.error()) {
    case QAbstractSocket::HostNotFoundError:
        return QLatin1String("Unknown server: ") + server;
    case QAbstractSocket::ConnectionRefusedError:
        return QLatin1String("Connection refused by ") + server;
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::UnknownSocketError:
        return QStringLiteral("Connection timed out");
    default:
        return QLatin1String("Cannot connect to ") + server + QLatin1String(": ") + socket.errorString();
    }
}

// Only blanks and line ends (NULs are gone already) say nothing.
bool saysNothing(const QString &text)
{
    for (QChar c : text)
        if (!c.isSpace())
            return false;
    return true;
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

WhoisRoute WhoisInfo::route(const QString &query) const
{
    WhoisRoute r;
    if (query.count(QLatin1Char('.')) == 3 || isIPv6(query)) {
        // "n +" makes ARIN answer with the full record and its referral
        // instead of a bare list of network names.
        r.server = m_endpoints.defaultServer;
        r.query = query;
        r.line = QLatin1String("n + ") + query + QLatin1Char('\n');
        return r;
    }

    r.query = query;
    if (!isAscii(query)) {
        const QByteArray ace = QUrl::toAce(query);
        if (!ace.isEmpty())
            r.query = QString::fromLatin1(ace);
    }
    const QString tld = r.query.split(QLatin1Char('.')).constLast();
    r.server = tld + m_endpoints.domainSuffix;
    // Only these registries understand the "domain" keyword; the others
    // answer "domain example.de" with no match.
    static const QStringList keywordTlds = { QStringLiteral("com"), QStringLiteral("net"),
                                             QStringLiteral("cc"), QStringLiteral("tv") };
    const QString keyword = keywordTlds.contains(tld) ? QStringLiteral("domain ") : QString();
    r.line = keyword + r.query + QLatin1Char('\n');
    return r;
}

WhoisInfo::Reply WhoisInfo::exchange(const QString &server, const QString &line)
{
    Reply reply;
    showProgress(QLatin1String("Connecting to ") + server);

    QTcpSocket socket;
    socket.connectToHost(server, m_endpoints.port, QIODevice::ReadWrite);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        showProgress(connectFailure(socket, server));
        reply.outcome = Reply::NoConnection;
        return reply;
    }

    showProgress(QLatin1String("Sending query: ") + line);
    socket.write(line.toLatin1());

    QElapsedTimer sinceConnected;
    sinceConnected.start();
    qint64 received = 0;
    for (;;) {
        const qint64 left = kReplyTimeLimitMs - sinceConnected.elapsed();
        if (left <= 0) {
            reply.outcome = Reply::CutByTime;
            break;
        }
        const int patience = received > 0 ? kSilenceTimeoutMs : kFirstReplyTimeoutMs;
        const bool clipped = left < patience;
        if (!socket.waitForReadyRead(clipped ? int(left) : patience)) {
            if (clipped && socket.state() == QAbstractSocket::ConnectedState)
                reply.outcome = Reply::CutByTime;
            break;
        }
        const QByteArray chunk = socket.read(kReplySizeLimit - received);
        received += chunk.size();
        appendReplyChunk(reply.text, chunk);
        if (received >= kReplySizeLimit) {
            reply.outcome = Reply::CutBySize;
            break;
        }
    }
    // Bytes that came with the close are part of the reply.
    if (reply.outcome == Reply::Complete && socket.bytesAvailable() > 0 && received < kReplySizeLimit)
        appendReplyChunk(reply.text, socket.read(kReplySizeLimit - received));

    normaliseLineEnds(reply.text);
    // Blank lines, bare line ends or NULs are no answer at all.
    if (saysNothing(reply.text)) {
        reply.text.clear();
        reply.outcome = Reply::NoAnswer;
    }
    return reply;
}

void WhoisInfo::lookup(QString query, QString server)
{
    response.clear();
    query = cleanQuery(query);
    if (query.isEmpty())
        return;
    query = query.toLower();

    QString line;
    QString hopQuery;
    if (server.isEmpty()) {
        netRange.clear();
        cidr.clear();
        address.clear();
        country.clear();
        owner.clear();
        this->query = query;
        const WhoisRoute r = route(query);
        server = r.server;
        line = r.line;
        hopQuery = r.query.trimmed();
    } else {
        line = query + QLatin1Char('\n');
        hopQuery = query;
    }
    followChain(server, line, hopQuery);
}

void WhoisInfo::followChain(QString server, QString line, const QString &hopQuery)
{
    const QRegularExpression referralPattern = extraction::fieldPattern(QStringLiteral("ReferralServer|Whois Server"));
    QStringList asked;
    QString earlier; // the reply that named the current server, if any
    for (;;) {
        asked.append(server);
        const Reply reply = exchange(server, line);

        const bool failed = reply.outcome == Reply::NoConnection || reply.outcome == Reply::NoAnswer;
        if (failed && asked.size() > 1) {
            // A hop that leads nowhere must not cost the user what the
            // earlier server sent.
            response = earlier;
            summarise();
            if (reply.outcome == Reply::NoAnswer)
                showProgress(QLatin1String("No reply from ") + server);
            return;
        }
        if (reply.outcome == Reply::NoConnection)
            return;

        response = reply.text;
        if (response.contains(QLatin1String("rwhois"))) {
            showProgress(QStringLiteral("Referral to an rwhois server not followed"));
            return;
        }

        // A referral quoted in a comment is no referral.
        const QString referral = extraction::firstValueOutsideComments(referralPattern, response);
        QString next = referral;
        next.remove(QLatin1String("whois://"));
        next.remove(QLatin1String(":43"));
        // Registrars that name themselves are common: a server already
        // asked, or a chain grown too long, ends the lookup here.
        if (next.isEmpty() || asked.contains(next, Qt::CaseInsensitive)) {
            summarise();
            showProgress(endOfChainStatus(reply, server));
            return;
        }
        if (asked.size() >= kMaxChainLength) {
            summarise();
            showProgress(QLatin1String("Referral chain stopped after ") + QString::number(kMaxChainLength)
                         + QLatin1String(" servers"));
            return;
        }

        showProgress(QLatin1String("Found referral server: ") + referral);
        showProgress(QLatin1String("Querying again: ") + line + QLatin1String(" on ") + next);
        earlier = response;
        response.clear();
        server = next;
        line = hopQuery + QLatin1Char('\n');
    }
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
