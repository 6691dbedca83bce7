#ifndef VANTOR_TESTS_FAKEWHOISSERVER_H
#define VANTOR_TESTS_FAKEWHOISSERVER_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

#include <atomic>
#include <memory>

#include "whois/whoisinfo.h"

// A whois server on 127.0.0.1 for tests, on a thread of its own so that the
// blocking lookup can run on the test's thread. Each accepted connection
// plays the next script; every connection records the bytes it received.
class FakeWhoisServer
{
public:
    struct Step
    {
        enum Kind { Send, Pause, SendForever, Hold, Reset };
        Kind kind;
        QByteArray data;
        int ms = 0;
    };

    struct Script
    {
        QList<Step> steps;
        bool readQuery = true; // read the query line before the steps

        Script &send(const QByteArray &bytes) { steps.append({ Step::Send, bytes, 0 }); return *this; }
        Script &pause(int ms) { steps.append({ Step::Pause, {}, ms }); return *this; }
        // Sends bytes one at a time with a pause after each.
        Script &drip(const QByteArray &bytes, int ms)
        {
            for (char c : bytes) {
                send(QByteArray(1, c));
                pause(ms);
            }
            return *this;
        }
        // Sends data until the peer goes away or ms have passed.
        Script &sendForever(int ms) { steps.append({ Step::SendForever, {}, ms }); return *this; }
        // Keeps the connection open, sending nothing, for ms or until the server stops.
        Script &hold(int ms) { steps.append({ Step::Hold, {}, ms }); return *this; }
        // Drops the connection with a reset instead of a close.
        Script &reset() { steps.append({ Step::Reset, {}, 0 }); return *this; }
    };

    static Script reply(const QByteArray &bytes) { return Script().send(bytes); }

    // On another loopback address (127.0.0.2) where a test needs two hosts.
    explicit FakeWhoisServer(QList<Script> scripts, const QHostAddress &address = QHostAddress(QHostAddress::LocalHost))
        : m_scripts(std::move(scripts)), m_address(address)
    {
        std::atomic<int> port{ -1 };
        m_thread.reset(QThread::create([this, &port] { run(port); }));
        m_thread->start();
        while (port.load() < 0)
            QThread::msleep(1);
        m_port = quint16(port.load());
    }

    ~FakeWhoisServer()
    {
        m_stop = true;
        m_thread->wait();
    }

    quint16 port() const { return m_port; }

    // Endpoints that never reach RDAP: no service is known for any query,
    // and IANA's files are not fetched. Tests talk to their own servers only,
    // unpaced (the tests of pacing turn it on), and
    // with no answers kept (the tests of kept answers turn that on).
    static WhoisEndpoints withoutRdap(WhoisEndpoints e = WhoisEndpoints())
    {
        e.rdapServices = [](const route::Query &) { return QStringList(); };
        e.rdapBootstrapBase.clear();
        e.serverSpacingMs = 0;
        e.keepAnswers = false; // every lookup reaches the server
        return e;
    }

    // Endpoints that bring every lookup here: addresses to 127.0.0.1, and a
    // domain such as "example.127" to "127" + ".0.0.1".
    WhoisEndpoints endpoints() const
    {
        WhoisEndpoints e = withoutRdap();
        e.defaultServer = QStringLiteral("127.0.0.1");
        e.domainSuffix = QStringLiteral(".0.0.1");
        e.port = m_port;
        return e;
    }

    // Endpoints with the program's own server names, every one of which
    // leads here but those in unknown, which do not resolve.
    WhoisEndpoints realNames(const QStringList &unknown = {}) const
    {
        WhoisEndpoints e = withoutRdap();
        e.port = m_port;
        e.resolve = [unknown](const QString &name) {
            return unknown.contains(name, Qt::CaseInsensitive) ? QList<QHostAddress>()
                                                               : QList<QHostAddress>{ QHostAddress(QHostAddress::LocalHost) };
        };
        return e;
    }

    // The bytes each connection received so far, in the order of connection.
    QList<QByteArray> received() const
    {
        QMutexLocker lock(&m_mutex);
        return m_received;
    }
    int connections() const { return received().size(); }
    // When each connection was taken, in ms since the server started.
    QList<qint64> acceptedAt() const
    {
        QMutexLocker lock(&m_mutex);
        return m_acceptedAt;
    }

private:
    void run(std::atomic<int> &port)
    {
        QTcpServer server;
        if (!server.listen(m_address, 0)) {
            port = 0;
            return;
        }
        m_clock.start();
        port = server.serverPort();
        int next = 0;
        while (!m_stop) {
            // One wait may take several connections at once; serve them all.
            if (!server.hasPendingConnections() && !server.waitForNewConnection(50))
                continue;
            std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
            int index;
            {
                QMutexLocker lock(&m_mutex);
                index = m_received.size();
                m_received.append(QByteArray());
                m_acceptedAt.append(m_clock.elapsed());
            }
            const Script script = next < m_scripts.size() ? m_scripts.at(next) : Script();
            ++next;
            serve(*socket, script, index);
        }
    }

    static void resetConnection(QTcpSocket &socket)
    {
#ifdef Q_OS_UNIX
        // A zero linger time makes the close send a reset, as a crashed peer would.
        const linger noLinger{ 1, 0 };
        ::setsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
#endif
        socket.abort();
    }

    void record(QTcpSocket &socket, int index)
    {
        const QByteArray bytes = socket.readAll();
        if (bytes.isEmpty())
            return;
        QMutexLocker lock(&m_mutex);
        m_received[index] += bytes;
    }

    void serve(QTcpSocket &socket, const Script &script, int index)
    {
        if (script.readQuery) {
            QElapsedTimer t;
            t.start();
            while (!received().at(index).contains('\n') && t.elapsed() < 3000 && !m_stop) {
                socket.waitForReadyRead(50);
                record(socket, index);
            }
        }
        for (const Step &step : script.steps) {
            if (m_stop || socket.state() != QAbstractSocket::ConnectedState)
                break;
            switch (step.kind) {
            case Step::Send:
                socket.write(step.data);
                socket.waitForBytesWritten(5000);
                break;
            case Step::Pause:
                QThread::msleep(step.ms);
                break;
            case Step::SendForever: {
                const QByteArray block(64 * 1024, 'x');
                QElapsedTimer t;
                t.start();
                while (!m_stop && t.elapsed() < step.ms && socket.state() == QAbstractSocket::ConnectedState) {
                    socket.write(block);
                    socket.waitForBytesWritten(1000);
                }
                break;
            }
            case Step::Reset:
                resetConnection(socket);
                return;
            case Step::Hold: {
                QElapsedTimer t;
                t.start();
                while (!m_stop && t.elapsed() < step.ms && socket.state() == QAbstractSocket::ConnectedState)
                    socket.waitForReadyRead(50);
                break;
            }
            }
        }
        socket.disconnectFromHost();
        if (socket.state() != QAbstractSocket::UnconnectedState)
            socket.waitForDisconnected(1000);
    }

    QList<Script> m_scripts;
    QHostAddress m_address;
    std::unique_ptr<QThread> m_thread;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{ false };
    mutable QMutex m_mutex;
    QList<QByteArray> m_received;
    QList<qint64> m_acceptedAt;
    QElapsedTimer m_clock;
};

#endif
