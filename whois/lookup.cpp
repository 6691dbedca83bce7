#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QUrl>

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

} // namespace

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
        showProgress(QStringLiteral("Connection timed out"));
        reply.outcome = Reply::NoConnection;
        return reply;
    }

    showProgress(QLatin1String("Sending query: ") + line);
    socket.write(line.toLatin1());

    QElapsedTimer sinceConnected;
    sinceConnected.start();
    qint64 received = 0;
    bool anything = false;
    for (;;) {
        const qint64 left = kReplyTimeLimitMs - sinceConnected.elapsed();
        if (left <= 0) {
            reply.outcome = Reply::CutByTime;
            break;
        }
        const int patience = anything ? kSilenceTimeoutMs : kFirstReplyTimeoutMs;
        const bool clipped = left < patience;
        if (!socket.waitForReadyRead(clipped ? int(left) : patience)) {
            if (clipped && socket.state() == QAbstractSocket::ConnectedState)
                reply.outcome = Reply::CutByTime;
            break;
        }
        const QByteArray chunk = socket.read(kReplySizeLimit - received);
        received += chunk.size();
        anything = anything || !chunk.isEmpty();
        appendReplyChunk(reply.text, chunk);
        if (received >= kReplySizeLimit) {
            reply.outcome = Reply::CutBySize;
            break;
        }
    }
    // Bytes that came with the close are part of the reply.
    if (reply.outcome == Reply::Complete && socket.bytesAvailable() > 0 && received < kReplySizeLimit) {
        const QByteArray rest = socket.read(kReplySizeLimit - received);
        anything = anything || !rest.isEmpty();
        appendReplyChunk(reply.text, rest);
    }
    if (!anything)
        reply.outcome = Reply::NoAnswer;
    return reply;
}

void WhoisInfo::lookup(QString query, QString server)
{
    response.clear();
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
        hopQuery = query.trimmed();
    }

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
        if (response.contains(QLatin1String("rwhois")))
            return;

        const QString referral = extractField(QStringLiteral("ReferralServer|Whois Server"), response);
        QString next = referral;
        next.remove(QLatin1String("whois://"));
        next.remove(QLatin1String(":43"));
        // Registrars that name themselves are common: a server already
        // asked, or a chain grown too long, ends the lookup here.
        const bool follow = !next.isEmpty() && asked.size() < kMaxChainLength
                            && !asked.contains(next, Qt::CaseInsensitive);
        if (!follow) {
            summarise();
            switch (reply.outcome) {
            case Reply::NoAnswer:
                showProgress(QLatin1String("No reply from ") + server);
                break;
            case Reply::CutBySize:
                showProgress(QLatin1String("Reply from ") + server + QLatin1String(" cut off at 4 MiB"));
                break;
            case Reply::CutByTime:
                showProgress(QLatin1String("Reply from ") + server + QLatin1String(" cut off after 30 s"));
                break;
            default:
                showProgress(QString());
            }
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
