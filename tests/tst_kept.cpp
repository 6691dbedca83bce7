#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "fakewhoisserver.h"
#include "lookup/batch.h"
#include "lookup/kept.h"
#include "store/answerstore.h"

using Script = FakeWhoisServer::Script;

namespace {

// Two networks of 256 addresses and one of half the address space, which
// stands for no address of it.
const QByteArray kRanges = "inetnum:        192.0.2.0 - 192.0.2.255\ndescr:          Net A\n\n"
                           "inetnum:        198.51.100.0 - 198.51.100.255\ndescr:          Net B\n\n"
                           "NetRange:       0.0.0.0 - 127.255.255.255\n";

LookupResult lookUp(const QString &query, const WhoisEndpoints &e, const LookupOptions &options = {})
{
    LookupRunner runner;
    QSignalSpy done(&runner, &LookupRunner::finished);
    runner.start(query, e, options);
    if (!done.wait(10000))
        return {};
    return done.at(0).at(0).value<LookupResult>();
}

} // namespace

// Answers kept and shown again, against a server the test starts itself.
class TestKept : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QDateTime m_now = QDateTime(QDate(2026, 12, 10), QTime(3, 4, 5), Qt::UTC);

    WhoisEndpoints keeping(const FakeWhoisServer &server, const QString &file)
    {
        WhoisEndpoints e = server.endpoints();
        e.keepAnswers = true;
        e.answerStorePath = m_dir.filePath(file);
        e.now = [this] { return m_now; };
        return e;
    }

