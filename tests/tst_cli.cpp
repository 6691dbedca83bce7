#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryFile>
#include <QtTest>

#include "fakewhoisserver.h"
#include "whois/batch.h"

using Script = FakeWhoisServer::Script;

namespace {

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// vantor-cli as a user runs it, pointed at the test's whois server with -h and -p.
Run runCli(const FakeWhoisServer *server, QStringList args, const QByteArray &input = QByteArray())
{
    if (server)
        args = QStringList{ "-h", "127.0.0.1", "-p", QString::number(server->port()) } + args;
    QProcess p;
    p.start(QStringLiteral(VANTOR_CLI), args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return { p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError() };
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void textOfTwoQueriesInOrder()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply("inetnum: 192.0.2.0 - 192.0.2.255\r\ncountry: DE\r\n"),
                                 FakeWhoisServer::reply("% second\ndescr:   B\n") });
        const Run r = runCli(&server, { "192.0.2.1", "198.51.100.1" });
        QCOMPARE(r.status, 0);
        // The window's text for each, a blank line between the two.
        QCOMPARE(r.out, QByteArray("inetnum:\t192.0.2.0 - 192.0.2.255\nCIDR:\t192.0.2.0/24\ncountry:\tDE\n\n"
                                   "\n"
                                   "% second\ndescr:\tB\n\n"));
        QCOMPARE(server.received(), (QList<QByteArray>{ "n + 192.0.2.1\n", "n + 198.51.100.1\n" }));
        // One server: the second query starts a second after the first.
        QVERIFY(server.acceptedAt().value(1) - server.acceptedAt().value(0) >= 990);
        QVERIFY(r.err.isEmpty());
    }

    void jsonLinesParseBack()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply("inetnum: 192.0.2.0 - 192.0.2.255\ndescr: Example\ncountry: US\n") });
        const Run r = runCli(&server, { "--json", "192.0.2.1", "999.1.1.1" });
        QCOMPARE(r.status, 1);
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        const QJsonObject first = QJsonDocument::fromJson(lines.at(0)).object();
        QCOMPARE(first.value("query").toString(), QStringLiteral("192.0.2.1"));
        QCOMPARE(first.value("kind").toString(), QStringLiteral("ipv4"));
        QCOMPARE(first.value("outcome").toString(), QStringLiteral("answered"));
        const QJsonObject asked = first.value("servers").toArray().at(0).toObject();
        QCOMPARE(asked.value("server").toString(), "127.0.0.1:" + QString::number(server.port()));
        QCOMPARE(asked.value("protocol").toString(), QStringLiteral("whois"));
        const QJsonObject summary = first.value("summary").toObject();
        QCOMPARE(summary.value("range").toString(), QStringLiteral("192.0.2.0 - 192.0.2.255"));
        QCOMPARE(summary.value("cidr").toString(), QStringLiteral("192.0.2.0/24"));
        QCOMPARE(summary.value("owner").toString(), QStringLiteral("Example"));
        QCOMPARE(summary.value("country").toString(), QStringLiteral("United States"));
        QVERIFY(first.value("text").toString().startsWith(QStringLiteral("inetnum:\t192.0.2.0")));
        QCOMPARE(QJsonDocument::fromJson(lines.at(1)).object().value("outcome").toString(), QStringLiteral("failed"));
        QVERIFY(r.err.contains("999.1.1.1: Not a valid address: 999.1.1.1"));
    }

    void fileWithComments()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply("descr: A\n") });
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write("# addresses from the log\n\n   \n192.0.2.1\n  # indented comment\n");
        file.close();
        const Run r = runCli(&server, { "-f", file.fileName() });
        QCOMPARE(r.status, 0);
        QCOMPARE(server.received(), QList<QByteArray>{ "n + 192.0.2.1\n" });
        // And from standard input.
        FakeWhoisServer again({ FakeWhoisServer::reply("descr: A\n") });
        QCOMPARE(runCli(&again, { "-f", "-" }, "#x\n192.0.2.1\n").out, QByteArray("descr:\tA\n\n"));
    }

    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("stderrHas");
        QTest::newRow("all answered") << QStringList{ "192.0.2.1" } << 0 << QByteArray();
        QTest::newRow("one says nothing") << QStringList{ "192.0.2.1", "192.0.2.2" } << 1
                                          << QByteArray("vantor-cli: 192.0.2.2: No reply from 127.0.0.1:");
        QTest::newRow("a blank query is not sent") << QStringList{ "192.0.2.1", " " } << 1
                                                   << QByteArray("vantor-cli:  : empty query");
        QTest::newRow("unknown option") << QStringList{ "--colour" } << 2 << QByteArray("unknown option --colour");
        QTest::newRow("no query") << QStringList{} << 2 << QByteArray("no query given");
        QTest::newRow("bad port") << QStringList{ "-p", "70000", "x" } << 2 << QByteArray("not a port: 70000");
        QTest::newRow("missing file") << QStringList{ "-f", "/nonexistent/q" } << 2 << QByteArray("cannot read /nonexistent/q");
    }
    void exitStatuses()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QByteArray, stderrHas);
        FakeWhoisServer server({ FakeWhoisServer::reply("descr: A\n") });
        const Run r = runCli(status == 2 ? nullptr : &server, args);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(stderrHas), r.err.constData());
        QCOMPARE(server.connections(), status == 2 ? 0 : int(args.size() - args.count(QStringLiteral(" "))));
    }

    void controlsFromAServerAreEscaped()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply("descr: \x1b[2J\x1b]0;owned\x07 x\r\nremarks: \xc2\x9b" "31m\x7f\n") });
        const Run r = runCli(&server, { "192.0.2.1" });
        QCOMPARE(r.out, QByteArray("descr:\t\\x1b[2J\\x1b]0;owned\\x07 x\nremarks:\t\\x9b31m\\x7f\n\n"));
        const Run json = runCli(&server, { "--json", "192.0.2.1" });
        QVERIFY(!json.out.contains('\x1b'));
    }

    void helpAndVersion()
    {
        const Run help = runCli(nullptr, { "--help" });
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.startsWith("Usage: vantor-cli"));
        QCOMPARE(runCli(nullptr, { "--version" }).out, QByteArray("vantor-cli " VANTOR_VERSION "\n"));
    }

    // Pacing, in the process: queries to different servers start together,
    // two to the same server a second apart, never more than four at once.
    void pacing()
    {
        FakeWhoisServer server(QList<Script>(4, FakeWhoisServer::reply("descr: x\n")));
        LookupBatch batch(server.realNames(), LookupOptions());
        QCOMPARE(batch.serverOf(QStringLiteral("192.0.2.1")), "whois.arin.net:" + QString::number(server.port()));
        QCOMPARE(batch.serverOf(QStringLiteral(" ")), QString());
        QElapsedTimer clock;
        QHash<int, qint64> started;
        connect(&batch, &LookupBatch::progress, this, [&](int index, const QString &m) {
            if (m.startsWith(QLatin1String("Connecting to")) && !started.contains(index))
                started.insert(index, clock.elapsed());
        });
        QList<int> order;
        connect(&batch, &LookupBatch::resultReady, this, [&](int index, const LookupResult &) { order << index; });
        bool done = false;
        connect(&batch, &LookupBatch::finished, this, [&] { done = true; });
        clock.start();
        batch.run({ "192.0.2.1", "192.0.2.2", "SK1-RIPE", "ABC1-AP" });
        QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
        QCOMPARE(order, (QList<int>{ 0, 1, 2, 3 }));
        QVERIFY2(started.value(1) - started.value(0) >= 990, "ARIN twice, a second apart");
        QVERIFY2(started.value(2) < 500 && started.value(3) < 500, "RIPE and APNIC at once");
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
