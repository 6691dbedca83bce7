#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fakehttpserver.h"
#include "rdap/bootstrap.h"
#include "rdap/refresh.h"
#include "route/query.h"

using rdap::storeRefreshed;
using Replies = QHash<QString, FakeHttpServer::Reply>;

// Which RDAP service answers a query, from the embedded copies of IANA's
// files; the expected URLs were read off those files by hand.
class TestRdapBootstrap : public QObject
{
    Q_OBJECT

    QTemporaryDir m_emptyCache;
    std::shared_ptr<const rdap::Tables> m_embedded;

    static QByteArray readFile(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // An IANA file with another publication date and, optionally, one more
    // service in front of the others.
    static QByteArray edited(const QByteArray &json, const char *publication,
                             const QJsonArray &service = QJsonArray())
    {
        QJsonObject top = QJsonDocument::fromJson(json).object();
        top[QLatin1String("publication")] = QLatin1String(publication);
        if (!service.isEmpty()) {
            QJsonArray services = top[QLatin1String("services")].toArray();
            services.prepend(service);
            top[QLatin1String("services")] = services;
        }
        return QJsonDocument(top).toJson();
    }

    static QString firstServiceFor(const rdap::Tables &tables, const char *query)
    {
        return rdap::serviceFor(tables, route::classify(QString::fromUtf8(query))).value(0);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_emptyCache.isValid());
        m_embedded = rdap::loadTables(m_emptyCache.path());
        for (auto r : { rdap::Registry::Dns, rdap::Registry::IPv4, rdap::Registry::IPv6,
                        rdap::Registry::Asn, rdap::Registry::ObjectTags })
            QVERIFY2(m_embedded->table(r).isValid(), qPrintable(rdap::fileName(r)));
    }

    void serviceForQuery_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("urls"); // all of them, blank-separated; empty for none

