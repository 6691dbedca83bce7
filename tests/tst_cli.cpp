#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryFile>
#include <QtTest>

#include "cli/output.h"
#include "fakewhoisserver.h"
#include "lookup/batch.h"

using Script = FakeWhoisServer::Script;

namespace {

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// vantor-cli as a user runs it, pointed at the test's whois server with -h and
// -p; its standard output into the file out, or into "head -c 1" for "head";
// environment holds "NAME=value" pairs.
Run runCli(const FakeWhoisServer *server, QStringList args, const QByteArray &input = QByteArray(),
           const QString &out = QString(), const QStringList &environment = {})
{
    if (server)
        args = QStringList{ "-h", "127.0.0.1", "-p", QString::number(server->port()) } + args;
    QProcess p, head;
    if (out == QLatin1String("head")) {
        p.setStandardOutputProcess(&head);
        head.setStandardOutputFile(QProcess::nullDevice());
        head.start(QStringLiteral("head"), { "-c", "1" });
    } else if (!out.isEmpty()) {
        p.setStandardOutputFile(out);
    }
    // No proxy of the machine's own, only those the test gives.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "all_proxy", "ALL_PROXY", "https_proxy", "HTTPS_PROXY", "http_proxy", "no_proxy", "NO_PROXY" })
        env.remove(QLatin1String(name));
    for (const QString &e : environment)
        env.insert(e.section('=', 0, 0), e.section('=', 1));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VANTOR_CLI), args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    head.waitForFinished(5000);
    return { p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError() };
}

// Answers every connection holdMs after it came, all of them at once, and
// counts how many are open together: what the registries see of a batch.
// On another loopback address, and the same port, where a test needs hosts.
class CountingServer : public QTcpServer
{
public:
    explicit CountingServer(int holdMs, const QByteArray &reply = "descr: x\n",
                            const QHostAddress &address = QHostAddress(QHostAddress::LocalHost), quint16 port = 0)
    {
        listen(address, port);
        m_clock.start();
        connect(this, &QTcpServer::newConnection, this, [this, holdMs, reply] {
            while (QTcpSocket *s = nextPendingConnection()) {
                m_most = std::max(m_most, ++m_open);
                m_acceptedAt << m_clock.elapsed();
                connect(s, &QTcpSocket::disconnected, this, [this, s] {
                    --m_open;
                    s->deleteLater();
                });
                QTimer::singleShot(holdMs, s, [s, reply] {
                    s->readAll(); // unread bytes would make the close a reset
                    s->write(reply);
                    s->disconnectFromHost();
                });
            }
        });
    }
    int most() const { return m_most; }
    QList<qint64> acceptedAt() const { return m_acceptedAt; }

private:
    int m_open = 0;
    int m_most = 0;
    QElapsedTimer m_clock;
    QList<qint64> m_acceptedAt;
};

