// A whois server on 127.0.0.1 for timing whole programs: every connection
// gets the same file once its query line has come, then the close. Runs
// until killed.
//
//   build/bench/whois_stub 4343 tests/data/whois/whois.arin.net/n_20.0.0.0_microsoft.txt &

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fputs("Usage: whois_stub PORT REPLY-FILE\n", stderr);
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[2]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "whois_stub: %s\n", qPrintable(file.errorString()));
        return 1;
    }
    const QByteArray reply = file.readAll();
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, quint16(QByteArray(argv[1]).toUInt()))) {
        std::fprintf(stderr, "whois_stub: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    for (;;) {
        if (!server.waitForNewConnection(-1))
            continue;
        std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
        QByteArray query;
        while (!query.contains('\n') && socket->waitForReadyRead(2000))
            query += socket->readAll();
        socket->write(reply);
        socket->disconnectFromHost();
        if (socket->state() != QAbstractSocket::UnconnectedState)
            socket->waitForDisconnected(2000);
    }
}
