#include <QElapsedTimer>
#include <QFile>
#include <QStatusBar>
#include <QtTest>

#include "fakeproxy.h"
#include "fakewhoisserver.h"
#include "whois/whoisinfo.h"

using Script = FakeWhoisServer::Script;

namespace {

// Peak resident memory of this process so far, in KiB (Linux).
qint64 peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

const QByteArray kFirst = "NetRange:       192.0.2.0 - 192.0.2.255\nOrgName:        First Org\n";

} // namespace

// Servers that are broken or hostile. Whatever they do, the lookup ends
// within its bounds, keeps what it received, and says what happened.
class TestHostile : public QObject
{
    Q_OBJECT

private:
    struct Outcome
    {
        QString response;
        QString status;
        QString owner;
        QString cidr;
        WhoisInfo::Outcome outcome = WhoisInfo::Outcome::None;
        int connections = 0;
        QList<QByteArray> received;
        qint64 ms = 0;
    };

    Outcome run(const QList<Script> &scripts, const QString &query = QStringLiteral("192.0.2.1"))
    {
        FakeWhoisServer server(scripts);
        QStatusBar bar;
        bar.showMessage(QStringLiteral("before"));
        WhoisInfo info(&bar, server.endpoints());
        QElapsedTimer t;
        t.start();
        info.lookup(query, QString());
        Outcome o;
        o.ms = t.elapsed();
        o.response = info.response;
        o.status = bar.currentMessage();
        o.owner = info.owner;
        o.cidr = info.cidr;
        o.outcome = info.outcome;
        o.received = server.received();
        o.connections = o.received.size();
        // Whatever came, the result text renders.
        const QString text = info.formatText();
        if (!text.endsWith(QLatin1Char('\n')))
            o.status = QStringLiteral("<result text without its final line feed>");
        return o;
    }

    static Script referral(const QByteArray &value) { return FakeWhoisServer::reply(kFirst + "ReferralServer: " + value + "\n"); }

private slots:
    // Faults found by trying the program as a user would: what a careless
    // paste puts on the wire, hops that say nothing, referrals that are no
    // referrals, and registries that refuse.
    void pastesAndEmptyHops_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QList<QByteArray>>("replies");
        QTest::addColumn<QList<QByteArray>>("wire");
        QTest::addColumn<QString>("response");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("answered"); // the outcome is Answered, not Failed or None

        const QByteArray x = "descr: x\n";
        const QList<QByteArray> one{ x };
        const QString kept = QStringLiteral("NetRange:       192.0.2.0 - 192.0.2.255\nCIDR:192.0.2.0/24\n"
                                            "OrgName:        First Org\nReferralServer: 127.1\n");
        QTest::newRow("trailing blank") << "example.127 " << one << QList<QByteArray>{ "example.127\n" } << "descr: x\n" << "" << true;
        QTest::newRow("leading blank") << " 192.0.2.1" << one << QList<QByteArray>{ "n + 192.0.2.1\n" } << "descr: x\n" << "" << true;
        QTest::newRow("pasted line end") << "192.0.2.1\n" << one << QList<QByteArray>{ "n + 192.0.2.1\n" } << "descr: x\n" << "" << true;
        QTest::newRow("pasted second line") << "192.0.2.1\nfoo\x1b" << one << QList<QByteArray>{ "192.0.2.1 foo\n" }
                                            << "descr: x\n" << "" << true;
        QTest::newRow("tab, CR and NUL") << QString::fromLatin1("\t192.0.2.1\r\0", 12) << one
                                         << QList<QByteArray>{ "n + 192.0.2.1\n" } << "descr: x\n" << "" << true;
        QTest::newRow("blanks and controls only") << " \t\n\x7f " << one << QList<QByteArray>{} << "" << "before" << false;
        const QByteArray hop = kFirst + "ReferralServer: 127.1\n";
        QTest::newRow("hop of blank lines") << "192.0.2.1" << QList<QByteArray>{ hop, "\n \n\t\n" }
                                            << QList<QByteArray>{ "n + 192.0.2.1\n", "192.0.2.1\n" } << kept << "No reply from 127.1" << true;
        QTest::newRow("hop of CR LF") << "192.0.2.1" << QList<QByteArray>{ hop, "\r\n\r\n\r\n" }
                                      << QList<QByteArray>{ "n + 192.0.2.1\n", "192.0.2.1\n" } << kept << "No reply from 127.1" << true;
        QTest::newRow("hop of NULs") << "192.0.2.1" << QList<QByteArray>{ hop, QByteArray(64, '\0') }
                                     << QList<QByteArray>{ "n + 192.0.2.1\n", "192.0.2.1\n" } << kept << "No reply from 127.1" << true;
        QTest::newRow("referrals in comments are not followed")
            << "192.0.2.1" << QList<QByteArray>{ "% ReferralServer: whois://127.1\n# Whois Server: 127.1\ndescr: x\n", x }
            << QList<QByteArray>{ "n + 192.0.2.1\n" }
            << "% ReferralServer: whois://127.1\n# Whois Server: 127.1\ndescr: x\n" << "" << true;
        QTest::newRow("a real referral after a quoted one")
            << "192.0.2.1" << QList<QByteArray>{ "% Whois Server: nowhere.invalid\nReferralServer: 127.1\n", x }
            << QList<QByteArray>{ "n + 192.0.2.1\n", "192.0.2.1\n" } << "descr: x\n" << "" << true;

