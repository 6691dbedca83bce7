// The least a Qt program does for one whois query: connect to HOST:PORT,
// send "n + 192.0.2.1" (or the line given), print the reply. Qt Core and
// Network only, the same libraries vantor-cli loads; the yardstick for
// vantor-cli's start (README, "vantor-cli"):
//
//   hyperfine -N -w 5 -r 100 'build/vantor-cli -h 127.0.0.1 -p 4343 192.0.2.1'
//                            'build/bench/bare_client 127.0.0.1 4343'

#include <QByteArray>
#include <QCoreApplication>
#include <QTcpSocket>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fputs("Usage: bare_client HOST PORT [LINE]\n", stderr);
        return 2;
    }
    const QByteArray line = argc > 3 ? QByteArray(argv[3]) : QByteArrayLiteral("n + 192.0.2.1");
    QTcpSocket socket;
    socket.connectToHost(QString::fromLocal8Bit(argv[1]), quint16(QByteArray(argv[2]).toUInt()));
    if (!socket.waitForConnected(5000)) {
        std::fprintf(stderr, "bare_client: %s\n", qPrintable(socket.errorString()));
        return 1;
    }
    socket.write(line + '\n');
    QByteArray reply;
    while (socket.waitForReadyRead(5000))
        reply += socket.readAll();
    reply += socket.readAll();
    std::fwrite(reply.constData(), 1, size_t(reply.size()), stdout);
    return reply.isEmpty() ? 1 : 0;
}
