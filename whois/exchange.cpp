#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostInfo>
#include <QTcpSocket>

#include "analysis/lineends.h"
#include "whois/chain.h"
#include "whois/replytext.h"
#include "whois/whoisinfo.h"

namespace {

// What the user can act on: a name that does not resolve, a server that
// refuses, or one that did not answer in time.
QString connectFailure(QAbstractSocket::SocketError error, const QString &errorText, const QString &server)
{
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return QLatin1String("Unknown server: ") + server;
    case QAbstractSocket::ConnectionRefusedError:
        return QLatin1String("Connection refused by ") + server;
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::UnknownSocketError:
        return QStringLiteral("Connection timed out");
    default:
        return QLatin1String("Cannot connect to ") + server + QLatin1String(": ") + errorText;
    }
}

} // namespace

QString WhoisInfo::Hop::name(quint16 usualPort) const
{
    return port == usualPort ? host : host + QLatin1Char(':') + QString::number(port);
}

bool WhoisInfo::connectTo(QTcpSocket &socket, const Hop &hop)
{
    const QString name = hop.name(m_endpoints.port);
    const QDeadlineTimer deadline(kConnectTimeoutMs);
    QList<QHostAddress> addresses;
    if (QHostAddress literal; literal.setAddress(hop.host))
        addresses.append(literal);
    else if (m_endpoints.resolve)
        addresses = m_endpoints.resolve(hop.host);
    else
        addresses = QHostInfo::fromName(hop.host).addresses();
    if (addresses.isEmpty()) {
        showProgress(connectFailure(QAbstractSocket::HostNotFoundError, QString(), name));
        return false;
    }

    QAbstractSocket::SocketError error = QAbstractSocket::SocketTimeoutError;
    QString errorText;
    for (const QHostAddress &address : std::as_const(addresses)) {
        if (deadline.hasExpired())
            break;
        socket.connectToHost(address, hop.port, QIODevice::ReadWrite);
        if (socket.waitForConnected(int(deadline.remainingTime())))
            return true;
        // A refusal from one address says more than a time-out from the next.
        if (error == QAbstractSocket::SocketTimeoutError || socket.error() != QAbstractSocket::SocketTimeoutError) {
            error = socket.error();
            errorText = socket.errorString();
        }
        socket.abort();
    }
    showProgress(connectFailure(error, errorText, name));
    return false;
}

WhoisInfo::Reply WhoisInfo::exchange(const Hop &hop, const QString &line)
{
    Reply reply;
    showProgress(QLatin1String("Connecting to ") + hop.name(m_endpoints.port));

    QTcpSocket socket;
    if (!connectTo(socket, hop)) {
        reply.outcome = Reply::NoConnection;
        return reply;
    }

    showProgress(QLatin1String("Sending query: ") + line);
    socket.write(line.toLatin1());

    QElapsedTimer sinceConnected;
    sinceConnected.start();
    QByteArray bytes;
    for (;;) {
        const qint64 left = kReplyTimeLimitMs - sinceConnected.elapsed();
        if (left <= 0) {
            reply.outcome = Reply::CutByTime;
            break;
        }
        const int patience = bytes.isEmpty() ? kFirstReplyTimeoutMs : kSilenceTimeoutMs;
        const bool clipped = left < patience;
        if (!socket.waitForReadyRead(clipped ? int(left) : patience)) {
            if (clipped && socket.state() == QAbstractSocket::ConnectedState)
                reply.outcome = Reply::CutByTime;
            break;
        }
        bytes += socket.read(kReplySizeLimit - bytes.size());
        if (bytes.size() >= kReplySizeLimit) {
            reply.outcome = Reply::CutBySize;
            break;
        }
    }
    // Bytes that came with the close are part of the reply.
    if (reply.outcome == Reply::Complete && socket.bytesAvailable() > 0)
        bytes += socket.read(kReplySizeLimit - bytes.size());

    reply.text = decodeReply(bytes, reply.outcome != Reply::Complete, &reply.utf8);
    normaliseLineEnds(reply.text);
    // Blank lines, bare line ends or NULs are no answer at all; comments
    // alone, or a registry that no longer serves its TLD, answer nothing.
    if (reply.text.trimmed().isEmpty()) {
        reply.text.clear();
        reply.outcome = Reply::NoAnswer;
    } else if (isUnusableReply(reply.text)) {
        reply.outcome = Reply::Unusable;
    }
    return reply;
}
