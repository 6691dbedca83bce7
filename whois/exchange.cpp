#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

#include "analysis/lineends.h"
#include "net/address.h"
#include "net/pacer.h"
#include "net/resolver.h"
#include "whois/chain.h"
#include "whois/refusal.h"
#include "whois/replytext.h"
#include "whois/whoisinfo.h"

namespace {

struct Failure
{
    QString message; // for the status bar
    QString reason;  // the same in a few words
};

// What the user can act on: a name that does not resolve, a server that
// refuses, or one that did not answer in time.
Failure connectFailure(QAbstractSocket::SocketError error, const QString &errorText, const QString &server)
{
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return { QLatin1String("Unknown server: ") + server, QStringLiteral("unknown server") };
    case QAbstractSocket::ConnectionRefusedError:
        return { QLatin1String("Connection refused by ") + server, QStringLiteral("connection refused") };
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::UnknownSocketError:
        return { QLatin1String("Connection to ") + server + QLatin1String(" timed out"), QStringLiteral("timed out") };
    default:
        return { QLatin1String("Cannot connect to ") + server + QLatin1String(": ") + errorText, errorText };
    }
}

} // namespace

QString WhoisInfo::Hop::name(quint16 usualPort) const
{
    return port == usualPort ? host : host + QLatin1Char(':') + QString::number(port);
}

bool WhoisInfo::stopRequested() const
{
    return stopToken && stopToken->load();
}

// Connects to one address, or where a proxy resolves it to the name,
// checking every few milliseconds whether the lookup was stopped; the
// socket's own wait cannot be interrupted.
bool WhoisInfo::connectToAddress(QTcpSocket &socket, const QHostAddress &address, quint16 port,
                                 const QDeadlineTimer &deadline, const QString &name)
{
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&socket, &QAbstractSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (stopRequested() || deadline.hasExpired())
            loop.quit();
    });
    if (address.isNull())
        socket.connectToHost(name, port, QIODevice::ReadWrite);
    else
        socket.connectToHost(address, port, QIODevice::ReadWrite);
    tick.start(kStopCheckMs);
    if (socket.state() != QAbstractSocket::ConnectedState && socket.state() != QAbstractSocket::UnconnectedState)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return socket.state() == QAbstractSocket::ConnectedState;
}

// A hop a server chose may not lead from a public address to this machine
// or its network, where services trust whoever asks. Where a proxy resolves
// the names, only what the names say can be checked (net/address.h).
bool WhoisInfo::hopAllowed(const Hop &hop, const QList<QHostAddress> &addresses, Reply &reply) const
{
    if (hop.namedByName.isEmpty()
        || net::hopAllowedByName(hop.namedBy, hop.namedByHost, addresses, hop.host, m_endpoints.isPublicAddress))
        return true;
    reply.outcome = Reply::NotFollowed;
    reply.failure = QLatin1String("Referral from ") + hop.namedByName + QLatin1String(" to ") + hop.host
                    + QLatin1String(" not followed: a local address");
    return false;
}