        const char *arin = "https://rdap.arin.net/registry/"; // IANA also lists http for it
        const char *ripe = "https://rdap.db.ripe.net/";
        const char *apnic = "https://rdap.apnic.net/";
        const char *lacnic = "https://rdap.lacnic.net/rdap/";
        const char *afrinic = "https://rdap.afrinic.net/rdap/";
        const struct { const char *query, *urls; } rows[] = {
            { "example.com", "https://rdap.verisign.com/com/v1/" },
            { "EXAMPLE.DEV", "https://pubapi.registry.google/rdap/" },
            { "www.example.co.uk", "https://rdap.nominet.uk/uk/" },
            { "example.\u53F0\u7063", "https://ccrdap.twnic.tw/taiwan/" }, // xn--kpry57d
            { "example.kg", "http://rdap.cctld.kg/" },                     // http is all it has
            { "b\u00FCcher.de", "https://rdap.denic.de/" },                // not in dns.json
            { "example.io", "https://rdap.identitydigital.services/rdap/" },
            { "example.co", "https://rdap.registry.co/co/" },              // first of two
            { "example.xn--mgbtx2b", "https://rdap.reg.iq/rdap/" },
            { "example.jp", "" },
            { "com", "https://rdap.verisign.com/com/v1/" },
            { "de", "https://rdap.denic.de/" },
            { "jp", "" },
            { "8.8.8.8", arin },
            { "193.0.6.139", ripe },
            { "1.1.1.1", apnic },
            { "200.160.2.3", lacnic },
            { "41.1.1.1", afrinic },
            { "10.0.0.1", "" },
            { "193.0.0.0/16", ripe },
            { "192.0.0.0/7", "" }, // 192/8 is ARIN's, 193/8 RIPE's
            { "8.0.0.0/7", "" },   // both ARIN's, but no one block holds it
            { "2001:4860:4860::8888", arin },
            { "2a00:1450:4001::1", ripe },
            { "2400:cb00::1", apnic },
            { "2001:13ff:ffff::1", lacnic }, // last of 2001:1200::/23
            { "2001:1400::1", ripe },        // first of 2001:1400::/22
            { "2c0f:f000::1", afrinic },
            { "2a00::/11", "" },             // 2a00::/12 and 2a10::/12
            { "AS1876", arin },
            { "AS1877", ripe },
            { "AS2043", ripe },              // a range of one
            { "AS23456", "" },               // between two ARIN ranges
            { "AS37887", afrinic },
            { "AS37888", apnic },
            { "AS4294967295", "" },
            { "ABUSE5250-ARIN", arin },
            { "test1-ripe", ripe },
            { "TEST1-AP", apnic },           // tagged "APNIC" in the file
            { "TEST1-LACNIC", lacnic },
            { "TEST1-AFRINIC", "" },         // AFRINIC has no object tag
            { "NIC1-FRNIC", "https://rdap.nic.fr/" },
        };
        for (const auto &row : rows)
            QTest::newRow(row.query) << QString::fromUtf8(row.query) << QString::fromLatin1(row.urls);
    }
    void serviceForQuery()
    {
        QFETCH(QString, query);
        QFETCH(QString, urls);
        const QStringList got = rdap::serviceFor(*m_embedded, route::classify(query));
        QCOMPARE(got.join(u' '), urls);
    }

    void cacheRules()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = dir.path();
        const QString cached = dir.filePath(QStringLiteral("ipv4.json"));
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QByteArray embedded = readFile(QStringLiteral(":/resources/data/rdap/ipv4.json"));
        const QJsonArray service { QJsonArray { "8.8.8.0/24" }, QJsonArray { "https://rdap.example.net/" } };
        const QByteArray newer = edited(embedded, "2030-01-01T00:00:00Z", service);
        const QByteArray older = edited(embedded, "2018-01-01T00:00:00Z", service);
        QVERIFY(rdap::needsRefresh(folder, now));

        // Refused: not JSON, another file's shape, no date, older than the embedded copy.
        const QByteArray dns = readFile(QStringLiteral(":/resources/data/rdap/dns.json"));
        const QByteArray undated = R"({"services": [[["8.0.0.0/8"], ["https://rdap.example.net/"]]]})";
        for (const QByteArray &bytes : { QByteArray("{\"services\": ["), dns, undated, older })
            QVERIFY(!storeRefreshed(folder, QStringLiteral("ipv4.json"), bytes));
        QVERIFY(!storeRefreshed(folder, QStringLiteral("../ipv4.json"), newer));
        QVERIFY(!QFile::exists(cached));

        // A newer copy wins; its longer block takes precedence over 8.0.0.0/8.
        QVERIFY(storeRefreshed(folder, QStringLiteral("ipv4.json"), newer));
        QCOMPARE(readFile(cached), newer);
        auto tables = rdap::loadTables(folder);
        QCOMPARE(tables->ipv4.publication(), QDateTime(QDate(2030, 1, 1), QTime(0, 0), Qt::UTC));
        QCOMPARE(firstServiceFor(*tables, "8.8.8.8"), QStringLiteral("https://rdap.example.net/"));
        QCOMPARE(firstServiceFor(*tables, "8.8.4.4"), QStringLiteral("https://rdap.arin.net/registry/"));
        // Nor may a refresh replace the cached copy with an older one.
        QVERIFY(!storeRefreshed(folder, QStringLiteral("ipv4.json"),
                                edited(embedded, "2029-01-01T00:00:00Z")));
        QCOMPARE(readFile(cached), newer);

        // The running program switches to new tables; a reader keeps its own.
        const auto before = rdap::currentTables();
        rdap::reloadTables(folder);
        const route::Query google = route::classify(QStringLiteral("8.8.8.8"));
        QCOMPARE(rdap::serviceFor(google).value(0), QStringLiteral("https://rdap.example.net/"));
        QCOMPARE(rdap::serviceFor(*before, google).value(0), QStringLiteral("https://rdap.arin.net/registry/"));

        // An older or broken cached copy is passed over for the embedded one.
        for (const QByteArray &bytes : { older, QByteArray("\x89PNG") }) {
            QFile f(cached);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
            f.close();
            tables = rdap::loadTables(folder);
            QCOMPARE(tables->ipv4.publication(), m_embedded->ipv4.publication());
            QCOMPARE(firstServiceFor(*tables, "8.8.8.8"), QStringLiteral("https://rdap.arin.net/registry/"));
        }

        // Fresh once every file was checked, even where nothing newer came.
        QVERIFY(rdap::needsRefresh(folder, now));
        for (const char *name : { "dns.json", "ipv6.json", "asn.json", "object-tags.json" }) {
            const QString n = QLatin1String(name);
            QVERIFY(storeRefreshed(folder, n, readFile(QLatin1String(":/resources/data/rdap/") + n)));
        }
        QVERIFY(!rdap::needsRefresh(folder, now));
        QVERIFY(!rdap::needsRefresh(folder, now.addDays(6)));
        QVERIFY(rdap::needsRefresh(folder, now.addDays(8)));
        QVERIFY(rdap::needsRefresh(folder, now.addDays(-2))); // stamps from the future
    }

    // What is in the cached dns.json's place: only a regular file of at most
    // 4 MiB is read, and a refresh writes a regular file, not through a link.
    void cachedCopyThatIsNoPlainFile_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("served"); // the cached copy, not the embedded one
        QTest::newRow("FIFO") << "fifo" << false;
        QTest::newRow("link to /dev/zero") << "zero" << false;
        QTest::newRow("over 4 MiB") << "big" << false;
        QTest::newRow("link to a file") << "link" << true;
    }
    void cachedCopyThatIsNoPlainFile()
    {
        QFETCH(QString, what);
        QFETCH(bool, served);
        QTemporaryDir dir, elsewhere;
        QVERIFY(dir.isValid() && elsewhere.isValid());
        const QString path = dir.filePath(QStringLiteral("dns.json"));
        const QString target = elsewhere.filePath(QStringLiteral("dns.json"));
        const QJsonArray service { QJsonArray { "vantortest" }, QJsonArray { "https://rdap.example.net/" } };
        const QByteArray newer = edited(readFile(QStringLiteral(":/resources/data/rdap/dns.json")),
                                        "2030-01-01T00:00:00Z", service);
        QFile file(what == QLatin1String("big") ? path : target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(what == QLatin1String("big") ? newer + QByteArray(4 * 1024 * 1024, ' ') : newer);
        file.close();
        if (what == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (what != QLatin1String("big"))
            QVERIFY(QFile::link(what == QLatin1String("zero") ? QStringLiteral("/dev/zero") : target, path));

        if (what == QLatin1String("big")) {
            for (int i = 0; i < 2; ++i) // at the load, and where the refresh weighs the held copy
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("dns.json is larger than 4 MiB")));
        }
        std::shared_ptr<const rdap::Tables> tables;
        std::unique_ptr<QThread> load(QThread::create([&] { tables = rdap::loadTables(dir.path()); }));
        load->start();
        if (!load->wait(10000)) {
            ::close(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK)); // frees the reader
            load->wait();
            QFAIL("reading the cached copy hangs");
        }
        QCOMPARE(firstServiceFor(*tables, "example.vantortest"), served ? QStringLiteral("https://rdap.example.net/") : QString());
        QCOMPARE(firstServiceFor(*tables, "example.com"), QStringLiteral("https://rdap.verisign.com/com/v1/"));

        // No refresh over the link to the device: one that wrote through the
        // link would replace /dev/zero when the tests run as root.
        if (what == QLatin1String("zero"))
            return;
        const QByteArray fresh = edited(newer, "2031-01-01T00:00:00Z");
        QVERIFY(storeRefreshed(dir.path(), QStringLiteral("dns.json"), fresh));
        QVERIFY(!QFileInfo(path).isSymLink() && QFileInfo(path).isFile());
        QCOMPARE(readFile(path), fresh);
        if (what == QLatin1String("link"))
            QCOMPARE(readFile(target), newer); // the link's target is left alone
    }

    // A refresh keeps each file as it arrives. One ended early leaves the
    // rest to the next run, which asks only for those; one that still waits
    // for its server's name is ended at once.
    void refreshResumes()
    {
        using Reply = FakeHttpServer::Reply;
        QTemporaryDir cache;
        const auto embedded = [](const char *name) { return readFile(QLatin1String(":/resources/data/rdap/") + name); };
        const QStringList rest{ "ipv4.json", "ipv6.json", "asn.json", "object-tags.json" };
        QElapsedTimer t;
        {
            // ipv4.json drips for far longer than the run may go on.
            FakeHttpServer iana(FakeHttpServer::Http, { { "/dns.json", Reply{ 200, embedded("dns.json"), {}, 0 } },
                                                        { "/ipv4.json", Reply{ 200, embedded("ipv4.json"), {}, 1000 } } });
            rdap::refreshInBackground(iana.base(), cache.path());
            QTRY_VERIFY(iana.paths().contains(QStringLiteral("/ipv4.json")));
            t.start();
            rdap::finishRefresh(300);
            QVERIFY2(t.elapsed() >= 290 && t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
        }
        QCOMPARE(rdap::dueFiles(cache.path(), QDateTime::currentDateTimeUtc()), rest);

        // A name that does not resolve in time: no grace.
        rdap::refreshInBackground(QStringLiteral("http://iana.example/"), cache.path(), [](const QString &) {
            QThread::sleep(3);
            return QList<QHostAddress>{ QHostAddress(QHostAddress::LocalHost) };
        });
        QThread::msleep(100);
        t.start();
        rdap::finishRefresh(2000);
        QVERIFY2(t.elapsed() < 300, qPrintable(QString::number(t.elapsed())));

        Replies replies;
        for (const QString &name : rest)
            replies.insert(QLatin1Char('/') + name, Reply{ 200, embedded(qPrintable(name)), {}, 0 });
        FakeHttpServer iana(FakeHttpServer::Http, replies);
        rdap::refreshInBackground(iana.base(), cache.path());
        rdap::finishRefresh(10000); // room enough to finish
        QCOMPARE(iana.paths(), QStringList({ "/ipv4.json", "/ipv6.json", "/asn.json", "/object-tags.json" }));
        QVERIFY(rdap::dueFiles(cache.path(), QDateTime::currentDateTimeUtc()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRdapBootstrap)
#include "tst_rdap_bootstrap.moc"
