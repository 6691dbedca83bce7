#ifndef VANTOR_TESTS_FAKEHTTPSERVER_H
#define VANTOR_TESTS_FAKEHTTPSERVER_H

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>
#include <utility>

// An HTTP or HTTPS server on 127.0.0.1 for tests, with an event loop on a
// thread of its own. Each path has its scripted reply; every request is
// recorded. The HTTPS server's certificate is made by the test (openssl),
// for 127.0.0.1, and is trusted only where the test adds it.
class FakeHttpServer
{
public:
    // "{base}" in a body becomes this server's base URL.
    struct Reply
    {
        int status = 200;
        QByteArray body;
        QList<std::pair<QByteArray, QByteArray>> headers;
        int dripMs = 0; // > 0: the body one byte at a time, this far apart
        qsizetype cutAt = -1; // >= 0: the connection closes after this many bytes of the body
    };
    enum Mode { Http, Https, Mute }; // Mute: takes connections, says nothing, not even TLS

    FakeHttpServer(Mode mode, QHash<QString, Reply> replies)
        : m_mode(mode), m_replies(std::move(replies))
    {
        if (mode == Https && !certificate().isNull())
            m_tls = true;
        std::atomic<int> port{ -1 };
        m_thread.reset(QThread::create([this, &port] { run(port); }));
        m_thread->start();
        while (port.load() < 0)
            QThread::msleep(1);
        m_port = quint16(port.load());
    }

    ~FakeHttpServer()
    {
        m_thread->quit();
        m_thread->wait();
    }

    QString base() const
    {
        return QStringLiteral("%1://127.0.0.1:%2/").arg(m_mode == Http ? "http" : "https").arg(m_port);
    }
    bool ready() const { return m_port != 0 && (m_mode != Https || m_tls); }

    // Sends reply to the next request of path, before its usual one; replies
    // queued for one path go out in order.
    void queue(const QString &path, const Reply &reply)
    {
        QMutexLocker lock(&m_mutex);
        m_queued[path].append(reply);
    }

    // The request lines and headers received, in order.
    QList<QByteArray> requests() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }
    QStringList paths() const
    {
        QStringList list;
        for (const QByteArray &r : requests())
            list << QString::fromLatin1(r.split(' ').value(1));
        return list;
    }

    // The certificate the HTTPS servers of this process present.
    static QSslCertificate certificate() { return credentials().first; }

private:
    static std::pair<QSslCertificate, QSslKey> credentials()
    {
        static const std::pair<QSslCertificate, QSslKey> made = [] {
            QTemporaryDir dir;
            const QString key = dir.filePath(QStringLiteral("key.pem"));
            const QString cert = dir.filePath(QStringLiteral("cert.pem"));
            QProcess::execute(QStringLiteral("openssl"),
                              { "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "2",
                                "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost" });
            QFile c(cert), k(key);
            if (!c.open(QIODevice::ReadOnly) || !k.open(QIODevice::ReadOnly))
                return std::pair<QSslCertificate, QSslKey>();
            return std::make_pair(QSslCertificate(c.readAll()), QSslKey(k.readAll(), QSsl::Rsa));
        }();
        return made;
    }

    void run(std::atomic<int> &port)
    {
        std::unique_ptr<QTcpServer> server;
        if (m_tls) {
            auto *tls = new QSslServer;
            QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
            conf.setLocalCertificate(credentials().first);
            conf.setPrivateKey(credentials().second);
            tls->setSslConfiguration(conf);
            server.reset(tls);
        } else {
            server.reset(new QTcpServer);
        }
        QObject::connect(server.get(), &QTcpServer::pendingConnectionAvailable, server.get(), [this, &server] {
            while (QTcpSocket *socket = server->nextPendingConnection())
                serve(socket);
        });
        port = server->listen(QHostAddress::LocalHost, 0) ? server->serverPort() : 0;
        QEventLoop loop; // ended by QThread::quit()
        loop.exec();
    }

    void serve(QTcpSocket *socket)
    {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (m_mode == Mute)
            return;
        auto request = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
            *request += socket->readAll();
            const qsizetype end = request->indexOf("\r\n\r\n");
            if (end < 0 || request->isEmpty())
                return;
            const QByteArray head = request->left(end);
            request->clear();
            {
                QMutexLocker lock(&m_mutex);
                m_requests.append(head);
            }
            answer(socket, QString::fromLatin1(head.split(' ').value(1)));
        });
    }

    void answer(QTcpSocket *socket, const QString &path)
    {
        Reply reply = m_replies.value(path, Reply{ 404, "{\"errorCode\":404,\"title\":\"Not Found\"}", {}, 0 });
        {
            QMutexLocker lock(&m_mutex);
            if (!m_queued.value(path).isEmpty())
                reply = m_queued[path].takeFirst();
        }
        // Replies may point back here ("{base}"), e.g. a registry's link to a registrar.
        reply.body.replace("{base}", base().toLatin1());
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted\r\n"
                          "Content-Type: application/rdap+json\r\nConnection: close\r\n"
                          "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        for (const auto &h : reply.headers)
            head += h.first + ": " + h.second + "\r\n";
        socket->write(head + "\r\n");
        if (reply.dripMs <= 0) {
            socket->write(reply.cutAt >= 0 ? reply.body.left(reply.cutAt) : reply.body);
            socket->disconnectFromHost();
            return;
        }
        auto *timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, sent, body = reply.body] {
            if (*sent >= body.size()) {
                timer->stop();
                socket->disconnectFromHost();
                return;
            }
            socket->write(body.mid((*sent)++, 1));
        });
        timer->start(reply.dripMs);
    }

    Mode m_mode;
    bool m_tls = false;
    QHash<QString, Reply> m_replies;
    std::unique_ptr<QThread> m_thread;
    quint16 m_port = 0;
    mutable QMutex m_mutex;
    QList<QByteArray> m_requests;
    QHash<QString, QList<Reply>> m_queued;
};

#endif
