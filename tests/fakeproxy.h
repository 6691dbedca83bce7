#ifndef VANTOR_TESTS_FAKEPROXY_H
#define VANTOR_TESTS_FAKEPROXY_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// A proxy on 127.0.0.1 for tests: SOCKS5 (RFC 1928, with the user name and
// password of RFC 1929 where the test sets them) or HTTP CONNECT, or one
// that takes connections and says nothing. It resolves every name to
// 127.0.0.1 unless the test's resolve says otherwise (a null address: no
// such host), connects on and relays both ways. It records each target it
// was asked for, as it was asked: "name:port" or "address:port".
class FakeProxy
{
public:
    enum Mode { Socks5, HttpConnect, Mute };
    using Resolve = std::function<QHostAddress(const QString &name)>;

    explicit FakeProxy(Mode mode, Resolve resolve = {}, QByteArray user = {}, QByteArray password = {})
        : m_mode(mode), m_resolve(std::move(resolve)), m_user(std::move(user)), m_password(std::move(password))
    {
        std::atomic<int> port{ -1 };
        m_thread.reset(QThread::create([this, &port] { run(port); }));
        m_thread->start();
        while (port.load() < 0)
            QThread::msleep(1);
        m_port = quint16(port.load());
    }

    ~FakeProxy()
    {
        m_stop = true;
        m_thread->wait(); // no worker starts after this
        for (auto &worker : m_workers)
            worker->wait();
    }

    quint16 port() const { return m_port; }
    // The URL a user would give for it: socks5h:// (names to the proxy) or http://.
    QString url(const QString &scheme = QString()) const
    {
        const QString s = !scheme.isEmpty() ? scheme : m_mode == HttpConnect ? QStringLiteral("http") : QStringLiteral("socks5h");
        return s + QLatin1String("://127.0.0.1:") + QString::number(m_port);
    }
    QStringList targets() const
    {
        QMutexLocker lock(&m_mutex);
        return m_targets;
    }

private:
    // Hands each connection to a thread of its own, as a descriptor.
    class Server : public QTcpServer
    {
    public:
        QList<qintptr> taken;

    protected:
        void incomingConnection(qintptr descriptor) override { taken.append(descriptor); }
    };