        // Registries that refuse: the first server's refusal is the failed
        // lookup's result; a hop's refusal keeps the earlier reply. Only a
        // short reply with the words at the start of a line is a refusal.
        const QByteArray switchText = "Requests of this client are not permitted. Please use https://www.nic.ch/whois/ for queries.\n";
        const QByteArray ripeText = "% This is the RIPE Database query service.\n% The objects are in RPSL format.\n%\n"
                                    "%ERROR:201: access denied for 192.0.2.99\n%\n"
                                    "% Sorry, access from your host has been permanently\n"
                                    "% denied because of a repeated excessive querying.\n";
        const QList<QByteArray> first{ "n + 192.0.2.1\n" };
        QTest::newRow("first server refuses") << "192.0.2.1" << QList<QByteArray>{ switchText } << first
                                              << QString::fromLatin1(switchText) << "127.0.0.1 refused the query" << false;
        QTest::newRow("RIPE's access denied") << "192.0.2.1" << QList<QByteArray>{ ripeText } << first
                                              << QString::fromLatin1(ripeText) << "127.0.0.1 refused the query" << false;
        QTest::newRow("hop limits the rate")
            << "192.0.2.1" << QList<QByteArray>{ hop, "%ERROR:201: access control limit reached for 192.0.2.99\n%\n" }
            << QList<QByteArray>{ "n + 192.0.2.1\n", "192.0.2.1\n" } << kept
            << "127.1 refused the query: too many queries from this address" << true;
        const QByteArray quoted = "descr: x\nremarks: Requests of this client are not permitted\n";
        QTest::newRow("refusal quoted in a remark") << "192.0.2.1" << QList<QByteArray>{ quoted } << first
                                                    << QString::fromLatin1(quoted) << "" << true;
        const QByteArray record = "descr: x\n" + QByteArray(5000, '#') + "\nRequests of this client are not permitted\n";
        QTest::newRow("long record with the words on a line")
            << "192.0.2.1" << QList<QByteArray>{ record } << first << QString::fromLatin1(record) << "" << true;
    }

    void pastesAndEmptyHops()
    {
        QFETCH(QString, query);
        QFETCH(QList<QByteArray>, replies);
        QFETCH(QList<QByteArray>, wire);
        QFETCH(QString, response);
        QFETCH(QString, status);
        QFETCH(bool, answered);
        QList<Script> scripts;
        for (const QByteArray &r : replies)
            scripts.append(FakeWhoisServer::reply(r));
        const Outcome o = run(scripts, query);
        QCOMPARE(o.received, wire);
        QCOMPARE(o.response, response);
        QCOMPARE(o.status, status);
        QCOMPARE(o.outcome == WhoisInfo::Outcome::Answered, answered);
    }

    void endlessDataStaysWithinMemoryAndTime()
    {
        const qint64 before = peakRssKiB();
        const Outcome o = run({ Script().send("descr: endless\n").sendForever(40000) });
        QVERIFY(o.ms < 15000);
        QCOMPARE(o.response.size(), qsizetype(WhoisInfo::kReplySizeLimit));
        QVERIFY(o.response.startsWith(QStringLiteral("descr: endless\nxxxx")));
        QCOMPARE(o.owner, QStringLiteral("endless"));
        QCOMPARE(o.status, QStringLiteral("Reply from 127.0.0.1 cut off at 4 MiB"));
        // A few copies of 4 MiB of text at most, not what the server sent.
        if (before > 0)
            QVERIFY2(peakRssKiB() - before < 128 * 1024, qPrintable(QString::number(peakRssKiB() - before)));
    }

    void oneLineOf2MiB()
    {
        const QByteArray line = "descr: " + QByteArray(2 * 1024 * 1024, 'y') + "\n";
        const Outcome o = run({ FakeWhoisServer::reply(line) });
        QVERIFY(o.ms < 10000);
        QCOMPARE(o.response.size(), qsizetype(line.size()));
        QCOMPARE(o.owner.size(), qsizetype(2 * 1024 * 1024));
        QVERIFY(o.status.isEmpty());
    }

    void everyByteValue()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        const Outcome o = run({ FakeWhoisServer::reply("% bytes: " + all + "\ndescr: after\n") });
        // NULs go; every other byte is its Latin-1 character, CRs as line ends.
        QByteArray expected = "% bytes: " + all + "\ndescr: after\n";
        expected.replace('\0', QByteArray());
        QString text = QString::fromLatin1(expected);
        text.replace(QStringLiteral("\r"), QStringLiteral("\n"));
        QCOMPARE(o.response, text);
        QCOMPARE(o.owner, QStringLiteral("after"));
    }

    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("owner");
        QTest::newRow("CR only") << QByteArray("inetnum: 192.0.2.0 - 192.0.2.255\rdescr: Mac\rcountry: FR\r") << "Mac";
        QTest::newRow("mixed") << QByteArray("inetnum: 192.0.2.0 - 192.0.2.255\r\ndescr: Mixed\rcountry: FR\n") << "Mixed";
    }
    void lineEnds()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, owner);
        const Outcome o = run({ FakeWhoisServer::reply(reply) });
        QCOMPARE(o.owner, owner);
        QCOMPARE(o.cidr, QStringLiteral("192.0.2.0/24"));
        QVERIFY(!o.response.contains(QLatin1Char('\r')));
        QVERIFY(o.response.contains(QStringLiteral("192.0.2.255\nCIDR:192.0.2.0/24\n")));
    }

    void resetAfterData()
    {
        const Outcome o = run({ Script().send(kFirst).pause(300).reset() });
        QCOMPARE(o.owner, QStringLiteral("First Org"));
        QVERIFY(o.status.isEmpty());
    }

    void resetBeforeData()
    {
        Script s;
        s.readQuery = false;
        const Outcome o = run({ s.reset() });
        QVERIFY(o.ms < 3000);
        QVERIFY(o.response.isEmpty());
        QCOMPARE(o.status, QStringLiteral("No reply from 127.0.0.1"));
    }

    void serverThatNeverReads()
    {
        Script s;
        s.readQuery = false;
        s.hold(15000);
        const Outcome o = run({ s });
        QVERIFY(o.ms < WhoisInfo::kFirstReplyTimeoutMs + 2000);
        QCOMPARE(o.status, QStringLiteral("No reply from 127.0.0.1"));
    }

    void referralsThatLeadNowhere_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("connections");
        QTest::addColumn<QString>("status");
        // The first reply is kept and summarised in every case.
        QTest::newRow("unresolvable") << QByteArray("whois://no-such-host.invalid") << 1 << "Unknown server: no-such-host.invalid";
        // A port of its own is asked there (nothing listens on it here).
        QTest::newRow("other port") << QByteArray("whois://localhost:4321") << 1 << "Connection refused by localhost:4321";
        QTest::newRow("empty value") << QByteArray("") << 1 << "";
        // Not a host name at all: no referral.
        QTest::newRow("blanks inside") << QByteArray("bad host name") << 1 << "";
        QTest::newRow("control characters") << QByteArray("bad\x01host\x7f") << 1 << "";
        QTest::newRow("another scheme") << QByteArray("http://whois.example.net/") << 1 << "";
        QTest::newRow("port out of range") << QByteArray("whois.example.net:70000") << 1 << "";
        QTest::newRow("scheme only") << QByteArray("whois://") << 1 << "";
        QTest::newRow("scheme and port only") << QByteArray("whois://:43") << 1 << "";
    }
    void referralsThatLeadNowhere()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, connections);
        QFETCH(QString, status);
        const Outcome o = run({ referral(value), FakeWhoisServer::reply("descr: should not be asked\n") });
        QVERIFY(o.ms < WhoisInfo::kConnectTimeoutMs + 2000);
        QCOMPARE(o.connections, connections);
        QCOMPARE(o.owner, QStringLiteral("First Org"));
        QCOMPARE(o.cidr, QStringLiteral("192.0.2.0/24"));
        QCOMPARE(o.status, status);
    }

    // A server on the Internet must not send the program to this machine.
    // Here 127.0.0.1 plays a public server; 127.0.0.2, served too, counts as
    // local wherever the test says 127.0.0.1 alone is public. Through a proxy
    // that resolves names, only what a name says is known: a literal local
    // address is refused, a name is the proxy's to resolve (here every name
    // under local.example leads to 127.0.0.2).
    void referralToALocalAddress_data()
    {
        QTest::addColumn<QString>("target"); // where the second server listens
        QTest::addColumn<QString>("named");  // the host the referral names; empty: target
        QTest::addColumn<bool>("proxied");
        QTest::addColumn<bool>("firstIsPublic");
        QTest::addColumn<bool>("followed");
        QTest::addColumn<QString>("status");
        QTest::newRow("public to local") << "127.0.0.2" << "" << false << true << false
                                         << "Referral from 127.0.0.1 to 127.0.0.2 not followed: a local address";
        QTest::newRow("public to public") << "127.0.0.1" << "" << false << true << true << "";
        QTest::newRow("local to local") << "127.0.0.2" << "" << false << false << true << "";
        QTest::newRow("proxied, public to a local address") << "127.0.0.2" << "" << true << true << false
            << "Referral from 127.0.0.1 to 127.0.0.2 not followed: a local address";
        QTest::newRow("proxied, local to local") << "127.0.0.2" << "" << true << false << true << "";
        QTest::newRow("proxied, to a name") << "127.0.0.2" << "second.local.example" << true << true << true << "";
    }
    void referralToALocalAddress()
    {
        QFETCH(QString, target);
        QFETCH(QString, named);
        QFETCH(bool, proxied);
        QFETCH(bool, firstIsPublic);
        QFETCH(bool, followed);
        QFETCH(QString, status);
        FakeWhoisServer second({ FakeWhoisServer::reply("descr: Second\n") }, QHostAddress(target));
        QVERIFY2(second.port() != 0, "cannot listen on 127.0.0.2");
        const QString host = named.isEmpty() ? target : named;
        const QByteArray value = "whois://" + host.toLatin1() + ':' + QByteArray::number(second.port());
        FakeWhoisServer first({ referral(value) });
        FakeProxy proxy(FakeProxy::Socks5, [](const QString &) { return QHostAddress("127.0.0.2"); });
        WhoisEndpoints e = first.endpoints();
        if (proxied)
            e.proxy.setProxy(proxy.url(), QStringLiteral("ALL_PROXY"));
        if (firstIsPublic)
            e.isPublicAddress = [](const QHostAddress &a) { return a == QHostAddress(QHostAddress::LocalHost); };
        QStatusBar bar;
        WhoisInfo info(&bar, e);
        info.lookup(QStringLiteral("192.0.2.1"), QString());
        QCOMPARE(second.connections(), followed ? 1 : 0);
        QCOMPARE(info.owner, followed ? QStringLiteral("Second") : QStringLiteral("First Org"));
        QCOMPARE(info.outcome, WhoisInfo::Outcome::Answered);
        QCOMPARE(bar.currentMessage(), status);
        if (proxied && followed)
            QCOMPARE(proxy.targets().value(1), host + ':' + QString::number(second.port()));
    }

    void referralLoopThroughTwoServers()
    {
        // 127.0.0.1 -> 127.1 -> 127.0.0.1: the second server's reply ends it.
        const Outcome o = run({ referral("127.1"),
                                FakeWhoisServer::reply("descr: Second\nReferralServer: whois://127.0.0.1:43\n"),
                                FakeWhoisServer::reply("descr: third\n") });
        QCOMPARE(o.connections, 2);
        QCOMPARE(o.owner, QStringLiteral("Second"));
        QVERIFY(o.status.isEmpty());
    }
};

QTEST_MAIN(TestHostile)
#include "tst_hostile.moc"