// Resolving the name counts within the bound for connecting. Sets the
// outcome of the connection in reply.
void WhoisInfo::connectTo(QTcpSocket &socket, const Hop &hop, Reply &reply)
{
    const QString name = hop.name(m_endpoints.port);
    const net::ProxyChoice via = m_endpoints.proxy.forWhois(hop.host, hop.port);
    const auto announce = [&] {
        showProgress(QLatin1String("Connecting to ") + name
                     + (via.proxy ? QLatin1String(" through ") + via.proxy->name() : QString()));
        asked.append({ name, QStringLiteral("whois") });
    };
    const auto fail = [&](QAbstractSocket::SocketError error, const QString &errorText) {
        const Failure f = connectFailure(error, errorText, name);
        reply.failure = f.message;
        reply.reason = f.reason;
        if (!via.skipped.isEmpty())
            reply.failure += QLatin1String("; whois does not go through the HTTP proxy ") + via.skipped;
        showProgress(reply.failure);
    };
    reply.outcome = Reply::NoConnection;
    if (!via.error.isEmpty()) {
        reply.failure = via.error; // never straight past a proxy that was asked for
        reply.reason = QStringLiteral("unusable proxy");
        showProgress(reply.failure);
        return;
    }
    // A hop chosen by a server is announced once its addresses have passed.
    if (hop.namedByName.isEmpty())
        announce();
    const QDeadlineTimer deadline(kConnectTimeoutMs);
    QList<QHostAddress> addresses; // none where the proxy resolves the name
    Resolved resolved = Resolved::Found;
    if (QHostAddress literal; literal.setAddress(hop.host))
        addresses.append(literal);
    else if (!via.proxy || !via.proxy->resolvesNames)
        resolved = resolveHost(hop.host, m_endpoints.resolve, deadline, [this] { return stopRequested(); }, &addresses);
    if (resolved == Resolved::Stopped) {
        reply.outcome = Reply::Stopped;
        return;
    }
    if (resolved == Resolved::Found && !hopAllowed(hop, addresses, reply))
        return; // the chain says so
    if (!hop.namedByName.isEmpty())
        announce();
    if (resolved != Resolved::Found) {
        fail(resolved == Resolved::Unknown ? QAbstractSocket::HostNotFoundError : QAbstractSocket::SocketTimeoutError,
             QString());
        return;
    }
    if (via.proxy) {
        connectThroughProxy(socket, hop, *via.proxy, addresses, deadline, reply);
        return;
    }

    QAbstractSocket::SocketError error = QAbstractSocket::SocketTimeoutError;
    QString errorText;
    connectDirectly(socket, addresses, hop.port, deadline, reply, error, errorText);
    if (reply.outcome == Reply::NoConnection)
        fail(error, errorText);
}

// Connects straight to the first of the addresses that takes the
// connection. Sets the outcome, and where none did, the error to report.
void WhoisInfo::connectDirectly(QTcpSocket &socket, const QList<QHostAddress> &addresses, quint16 port,
                                const QDeadlineTimer &deadline, Reply &reply, QAbstractSocket::SocketError &error,
                                QString &errorText)
{
    for (const QHostAddress &address : addresses) {
        if (deadline.hasExpired())
            break;
        if (connectToAddress(socket, address, port, deadline)) {
            reply.outcome = Reply::Complete;
            reply.peer = socket.peerAddress();
            return;
        }
        if (stopRequested()) {
            reply.outcome = Reply::Stopped;
            return;
        }
        // A refusal from one address says more than a time-out from the next.
        if (socket.state() == QAbstractSocket::UnconnectedState
            && (error == QAbstractSocket::SocketTimeoutError || socket.error() != QAbstractSocket::SocketTimeoutError)) {
            error = socket.error();
            errorText = socket.errorString();
        }
        socket.abort();
    }
}

// Waits for the server's turn (net/pacer.h), asks it, and records the hop.
// A server that refuses is left alone for a while.
WhoisInfo::Reply WhoisInfo::exchange(const Hop &hop, const QString &line)
{
    const QString server = hop.host.toLower() + QLatin1Char(':') + QString::number(hop.port);
    net::Pacer::Turn turn;
    if (m_endpoints.serverSpacingMs > 0) {
        net::Pacer::Request request;
        request.server = server;
        request.name = hop.name(m_endpoints.port);
        request.spacingMs = net::serverSpacingMs(hop.host, m_endpoints.serverSpacingMs);
        request.stopRequested = [this] { return stopRequested(); };
        request.waiting = [this](const QString &message) { showProgress(message); };
        turn = net::Pacer::shared().take(request);
    }
    if (turn.stopped()) {
        Reply stopped;
        stopped.outcome = Reply::Stopped;
        return stopped;
    }
    QElapsedTimer took;
    took.start();
    const Reply reply = talkTo(hop, line);
    recordHop(hop, reply, took.elapsed(), turn.waitedMs());
    if (reply.outcome == Reply::Refused && m_endpoints.serverSpacingMs > 0)
        net::Pacer::shared().hold(server, m_endpoints.refusalHoldMs);
    return reply;
}

