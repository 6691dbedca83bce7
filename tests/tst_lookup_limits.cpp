#include <QElapsedTimer>
#include <QStatusBar>
#include <QtTest>

#include "fakehttpserver.h"
#include "fakewhoisserver.h"
#include "lookup/batch.h"
#include "lookup/driver.h"
#include "whois/whoisinfo.h"

using Script = FakeWhoisServer::Script;

// The time bounds of a lookup; each case waits for a limit to run out.
class TestLookupLimits : public QObject
{
    Q_OBJECT

private slots:
    void silentServerIsReported()
    {
        FakeWhoisServer server({ Script().hold(15000) });
        QStatusBar bar;
        WhoisInfo info(&bar, server.endpoints());
        QElapsedTimer t;
        t.start();
        info.lookup(QStringLiteral("192.0.2.1"), QString());
        QVERIFY(t.elapsed() >= WhoisInfo::kFirstReplyTimeoutMs - 100);
        QVERIFY(t.elapsed() < WhoisInfo::kFirstReplyTimeoutMs + 2000);
        QVERIFY(info.response.isEmpty());
        QCOMPARE(bar.currentMessage(), QStringLiteral("No reply from 127.0.0.1"));
    }

    void silentHopKeepsTheEarlierReply()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply("NetRange: 192.0.2.0 - 192.0.2.255\nReferralServer: 127.1\n"),
                                 Script().hold(15000) });
        QStatusBar bar;
        WhoisInfo info(&bar, server.endpoints());
        info.lookup(QStringLiteral("192.0.2.1"), QString());
        QCOMPARE(server.connections(), 2);
        QCOMPARE(info.cidr, QStringLiteral("192.0.2.0/24"));
        QVERIFY(info.response.startsWith(QStringLiteral("NetRange: 192.0.2.0 - 192.0.2.255\nCIDR:")));
        QCOMPARE(bar.currentMessage(), QStringLiteral("No reply from 127.1"));
    }

    void dripIsCutAfter30Seconds()
    {
        // One byte a second never leaves 2 s of silence; the overall limit ends it.
        FakeWhoisServer server({ Script().send("descr: ").drip(QByteArray(60, 'a'), 1000) });
        QStatusBar bar;
        WhoisInfo info(&bar, server.endpoints());
        QElapsedTimer t;
        t.start();
        info.lookup(QStringLiteral("192.0.2.1"), QString());
        QVERIFY(t.elapsed() >= WhoisInfo::kReplyTimeLimitMs - 100);
        QVERIFY(t.elapsed() < WhoisInfo::kReplyTimeLimitMs + 2000);
        // What arrived is kept: about one byte a second.
        QVERIFY2(info.owner.size() >= 25 && info.owner.size() <= 32, qPrintable(info.owner));
        QCOMPARE(bar.currentMessage(), QStringLiteral("Reply from 127.0.0.1 cut off after 30 s"));
    }

    // RDAP's bounds: 10 s to connect and finish TLS with each server, 30 s in all.
    void rdapBounds_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("redirect"); // first to a server that redirects there
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("status");
        QTest::newRow("no TLS handshake") << int(FakeHttpServer::Mute) << false << 10 << "Connection timed out";
        QTest::newRow("no TLS handshake after a redirect") << int(FakeHttpServer::Mute) << true << 10 << "Connection timed out";
        QTest::newRow("a reply that drips") << int(FakeHttpServer::Https) << false << 30
                                            << "Reply from 127.0.0.1 cut off after 30 s";
    }
    void rdapBounds()
    {
        QFETCH(int, mode);
        QFETCH(bool, redirect);
        QFETCH(int, seconds);
        QFETCH(QString, status);
        FakeHttpServer target(FakeHttpServer::Mode(mode),
                              { { "/ip/192.0.2.1", FakeHttpServer::Reply{ 200, QByteArray(100, ' '), {}, 500 } } });
        const QByteArray there = target.base().toLatin1() + "ip/192.0.2.1";
        FakeHttpServer redirecting(FakeHttpServer::Https,
                                   { { "/ip/192.0.2.1", FakeHttpServer::Reply{ 302, "", { { "Location", there } }, 0 } } });
        const FakeHttpServer &server = redirect ? redirecting : target;
        WhoisEndpoints e = FakeWhoisServer::withoutRdap();
        e.rdapServices = [base = server.base()](const route::Query &) { return QStringList{ base }; };
        e.extraCaCertificates = { FakeHttpServer::certificate() };
        e.defaultServer = QStringLiteral("127.0.0.1");
        e.port = 1; // whois, asked after RDAP, is refused at once
        WhoisInfo info(nullptr, e);
        QStringList messages;
        info.progressSink = [&messages](const QString &m) { messages << m; };
        QElapsedTimer t;
        t.start();
        LookupOptions preferRdap;
        preferRdap.preferRdap = true;
        runLookup(info, QStringLiteral("192.0.2.1"), preferRdap);
        QVERIFY(t.elapsed() >= seconds * 1000 - 100);
        QVERIFY(t.elapsed() < seconds * 1000 + 2000);
        QVERIFY2(messages.contains(status), qPrintable(messages.join('|')));
        QCOMPARE(info.asked.first().protocol, QStringLiteral("rdap"));
        QCOMPARE(info.outcome, WhoisInfo::Outcome::Failed);
    }

    // A server that says to slow down: a batch waits as long as it asks
    // and asks once more; the window shows what it said at once, and the
    // server is left alone meanwhile.
    void backOff_data()
    {
        QTest::addColumn<bool>("rdap");
        QTest::addColumn<bool>("batch");
        QTest::addColumn<QString>("said"); // a progress message
        QTest::newRow("whois limit, batch") << false << true << "{server} refused the query: too many queries from this address; asking again in 2 s";
        QTest::newRow("whois limit, window") << false << false << "Waiting 2 s for {server}, which asked for a pause";
        QTest::newRow("RDAP 429, batch") << true << true << "Rate limited by {server}; asking again in 2 s";
        QTest::newRow("RDAP 429, window") << true << false << "Rate limited by {server}, try again after 2 s";
    }
    void backOff()
    {
        QFETCH(bool, rdap);
        QFETCH(bool, batch);
        QFETCH(QString, said);
        FakeWhoisServer whois({ FakeWhoisServer::reply("%ERROR:202: access control limit reached\n"),
                                FakeWhoisServer::reply("descr: x\n") });
        FakeHttpServer http(FakeHttpServer::Https, { { "/ip/192.0.2.1", FakeHttpServer::Reply{ 200, "{\"objectClassName\":\"ip network\",\"handle\":\"X\"}", {}, 0 } } });
        http.queue("/ip/192.0.2.1", FakeHttpServer::Reply{ 429, "", { { "Retry-After", "2" } }, 0 });
        WhoisEndpoints e = whois.endpoints();
        e.serverSpacingMs = WhoisEndpoints().serverSpacingMs;
        e.refusalHoldMs = 2000;
        LookupOptions options;
        if (rdap) {
            e.rdapServices = [base = http.base()](const route::Query &) { return QStringList{ base }; };
            e.extraCaCertificates = { FakeHttpServer::certificate() };
            e.port = 1; // whois, asked after RDAP, is refused at once
            options.preferRdap = true;
        }
        said.replace("{server}", "127.0.0.1");
        QStringList messages;
        QList<LookupResult> results;
        LookupBatch lookups(e, options);
        LookupRunner window;
        connect(&lookups, &LookupBatch::progress, this, [&](int, const QString &m) { messages << m; });
        connect(&lookups, &LookupBatch::resultReady, this, [&](int, const LookupResult &r) { results << r; });
        connect(&window, &LookupRunner::progress, this, [&](quint64, const QString &m) { messages << m; });
        connect(&window, &LookupRunner::finished, this, [&](const LookupResult &r) { results << r; });
        QElapsedTimer t;
        t.start();
        if (batch)
            lookups.run({ "192.0.2.1" });
        else
            window.start("192.0.2.1", e, options);
        QTRY_COMPARE_WITH_TIMEOUT(results.size(), 1, 10000);
        const qint64 first = t.elapsed();
        const int asked = rdap ? int(http.requests().size()) : whois.connections();
        QCOMPARE(asked, batch ? 2 : 1);
        QVERIFY2(batch ? first >= 2000 : first < 1000, qPrintable(QString::number(first)));
        QCOMPARE(results.at(0).hops.first().outcome, net::HopRecord::Outcome::RateLimited);
        QCOMPARE(results.at(0).outcome, batch ? WhoisInfo::Outcome::Answered : WhoisInfo::Outcome::Failed);
        if (!batch) {
            // The window's next query to that server waits out the pause.
            window.start("192.0.2.1", e, options);
            QTRY_COMPARE_WITH_TIMEOUT(results.size(), 2, 10000);
            QVERIFY2(t.elapsed() >= 2000, qPrintable(QString::number(t.elapsed())));
            QCOMPARE(results.at(1).outcome, WhoisInfo::Outcome::Answered);
        }
        QVERIFY2(messages.contains(said), qPrintable(messages.join('|')));
    }
};

QTEST_MAIN(TestLookupLimits)
#include "tst_lookup_limits.moc"