private slots:
    // A first lookup, then a second hoursLater; the second is a kept answer
    // or asks the server again.
    void secondLookup_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("hoursLater");
        QTest::addColumn<qint64>("maxAgeS");
        QTest::addColumn<bool>("fresh");
        QTest::addColumn<bool>("named"); // -h: the server named by the user
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("status"); // of the second; "" where it asked
        const qint64 day = 24 * 3600;
        QTest::newRow("23 h old") << "192.0.2.1" << "192.0.2.1" << 23 << day << false << false << kRanges
                                  << "Saved answer from 127.0.0.1, 23 hours old";
        QTest::newRow("25 h old") << "192.0.2.1" << "192.0.2.1" << 25 << day << false << false << kRanges << "";
        QTest::newRow("a shorter max age") << "192.0.2.1" << "192.0.2.1" << 2 << qint64(3600) << false << false
                                           << kRanges << "";
        QTest::newRow("fresh") << "192.0.2.1" << "192.0.2.1" << 0 << day << true << false << kRanges << "";
        QTest::newRow("-h") << "192.0.2.1" << "192.0.2.1" << 0 << day << false << true << kRanges << "";
        QTest::newRow("same network") << "192.0.2.1" << "192.0.2.200" << 0 << day << false << false << kRanges
                                      << "Saved answer from 127.0.0.1, less than a minute old";
        QTest::newRow("a range too wide") << "10.0.0.1" << "10.0.0.2" << 0 << day << false << false << kRanges << "";
        QTest::newRow("AS number, as typed") << "AS64500" << "as64500" << 49 << 7 * day << false << false
                                             << QByteArray("aut-num: AS64500\n") << "Saved answer from 127.0.0.1, 2 days old";
        QTest::newRow("no reply is not kept") << "192.0.2.1" << "192.0.2.1" << 0 << day << false << false << QByteArray() << "";
        QTest::newRow("a refusal is not kept") << "192.0.2.1" << "192.0.2.1" << 0 << day << false << false
                                               << QByteArray("%ERROR:201: access denied\n") << "";
        QTest::newRow("no record is not kept") << "192.0.2.1" << "192.0.2.1" << 0 << day << false << false
                                               << QByteArray("No match for \"192.0.2.1\".\n") << "";
    }
    void secondLookup()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, hoursLater);
        QFETCH(qint64, maxAgeS);
        QFETCH(bool, fresh);
        QFETCH(bool, named);
        QFETCH(QByteArray, reply);
        QFETCH(QString, status);
        FakeWhoisServer server({ FakeWhoisServer::reply(reply), FakeWhoisServer::reply(reply) });
        const WhoisEndpoints e = keeping(server, QTest::currentDataTag() + QStringLiteral(".sqlite"));
        LookupOptions options;
        if (named) {
            options.firstServer = QStringLiteral("127.0.0.1");
            options.firstPort = server.port();
        }
        m_now = QDateTime(QDate(2026, 12, 10), QTime(3, 4, 5), Qt::UTC);
        const LookupResult asked = lookUp(first, e, options);
        QVERIFY(!asked.stored);
        m_now = m_now.addSecs(hoursLater * 3600);
        options.maxAgeS = maxAgeS;
        options.fresh = fresh;
        const LookupResult r = lookUp(second, e, options);
        QCOMPARE(r.stored, !status.isEmpty());
        QCOMPARE(server.connections(), status.isEmpty() ? 2 : 1);
        if (named) // nor written
            QVERIFY(!store::AnswerStore::open(e.answerStorePath)->findByKey(first, m_now.addYears(-1)));
        if (r.stored) {
            QCOMPARE(r.status, status);
            QCOMPARE(r.text, asked.text); // byte for byte
            QCOMPARE(r.outcome, WhoisInfo::Outcome::Answered);
            QCOMPARE(r.fetched, asked.fetched);
            QCOMPARE(r.asked.size(), 1);
            QVERIFY(r.hops.isEmpty());
        }
    }

    // A batch asks each network once: the first address's answer serves
    // the others of its network, which wait no turn.
    void batchAsksEachNetworkOnce()
    {
        FakeWhoisServer server(QList<Script>(6, FakeWhoisServer::reply(kRanges)));
        WhoisEndpoints e = keeping(server, QStringLiteral("batch.sqlite"));
        e.serverSpacingMs = 300;
        LookupBatch batch(e, {});
        QList<LookupResult> results;
        connect(&batch, &LookupBatch::resultReady, this, [&](int, const LookupResult &r) { results << r; });
        QSignalSpy finished(&batch, &LookupBatch::finished);
        batch.run({ "192.0.2.1", "192.0.2.2", "198.51.100.1", "192.0.2.3", "198.51.100.2", "198.51.100.3" });
        QVERIFY(finished.wait(10000));
        // The second network's first address is asked at the second turn,
        // not after the first network's others have had theirs.
        QVERIFY2(server.acceptedAt().value(1) < 550, qPrintable(QString::number(server.acceptedAt().value(1))));
        QCOMPARE(server.received(), (QList<QByteArray>{ "n + 192.0.2.1\n", "n + 198.51.100.1\n" }));
        QCOMPARE(batch.fromStore(), 4);
        QCOMPARE(results.size(), 6);
        for (const LookupResult &r : std::as_const(results))
            QCOMPARE(r.outcome, WhoisInfo::Outcome::Answered);
        // A second run takes them all from the store, at once.
        LookupBatch again(e, {});
        QSignalSpy finishedAgain(&again, &LookupBatch::finished);
        QElapsedTimer t;
        t.start();
        again.run({ "192.0.2.9", "198.51.100.9", "192.0.2.10" });
        QVERIFY(finishedAgain.wait(5000));
        QVERIFY2(t.elapsed() < 300, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(again.fromStore(), 3);
        QCOMPARE(server.connections(), 2);
    }

    // A store that cannot be written: every answer still shows, and the
    // reason is told once.
    void aWriteThatFailsIsToldOnce()
    {
        FakeWhoisServer server(QList<Script>(2, FakeWhoisServer::reply(kRanges)));
        QFile file(m_dir.filePath(QStringLiteral("a-file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const WhoisEndpoints e = keeping(server, QStringLiteral("a-file/answers.sqlite"));
        const LookupResult first = lookUp(QStringLiteral("192.0.2.1"), e);
        const LookupResult second = lookUp(QStringLiteral("198.51.100.1"), e);
        QCOMPARE(server.connections(), 2);
        QCOMPARE(first.outcome, WhoisInfo::Outcome::Answered);
        QCOMPARE(second.outcome, WhoisInfo::Outcome::Answered);
        QVERIFY(first.text.contains(QLatin1String("Net A")));
        QVERIFY2(first.notice.startsWith(QLatin1String("Answers cannot be saved: ")), qPrintable(first.notice));
        QCOMPARE(second.notice, QString());
    }
};

QTEST_GUILESS_MAIN(TestKept)
#include "tst_kept.moc"