void WhoisInfo::recordHop(const Hop &hop, const Reply &reply, qint64 ms, qint64 waitedMs)
{
    using Outcome = net::HopRecord::Outcome;
    Outcome outcome = Outcome::Answered; // a reply cut off is one too
    switch (reply.outcome) {
    case Reply::NotFollowed:
        return; // no connection was made
    case Reply::NoConnection:
    case Reply::Unusable:
        outcome = Outcome::Failed;
        break;
    case Reply::NoAnswer:
        outcome = Outcome::NoReply;
        break;
    case Reply::Refused:
        outcome = reply.rateLimited ? Outcome::RateLimited : Outcome::Refused;
        break;
    case Reply::Stopped:
        outcome = Outcome::Stopped;
        break;
    default:
        break;
    }
    hops.append({ hop.name(m_endpoints.port), QStringLiteral("whois"), ms, waitedMs, outcome, reply.text });
}

WhoisInfo::Reply WhoisInfo::talkTo(const Hop &hop, const QString &line)
{
    Reply reply;
    QTcpSocket socket;
    connectTo(socket, hop, reply);
    if (reply.outcome != Reply::Complete)
        return reply;

    showProgress(QLatin1String("Sending query: ") + line);
    // Letters beyond Latin-1 ("東京") go as UTF-8, which most servers read.
    socket.write(line.toUtf8());
    const QByteArray bytes = readReply(socket, reply);
    if (reply.outcome == Reply::Stopped)
        return reply;

    reply.text = decodeReply(bytes, reply.outcome != Reply::Complete, &reply.utf8);
    normaliseLineEnds(reply.text);
    // Blank lines, bare line ends or NULs are no answer at all; a registry
    // that refuses says so in a short reply of its own; comments alone, or
    // a registry that no longer serves its TLD, answer nothing.
    if (std::all_of(reply.text.cbegin(), reply.text.cend(), [](QChar c) { return c.isSpace(); })) {
        reply.text.clear();
        reply.outcome = Reply::NoAnswer;
    } else if (const std::optional<RegistryRefusal> refusal = registryRefusal(reply.text)) {
        reply.outcome = Reply::Refused;
        reply.rateLimited = refusal->rateLimit;
    } else if (isUnusableReply(reply.text)) {
        reply.outcome = Reply::Unusable;
    }
    return reply;
}

// Reads until the server closes, goes quiet or breaks a bound; waits in
// short steps so that a stop is seen within kStopCheckMs.
QByteArray WhoisInfo::readReply(QTcpSocket &socket, Reply &reply)
{
    QElapsedTimer sinceConnected;
    sinceConnected.start();
    QElapsedTimer sinceData;
    sinceData.start();
    QByteArray bytes;
    for (;;) {
        if (stopRequested()) {
            reply.outcome = Reply::Stopped;
            return bytes;
        }
        const qint64 total = sinceConnected.elapsed();
        if (total >= kReplyTimeLimitMs) {
            reply.outcome = Reply::CutByTime;
            break;
        }
        const qint64 patience = bytes.isEmpty() ? kFirstReplyTimeoutMs : kSilenceTimeoutMs;
        const qint64 quiet = sinceData.elapsed();
        if (quiet >= patience)
            break; // silence ends the reply
        const qint64 step = std::min({ qint64(kStopCheckMs), patience - quiet, kReplyTimeLimitMs - total });
        if (!socket.waitForReadyRead(int(step))) {
            if (socket.state() != QAbstractSocket::ConnectedState)
                break; // closed
            continue;
        }
        // Only what has come: asking for up to the whole limit would make
        // Qt set aside 4 MiB for every read.
        bytes += socket.read(std::min(socket.bytesAvailable(), kReplySizeLimit - bytes.size()));
        sinceData.restart();
        if (bytes.size() >= kReplySizeLimit) {
            reply.outcome = Reply::CutBySize;
            break;
        }
    }
    // Bytes that came with the close are part of the reply.
    if (reply.outcome == Reply::Complete && socket.bytesAvailable() > 0)
        bytes += socket.read(std::min(socket.bytesAvailable(), kReplySizeLimit - bytes.size()));
    return bytes;
}
