#include <QElapsedTimer>
#include <QStatusBar>
#include <QtTest>

#include "fakewhoisserver.h"
#include "messagecapture.h"
#include "whois/whoisinfo.h"

using Script = FakeWhoisServer::Script;

namespace {

QByteArray arinReferral(const QByteArray &referral)
{
    return "NetRange:       192.0.2.0 - 192.0.2.255\r\nNetName:        TEST-NET\r\n"
           "ReferralServer:  " + referral + "\r\n\r\nOrgName:        First Org\r\n";
}

const QByteArray kFinal = "% final\ninetnum:        192.0.2.0 - 192.0.2.255\ndescr:          Final Org\ncountry:        DE\n";

// A port on which nothing listens.
quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

} // namespace

// Lookups against servers the test starts itself; the lookup blocks this
// thread while each server answers from its own.
class TestLookup : public QObject
{
    Q_OBJECT

private slots:
    void routes_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("line");

        QTest::newRow("IPv4") << "192.0.2.1" << "whois.arin.net" << "n + 192.0.2.1\n";
        QTest::newRow("four labels count as an address") << "a.b.c.d" << "whois.arin.net" << "n + a.b.c.d\n";
        QTest::newRow("IPv6") << "2001:db8::1" << "whois.arin.net" << "n + 2001:db8::1\n";
        QTest::newRow("com") << "example.com" << "com.whois-servers.net" << "domain example.com\n";
        QTest::newRow("net") << "example.net" << "net.whois-servers.net" << "domain example.net\n";
        QTest::newRow("cc") << "example.cc" << "cc.whois-servers.net" << "domain example.cc\n";
        QTest::newRow("tv") << "example.tv" << "tv.whois-servers.net" << "domain example.tv\n";
        QTest::newRow("de has no keyword") << "example.de" << "de.whois-servers.net" << "example.de\n";
        QTest::newRow("sub-domain") << "example.co.uk" << "uk.whois-servers.net" << "example.co.uk\n";
        QTest::newRow("no dot") << "localhost" << "localhost.whois-servers.net" << "localhost\n";
        QTest::newRow("trailing dot") << "example." << ".whois-servers.net" << "example.\n";
        QTest::newRow("non-ASCII name") << QString::fromUtf8("bücher.de") << "de.whois-servers.net"
                                        << "xn--bcher-kva.de\n";
        QTest::newRow("non-ASCII com") << QString::fromUtf8("bücher.com") << "com.whois-servers.net"
                                       << "domain xn--bcher-kva.com\n";
        QTest::newRow("non-ASCII top-level domain") << QString::fromUtf8("пример.рф") << "xn--p1ai.whois-servers.net"
                                                    << "xn--e1afmkfd.xn--p1ai\n";
    }
    void routes()
    {
        QFETCH(QString, query);
        QFETCH(QString, server);
        QFETCH(QString, line);
        WhoisInfo info(nullptr);
        const WhoisRoute r = info.route(query);
        QCOMPARE(r.server, server);
        QCOMPARE(r.line, line);
    }

    void exactBytesOnTheWire()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply("x\n"), FakeWhoisServer::reply("y\n") });
        WhoisInfo info(nullptr, server.endpoints());
        info.lookup(QStringLiteral("192.0.2.1"), QString());
        info.lookup(QStringLiteral("Example.127"), QString());
        QCOMPARE(server.received(), (QList<QByteArray>{ "n + 192.0.2.1\n", "example.127\n" }));
        QCOMPARE(info.query, QStringLiteral("example.127"));
    }

    void emptyQuerySendsNothing()
    {
        FakeWhoisServer server({});
        QStatusBar bar;
        bar.showMessage(QStringLiteral("earlier"));
        WhoisInfo info(&bar, server.endpoints());
        info.response = QStringLiteral("old");
        info.netRange = QStringLiteral("kept");
        MessageCapture capture;
        info.lookup(QString(), QString());
        QVERIFY(info.response.isEmpty());
        QCOMPARE(info.netRange, QStringLiteral("kept"));
        QVERIFY(capture.take().isEmpty());
        QCOMPARE(bar.currentMessage(), QStringLiteral("earlier"));
        QCOMPARE(server.connections(), 0);
    }

    void twoServerChain()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply(arinReferral("whois://localhost:43")),
                                 FakeWhoisServer::reply(kFinal) });
        QStatusBar bar;
        WhoisInfo info(&bar, server.endpoints());
        MessageCapture capture;
        info.lookup(QStringLiteral("192.0.2.1"), QString());

        // The hop sends the query itself, without the keyword.
        QCOMPARE(server.received(), (QList<QByteArray>{ "n + 192.0.2.1\n", "192.0.2.1\n" }));
        QCOMPARE(capture.take(), (QStringList{
            "\"Connecting to 127.0.0.1\" ",
            "\"Sending query: n + 192.0.2.1\n\" ",
            "\"Found referral server: whois://localhost:43\" ",
            "\"Querying again: n + 192.0.2.1\n on localhost\" ",
            "\"Connecting to localhost\" ",
            "\"Sending query: 192.0.2.1\n\" ",
            "\"Diff: 255\" ",
            "\"Calculated CIDR: 192.0.2.0/24\" ",
            "\"\" ",
        }));
        // Only the last reply is kept, summarised.
        QCOMPARE(info.response, QString::fromLatin1(kFinal).replace("192.0.2.255\n", "192.0.2.255\nCIDR:192.0.2.0/24\n"));
        QCOMPARE(info.owner, QStringLiteral("Final Org"));
        QCOMPARE(info.country, QStringLiteral("Germany"));
        QCOMPARE(info.query, QStringLiteral("192.0.2.1"));
        QVERIFY(bar.currentMessage().isEmpty());
    }

    void bareHostReferralAndDomainHop()
    {
        // "Whois Server" referrals of registries, a bare host name, for a domain.
        FakeWhoisServer server({ FakeWhoisServer::reply("Domain Name: EXAMPLE.127\r\nRegistrar WHOIS Server: 127.1\r\n"),
                                 FakeWhoisServer::reply("Domain Name: example.127\r\nRegistrant: Someone\r\n") });
        WhoisInfo info(nullptr, server.endpoints());
        info.lookup(QStringLiteral("EXAMPLE.127"), QString());
        QCOMPARE(server.received(), (QList<QByteArray>{ "example.127\n", "example.127\n" }));
        QCOMPARE(info.response, QStringLiteral("Domain Name: example.127\nRegistrant: Someone\n"));
    }

    void rwhoisEndsTheLookup()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply(arinReferral("rwhois://127.1:4321")),
                                 FakeWhoisServer::reply(kFinal) });
        QStatusBar bar;
        WhoisInfo info(&bar, server.endpoints());
        info.lookup(QStringLiteral("192.0.2.1"), QString());
        QCOMPARE(server.connections(), 1);
        // No summary, members empty; the line ends are line feeds as
        // everywhere, and the status says why the lookup ended.
        QCOMPARE(info.response, QString::fromLatin1(arinReferral("rwhois://127.1:4321")).remove(QLatin1Char('\r')));
        QVERIFY(info.netRange.isEmpty());
        QCOMPARE(bar.currentMessage(), QStringLiteral("Referral to an rwhois server not followed"));
    }

    void rwhoisIsMatchedExactly()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply("remarks: RWhois elsewhere\nReferralServer: whois://127.1\n"),
                                 FakeWhoisServer::reply(kFinal) });
        WhoisInfo info(nullptr, server.endpoints());
        info.lookup(QStringLiteral("192.0.2.1"), QString());
        QCOMPARE(server.connections(), 2);
        QCOMPARE(info.owner, QStringLiteral("Final Org"));
    }

    void referralLoopsStop_data()
    {
        QTest::addColumn<QList<QByteArray>>("referrals");
        QTest::addColumn<int>("connections");
        QTest::addColumn<QString>("status");
        QTest::newRow("server names itself") << QList<QByteArray>{ "whois://127.0.0.1" } << 1 << "";
        QTest::newRow("names itself in capitals") << QList<QByteArray>{ "LOCALHOST" } << 2 << "";
        QTest::newRow("A to B to A") << QList<QByteArray>{ "127.1", "127.0.0.1" } << 2 << "";
        // Seven names of this machine; the chain stops at six servers.
        QTest::newRow("chain of ten") << QList<QByteArray>{ "127.1", "127.0.1", "2130706433", "0x7f000001",
                                                            "localhost", "127.000.000.001", "127.0.0.2",
                                                            "127.0.0.3", "127.0.0.4", "127.0.0.5" } << 6
                                        << "Referral chain stopped after 6 servers";
    }
    void referralLoopsStop()
    {
        QFETCH(QList<QByteArray>, referrals);
        QFETCH(int, connections);
        QFETCH(QString, status);
        QList<Script> scripts;
        for (const QByteArray &r : referrals)
            scripts.append(FakeWhoisServer::reply("inetnum: 192.0.2.0 - 192.0.2.255\nReferralServer: " + r + "\n"));
        // "LOCALHOST" is asked once: its own reply names localhost again.
        if (referrals.size() == 1 && referrals.first() == "LOCALHOST")
            scripts.append(FakeWhoisServer::reply("ReferralServer: localhost\ninetnum: 192.0.2.0 - 192.0.2.255\n"));
        FakeWhoisServer server(scripts);
        QStatusBar bar;
        bar.showMessage(QStringLiteral("x"));
        WhoisInfo info(&bar, server.endpoints());
        info.lookup(QStringLiteral("192.0.2.1"), QString());
        QCOMPARE(server.connections(), connections);
        // The last reply is treated as one without a referral.
        QCOMPARE(info.cidr, QStringLiteral("192.0.2.0/24"));
        QVERIFY(info.response.contains(QStringLiteral("CIDR:192.0.2.0/24")));
        QCOMPARE(bar.currentMessage(), status);
    }

    void connectionFailures_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("status");
        QTest::newRow("refused port") << "127.0.0.1" << "Connection refused by 127.0.0.1";
        QTest::newRow("unresolvable name") << "no-such-host.invalid" << "Unknown server: no-such-host.invalid";
    }
    void connectionFailures()
    {
        QFETCH(QString, host);
        QFETCH(QString, status);
        WhoisEndpoints e;
        e.defaultServer = host;
        e.port = closedPort();
        QStatusBar bar;
        WhoisInfo info(&bar, e);
        info.response = QStringLiteral("old");
        QElapsedTimer t;
        t.start();
        info.lookup(QStringLiteral("192.0.2.1"), QString());
        QVERIFY(t.elapsed() < WhoisInfo::kConnectTimeoutMs + 1000);
        QVERIFY(info.response.isEmpty());
        QVERIFY(info.netRange.isEmpty() && info.cidr.isEmpty());
        QCOMPARE(bar.currentMessage(), status);
        QCOMPARE(info.formatText(), QStringLiteral("\n"));
    }

    void failedHopKeepsTheEarlierReply()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply(arinReferral("whois://no-such-host.invalid:43")) });
        QStatusBar bar;
        WhoisInfo info(&bar, server.endpoints());
        info.lookup(QStringLiteral("192.0.2.1"), QString());
        QCOMPARE(server.connections(), 1);
        QCOMPARE(bar.currentMessage(), QStringLiteral("Unknown server: no-such-host.invalid"));
        QCOMPARE(info.netRange, QStringLiteral("192.0.2.0 - 192.0.2.255"));
        QCOMPARE(info.owner, QStringLiteral("First Org"));
        QVERIFY(info.response.startsWith(QStringLiteral("NetRange:       192.0.2.0 - 192.0.2.255\nCIDR:192.0.2.0/24\n")));
    }

    void nulBytesAndLineEnds()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply(QByteArray("descr: A\0B\r\n% caf\xe9\r\n", 20)) });
        WhoisInfo info(nullptr, server.endpoints());
        info.lookup(QStringLiteral("192.0.2.1"), QString());
        QCOMPARE(info.response, QString::fromUtf8("descr: AB\n% café\n"));
        QCOMPARE(info.owner, QStringLiteral("AB"));
    }

    void slowFirstReplyIsWaitedFor()
    {
        // Well past the silence limit, within the first-reply limit.
        FakeWhoisServer server({ Script().pause(3500).send(kFinal) });
        QStatusBar bar;
        WhoisInfo info(&bar, server.endpoints());
        info.lookup(QStringLiteral("192.0.2.1"), QString());
        QCOMPARE(info.owner, QStringLiteral("Final Org"));
        QVERIFY(bar.currentMessage().isEmpty());
    }

    void silenceAfterDataEndsTheReply()
    {
        FakeWhoisServer server({ Script().send("descr: first\n").pause(3500).send("descr: late\n") });
        WhoisInfo info(nullptr, server.endpoints());
        QElapsedTimer t;
        t.start();
        info.lookup(QStringLiteral("192.0.2.1"), QString());
        QVERIFY(t.elapsed() < 3400);
        QCOMPARE(info.response, QStringLiteral("descr: first\n"));
    }
};

QTEST_MAIN(TestLookup)
#include "tst_lookup.moc"