// Runs the batch to its end; false where it does not end in time.
bool runBatch(LookupBatch &batch, const QStringList &queries, int timeoutMs)
{
    bool done = false;
    QObject::connect(&batch, &LookupBatch::finished, &batch, [&] { done = true; });
    batch.run(queries);
    QElapsedTimer t;
    t.start();
    while (!done && t.elapsed() < timeoutMs)
        QTest::qWait(20);
    return done;
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
        const QJsonObject facts = first.value("facts").toObject();
        QCOMPARE(facts.value("cidr").toString(), QStringLiteral("192.0.2.0/24"));
        QCOMPARE(facts.value("holder").toString(), QStringLiteral("Example"));
        QCOMPARE(facts.value("source").toString(), "127.0.0.1:" + QString::number(server.port()) + " (whois)");
        QVERIFY(!facts.contains("expires"));
        const QJsonObject hop = first.value("hops").toArray().at(0).toObject();
        QCOMPARE(first.value("hops").toArray().size(), 1);
        QCOMPARE(hop.value("server").toString() + hop.value("outcome").toString(), asked.value("server").toString() + "answered");
        QVERIFY(hop.value("ms").isDouble());
        QCOMPARE(QJsonDocument::fromJson(lines.at(1)).object().value("outcome").toString(), QStringLiteral("failed"));
        QVERIFY(r.err.contains("999.1.1.1: Not a valid address: 999.1.1.1"));
    }

    // --facts: aligned lines in place of the reply; several values on one line.
    void factsOutput_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("json"); // the "facts" member, compact
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("a domain")
            << QByteArray("Domain Name: EXAMPLE.COM\nRegistrar: MarkMonitor Inc.\nRegistrar IANA ID: 292\nRegistry Expiry Date: "
                          "2028-09-14T04:00:00Z\nName Server: NS1.EXAMPLE.COM\nName Server: ns2.example.com.\n"
                          "Registrant Organization: REDACTED FOR PRIVACY\n") << QByteArray("example.com")
            << QByteArray("\"expires\":\"2028-09-14T04:00:00Z\",\"expires_utc\":\"2028-09-14T04:00:00Z\",\"name_servers\":"
                          "[\"ns1.example.com\",\"ns2.example.com\"],\"registrant_org\":\"redacted\"")
            << QByteArray("Domain          example.com\nDomain (ASCII)  example.com\nRegistrar       MarkMonitor Inc. (IANA 292)\n"
                          "Registrant      redacted\nExpires         2028-09-14T04:00:00Z\n"
                          "Name servers    ns1.example.com, ns2.example.com\nSource          127.0.0.1:PORT (whois)\n");
        QTest::newRow("nothing to tell") << QByteArray("% no match\n") << QByteArray("192.0.2.1") << QByteArray("{}")
                                         << QByteArray("(no facts in the reply)\n");
    }
    void factsOutput()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, out);
        FakeWhoisServer server({ FakeWhoisServer::reply(reply), FakeWhoisServer::reply(reply) });
        const Run r = runCli(&server, { "--facts", query });
        QCOMPARE(r.out, QByteArray(out).replace("PORT", QByteArray::number(server.port())));
        QVERIFY2(runCli(&server, { "--json", query }).out.contains(json), json.constData());
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
        QTest::addColumn<QString>("out");  // where standard output goes
        QTest::addColumn<bool>("flood");   // the server sends more than 4 MiB
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("stderrHas"); // once; nothing at all where empty
        QTest::addColumn<int>("sent");     // connections the server saw
        const QStringList three{ "192.0.2.1", "192.0.2.2", "192.0.2.3" };
        QTest::newRow("all answered") << QStringList{ "192.0.2.1" } << "" << false << 0 << QByteArray() << 1;
        QTest::newRow("one says nothing") << QStringList{ "192.0.2.1", "192.0.2.2" } << "" << false << 1
                                          << QByteArray("vantor-cli: 192.0.2.2: No reply from 127.0.0.1:{port}\n") << 2;
        QTest::newRow("a blank query is not sent") << QStringList{ "192.0.2.1", " " } << "" << false << 1
                                                   << QByteArray("vantor-cli:  : empty query") << 1;
        QTest::newRow("a reply cut at 4 MiB") << QStringList{ "192.0.2.1" } << "" << true << 0
                                              << QByteArray("vantor-cli: 192.0.2.1: Reply from 127.0.0.1:{port} cut off at 4 MiB\n") << 1;
        QTest::newRow("a full disk") << three << "/dev/full" << false << 1
                                     << QByteArray("vantor-cli: cannot write output: No space left on device\n") << 1;
        QTest::newRow("a reader gone") << (three + QStringList{ "192.0.2.4", "192.0.2.5" }) << "head" << false << 1
                                       << QByteArray("vantor-cli: cannot write output: Broken pipe\n") << 1;
        QTest::newRow("unknown option") << QStringList{ "--colour" } << "" << false << 2 << QByteArray("unknown option --colour") << 0;
        QTest::newRow("no query") << QStringList{} << "" << false << 2 << QByteArray("no query given") << 0;
        QTest::newRow("bad port") << QStringList{ "-p", "70000", "x" } << "" << false << 2 << QByteArray("not a port: 70000") << 0;
        QTest::newRow("missing file") << QStringList{ "-f", "/nonexistent/q" } << "" << false << 2
                                      << QByteArray("cannot read /nonexistent/q") << 0;
        QTest::newRow("-v: a line per server at the end") << QStringList{ "-v", "192.0.2.1", "192.0.2.2" } << "" << false << 1
                                                        << QByteArray("vantor-cli: 127.0.0.1:{port}: 2 queries, 1 answer, 1 failure, 0 waits\n") << 2;
        QTest::newRow("no server name") << QStringList{ "-h", "", "192.0.2.1" } << "" << false << 2
                                        << QByteArray("not a server name: ''") << 0;
        QTest::newRow("a blank server name") << QStringList{ "-h", " ", "192.0.2.1" } << "" << false << 2
                                             << QByteArray("not a server name: ' '") << 0;
        // The proxy from the environment ("NAME=value" here) or --proxy;
        // nothing listens on port 1.
        const QString refusing = QStringLiteral("ALL_PROXY=socks5h://127.0.0.1:1");
        QTest::newRow("ALL_PROXY") << QStringList{ refusing, "192.0.2.1" } << "" << false << 1
                                   << QByteArray("vantor-cli: 192.0.2.1: Proxy 127.0.0.1:1 refused the connection\n") << 0;
        QTest::newRow("NO_PROXY past it") << QStringList{ refusing, "NO_PROXY=127.0.0.1", "192.0.2.1" } << "" << false << 0
                                          << QByteArray() << 1;
        QTest::newRow("--proxy '' past it") << QStringList{ refusing, "--proxy", "", "192.0.2.1" } << "" << false << 0
                                            << QByteArray() << 1;
        // An HTTP proxy in place of the unusable one: whois goes past it.
        QTest::newRow("--proxy in its place") << QStringList{ "ALL_PROXY=socks4://x", "--proxy", "127.0.0.1:1", "192.0.2.1" }
                                              << "" << false << 0 << QByteArray() << 1;
        QTest::newRow("an unusable proxy") << QStringList{ "all_proxy=socks4://x", "192.0.2.1" } << "" << false << 2
            << QByteArray("vantor-cli: all_proxy: unsupported proxy scheme socks4 (socks5h://, socks5:// and http:// are)\n")
            << 0;
    }
    void exitStatuses()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, out);
        QFETCH(bool, flood);
        QFETCH(int, status);
        QFETCH(QByteArray, stderrHas);
        QFETCH(int, sent);
        // One reply, but for every query where the output fails: only the
        // failed write may stop them.
        const Script script = flood ? Script().sendForever(20000) : FakeWhoisServer::reply("descr: A\n");
        FakeWhoisServer server(QList<Script>(out.isEmpty() ? 1 : int(args.size()), script));
        QStringList environment;
        while (!args.isEmpty() && args.first().contains(QLatin1Char('=')))
            environment.append(args.takeFirst());
        const Run r = runCli(status == 2 && environment.isEmpty() ? nullptr : &server, args, QByteArray(), out, environment);
        QCOMPARE(r.status, status);
        stderrHas.replace("{port}", QByteArray::number(server.port()));
        if (stderrHas.isEmpty())
            QVERIFY2(r.err.isEmpty(), r.err.constData());
        else
            QVERIFY2(r.err.count(stderrHas) == 1, r.err.constData());
        QCOMPARE(server.connections(), sent);
        if (status == 0)
            QVERIFY(r.out.size() > (flood ? 4 * 1024 * 1024 - 64 : 0)); // a cut reply is printed too
    }

    void controlsFromAServerAreEscaped_data()
    {
        QTest::addColumn<QString>("text");     // a result's text, as a server's reply makes it
        QTest::addColumn<QByteArray>("plain"); // as the text output shows it
        QTest::addColumn<QByteArray>("json");  // the "text" member as written, without the quotes
        QTest::newRow("C0 and C1") << QString::fromUtf8("descr:\t\x1b[2J\x1b]0;owned\x07 x\nremarks:\t\xc2\x9b" "31m\x7f\n")
                                   << QByteArray("descr:\t\\x1b[2J\\x1b]0;owned\\x07 x\nremarks:\t\\x9b31m\\x7f\n")
                                   << QByteArray("descr:\\t\\u001b[2J\\u001b]0;owned\\u0007 x\\nremarks:\\t\xc2\x9b" "31m\x7f\\n");
        // The text output must show what was sent, not what the controls make
        // of it ("invoiceexe.jpg"); JSON readers get the characters themselves.
        const QString bidi = QString::fromUtf8("name:\tinvoice\u202Egpj.exe \u2066a\u2069 \u200F\u061C\u202A\n");
        QTest::newRow("bidi controls") << bidi
                                       << QByteArray("name:\tinvoice\\u202Egpj.exe \\u2066a\\u2069 \\u200F\\u061C\\u202A\n")
                                       << bidi.toUtf8().replace("\t", "\\t").replace("\n", "\\n");
        // Only RDAP's JSON can bring these ("\ud800"); a pair stays as it is.
        const char16_t lone[] = u"name:\ta\xD800 b\xDFFF c\xDE00\xD83D \U0001F600\n";
        QTest::newRow("lone surrogates") << QString::fromUtf16(lone)
                                         << QByteArray("name:\ta\xEF\xBF\xBD b\xEF\xBF\xBD c\xEF\xBF\xBD\xEF\xBF\xBD \xF0\x9F\x98\x80\n")
                                         << QByteArray("name:\\ta\xEF\xBF\xBD b\xEF\xBF\xBD c\xEF\xBF\xBD\xEF\xBF\xBD \xF0\x9F\x98\x80\\n");
    }
    void controlsFromAServerAreEscaped()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, json);
        LookupResult result;
        result.text = text;
        QCOMPARE(escapeControls(text).toUtf8(), plain);
        QVERIFY2(jsonLine(result).contains("\"text\":\"" + json + '"'), jsonLine(result).constData());
        if (!text.isValidUtf16())
            return; // no whois reply decodes to that
        // The same from a whois server, through the program; each run has a
        // server of its own. The result text ends in one more line feed.
        FakeWhoisServer server({ FakeWhoisServer::reply(text.toUtf8()) });
        QCOMPARE(runCli(&server, { "192.0.2.1" }).out, plain + '\n');
        FakeWhoisServer again({ FakeWhoisServer::reply(text.toUtf8()) });
        const Run j = runCli(&again, { "--json", "192.0.2.1" });
        QVERIFY2(j.out.contains("\"text\":\"" + json + "\\n\""), j.out.constData());
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
        CountingServer server(500);
        WhoisEndpoints endpoints = FakeWhoisServer::withoutRdap();
        endpoints.serverSpacingMs = WhoisEndpoints().serverSpacingMs;
        endpoints.port = server.serverPort();
        endpoints.resolve = [](const QString &) { return QList<QHostAddress>{ QHostAddress(QHostAddress::LocalHost) }; };
        LookupBatch batch(endpoints, LookupOptions());
        const QStringList queries{ "192.0.2.1", "192.0.2.2", "SK1-RIPE", "ABC1-AP", "example.de", "example.nl" };
        QCOMPARE(batch.serverOf(queries.at(0)), "whois.arin.net:" + QString::number(server.serverPort()));
        QCOMPARE(batch.serverOf(QStringLiteral(" ")), QString());
        // Numbers go to the registry that holds them; reserved space to the default server.
        QCOMPARE(batch.serverOf(QStringLiteral("193.0.6.139")), "whois.ripe.net:" + QString::number(server.serverPort()));
        QCOMPARE(batch.serverOf(QStringLiteral("10.0.0.1")), "whois.arin.net:" + QString::number(server.serverPort()));
        QSet<QString> servers;
        for (const QString &q : queries)
            servers.insert(batch.serverOf(q));
        QCOMPARE(servers.size(), 5);
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
        batch.run(queries);
        QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
        QCOMPARE(order, (QList<int>{ 0, 1, 2, 3, 4, 5 }));
        QCOMPARE(started.size(), queries.size());
        QVERIFY2(started.value(1) - started.value(0) >= 990, "ARIN twice, a second apart");
        QVERIFY2(started.value(2) < 400 && started.value(3) < 400, "RIPE and APNIC at once");
        QVERIFY2(started.value(5) >= 400, "the fifth server waits for a free place");
        QCOMPARE(server.most(), LookupBatch::kMaxInFlight);
        const QList<LookupBatch::ServerTally> tally = batch.tally();
        const auto arin = std::find_if(tally.cbegin(), tally.cend(), [](const LookupBatch::ServerTally &t) {
            return t.server == QLatin1String("whois.arin.net"); // on the endpoints' own port
        });
        QVERIFY(arin != tally.cend());
        QCOMPARE(arin->queries, 2);
        QCOMPARE(arin->answers, 2);
        QCOMPARE(tally.size(), 5);
    }

    // Two lookups that start at different servers and are both referred to
    // a third: there they never overlap, and start at least its spacing
    // apart, the table's where it gives a longer one.
    void pacingAcrossHops_data()
    {
        QTest::addColumn<QString>("referred");
        QTest::addColumn<int>("spacingMs");
        QTest::newRow("every server") << "whois.referred.example" << 1000;
        QTest::newRow("a longer spacing from the table") << "whois.tcinet.ru" << 5000;
    }
    void pacingAcrossHops()
    {
        QFETCH(QString, referred);
        QFETCH(int, spacingMs);
        const QByteArray refer = "Whois Server: " + referred.toLatin1() + "\nReferralServer: whois://" + referred.toLatin1() + "\n";
        CountingServer first(0, "NetRange: 192.0.2.0 - 192.0.2.255\n" + refer);
        CountingServer second(0, "Domain Name: example.de\n" + refer, QHostAddress("127.0.0.2"), first.serverPort());
        CountingServer there(1200, "descr: x\n", QHostAddress("127.0.0.3"), first.serverPort());
        QVERIFY(second.isListening() && there.isListening());
        WhoisEndpoints endpoints = FakeWhoisServer::withoutRdap();
        endpoints.serverSpacingMs = WhoisEndpoints().serverSpacingMs;
        endpoints.port = first.serverPort();
        endpoints.resolve = [referred](const QString &name) {
            const char *address = name == referred ? "127.0.0.3" : name == QLatin1String("whois.denic.de") ? "127.0.0.2" : "127.0.0.1";
            return QList<QHostAddress>{ QHostAddress(QString::fromLatin1(address)) };
        };
        LookupBatch batch(endpoints, LookupOptions());
        QStringList servers;
        connect(&batch, &LookupBatch::resultReady, this, [&](int, const LookupResult &r) {
            for (const WhoisInfo::Asked &a : r.asked)
                servers << a.server;
        });
        QVERIFY(runBatch(batch, { "192.0.2.1", "example.de" }, spacingMs + 10000));
        QCOMPARE(servers.count(referred), 2);
        QCOMPARE(first.acceptedAt().size(), 1);
        QCOMPARE(second.acceptedAt().size(), 1);
        QVERIFY2(std::abs(first.acceptedAt().at(0) - second.acceptedAt().at(0)) < 500, "the first servers at once");
        QCOMPARE(there.acceptedAt().size(), 2);
        QCOMPARE(there.most(), 1);
        QVERIFY2(there.acceptedAt().at(1) - there.acceptedAt().at(0) >= spacingMs - 10,
                 qPrintable(QString::number(there.acceptedAt().at(1) - there.acceptedAt().at(0))));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