    void run(std::atomic<int> &port)
    {
        Server server;
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            port = 0;
            return;
        }
        port = server.serverPort();
        while (!m_stop) {
            server.waitForNewConnection(50);
            for (qintptr descriptor : std::as_const(server.taken)) {
                QMutexLocker lock(&m_mutex);
                m_workers.emplace_back(QThread::create([this, descriptor] { serve(descriptor); }));
                m_workers.back()->start();
            }
            server.taken.clear();
        }
    }

    // Reads exactly n bytes, or nothing when the peer goes or is too slow.
    QByteArray take(QTcpSocket &socket, qint64 n)
    {
        QElapsedTimer t;
        t.start();
        while (socket.bytesAvailable() < n && !m_stop && t.elapsed() < 3000)
            if (!socket.waitForReadyRead(20) && socket.state() != QAbstractSocket::ConnectedState)
                break;
        return socket.bytesAvailable() >= n ? socket.read(n) : QByteArray();
    }

    static quint8 at(const QByteArray &bytes, int i) { return i < bytes.size() ? quint8(bytes.at(i)) : 0; }

    static void send(QTcpSocket &socket, const QByteArray &bytes)
    {
        socket.write(bytes);
        if (socket.state() == QAbstractSocket::ConnectedState)
            socket.waitForBytesWritten(1000);
    }

    // The SOCKS5 greeting, sub-negotiation and request: the target, or nothing.
    std::optional<QString> socksRequest(QTcpSocket &client)
    {
        const QByteArray hello = take(client, 2);
        const QByteArray methods = hello.size() == 2 ? take(client, quint8(hello.at(1))) : QByteArray();
        const char wanted = m_user.isEmpty() ? '\x00' : '\x02';
        if (at(hello, 0) != 5 || !methods.contains(wanted)) {
            send(client, QByteArray("\x05\xff", 2));
            return std::nullopt;
        }
        send(client, QByteArray("\x05", 1) + wanted);
        if (!m_user.isEmpty()) {
            const QByteArray head = take(client, 2);
            const QByteArray user = take(client, quint8(at(head, 1)));
            const QByteArray password = take(client, quint8(at(take(client, 1), 0)));
            const bool ok = user == m_user && password == m_password;
            send(client, QByteArray("\x01", 1) + (ok ? '\x00' : '\x01'));
            if (!ok)
                return std::nullopt;
        }
        const QByteArray request = take(client, 4);
        if (request.size() < 4 || request.at(1) != 1)
            return std::nullopt;
        // A name, or an IPv4 address (the tests ask for no IPv6 one).
        const QByteArray raw = request.at(3) == 3 ? take(client, at(take(client, 1), 0)) : take(client, 4);
        const QString host = request.at(3) == 3 ? QString::fromLatin1(raw)
                                                : QStringLiteral("%1.%2.%3.%4").arg(at(raw, 0)).arg(at(raw, 1)).arg(at(raw, 2)).arg(at(raw, 3));
        const QByteArray port = take(client, 2);
        return host + QLatin1Char(':') + QString::number(quint8(at(port, 0)) << 8 | quint8(at(port, 1)));
    }

    // "CONNECT host:port HTTP/1.1" and its headers: the target, or nothing.
    std::optional<QString> connectRequest(QTcpSocket &client)
    {
        QByteArray head;
        QElapsedTimer t;
        t.start();
        while (!head.contains("\r\n\r\n") && !m_stop && t.elapsed() < 3000)
            if (client.waitForReadyRead(20) || client.bytesAvailable())
                head += client.readAll();
        const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
        if (words.value(0) != "CONNECT") {
            send(client, "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return std::nullopt;
        }
        return QString::fromLatin1(words.value(1));
    }

    void serve(qintptr descriptor)
    {
        QTcpSocket client;
        client.setSocketDescriptor(descriptor);
        if (m_mode == Mute) {
            while (!m_stop && client.state() == QAbstractSocket::ConnectedState)
                client.waitForReadyRead(50);
            return;
        }
        const std::optional<QString> target = m_mode == Socks5 ? socksRequest(client) : connectRequest(client);
        if (!target)
            return;
        {
            QMutexLocker lock(&m_mutex);
            m_targets.append(*target);
        }
        const qsizetype colon = target->lastIndexOf(QLatin1Char(':'));
        const QString host = target->left(colon).remove(QLatin1Char('[')).remove(QLatin1Char(']'));
        QHostAddress at(host);
        if (at.isNull())
            at = m_resolve ? m_resolve(host) : QHostAddress(QHostAddress::LocalHost);
        QTcpSocket upstream;
        if (!at.isNull()) {
            upstream.connectToHost(at, quint16(target->mid(colon + 1).toUInt()));
            upstream.waitForConnected(2000);
        }
        const bool connected = upstream.state() == QAbstractSocket::ConnectedState;
        if (m_mode == Socks5) // 0: succeeded, 4: host unreachable; bound to 127.0.0.1:0
            send(client, QByteArray("\x05", 1) + (connected ? '\x00' : '\x04') + QByteArray("\x00\x01\x7f\x00\x00\x01\x00\x00", 8));
        else
            send(client, connected ? "HTTP/1.1 200 Connection established\r\n\r\n"
                                   : "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        if (connected)
            relay(client, upstream);
    }

    void relay(QTcpSocket &client, QTcpSocket &upstream)
    {
        const auto open = [](QTcpSocket &s) { return s.state() == QAbstractSocket::ConnectedState || s.bytesAvailable() > 0; };
        while (!m_stop && open(client) && open(upstream)) {
            client.waitForReadyRead(5);
            if (client.bytesAvailable())
                send(upstream, client.readAll());
            upstream.waitForReadyRead(5);
            if (upstream.bytesAvailable())
                send(client, upstream.readAll());
        }
        for (QTcpSocket *s : { &client, &upstream }) {
            s->disconnectFromHost();
            if (s->state() != QAbstractSocket::UnconnectedState)
                s->waitForDisconnected(1000);
        }
    }

    Mode m_mode;
    Resolve m_resolve;
    QByteArray m_user;
    QByteArray m_password;
    std::unique_ptr<QThread> m_thread;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{ false };
    mutable QMutex m_mutex;
    std::vector<std::unique_ptr<QThread>> m_workers;
    QStringList m_targets;
};

#endif
