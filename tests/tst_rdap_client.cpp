#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

#include "fakehttpserver.h"
#include "fakeproxy.h"
#include "fakewhoisserver.h"
#include "lookup/driver.h"
#include "rdap/bootstrap.h"
#include "rdap/client.h"
#include "rdap/refresh.h"
#include "ui/mainwindow.h"
#include "ui/resultview.h"

using Reply = FakeHttpServer::Reply;
using Replies = QHash<QString, Reply>;

namespace {

QByteArray fixture(const QString &name)
{
    QFile f(QStringLiteral(VANTOR_TEST_DATA "/rdap/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The .com registry's whois answer, whose registrar's whois is gone.
const QByteArray kRegistryWhois = "Domain Name: GOOGLE.COM\r\nRegistry Domain ID: 2138514_DOMAIN_COM-VRSN\r\n"
                                  "Registrar WHOIS Server: whois.gone.example\r\n";

// A gzip member (RFC 1952) of the bytes: Qt's raw deflate between gzip's
// header and trailer.
QByteArray gzipped(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFF;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    crc = ~crc;
    QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    out += qCompress(bytes, 9).mid(4 + 2).chopped(4); // less qCompress's length, zlib's header and checksum
    for (quint32 word : { crc, quint32(bytes.size()) })
        for (int i = 0; i < 4; ++i)
            out += char(word >> (8 * i));
    return out;
}

// A port on which nothing listens.
quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

} // namespace

// RDAP from the window, against servers the test starts: a local HTTPS
// server with a certificate the test made, trusted through the test seam,
// and a local whois server that every server name leads to.
class TestRdapClient : public QObject
{
    Q_OBJECT

private:
    std::vector<std::unique_ptr<WhoisInfo>> m_engines;

    static QAction *preferRdap(mainWindow &w)
    {
        for (QAction *menu : w.menuBar->actions())
            if (menu->menu() && menu->menu()->title() == QLatin1String("Lookup"))
                return menu->menu()->actions().value(0);
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(!FakeHttpServer::certificate().isNull(), "openssl made no certificate");
    }
    void cleanup()
    {
        m_engines.clear();
        QSettings(QStringLiteral("Vantor"), QStringLiteral("Vantor")).clear();
    }

    void fromTheWindow_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("prefer");
        QTest::addColumn<QByteArray>("whois"); // the one whois reply, if any
        QTest::addColumn<Replies>("http");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("shown");

        const QByteArray registry = fixture("domain-verisign-google.com.json")
                                        .replace("https://rdap.markmonitor.com/", "{base}");
        const QByteArray ip = fixture("ip-arin-13.72.183.192.json");
        const QByteArray notFound = R"({"errorCode":404,"title":"Not Found","description":["No such domain here."]})";
        QTest::newRow(".dev over RDAP") << "example.dev" << false << QByteArray()
            << Replies{ { "/domain/example.dev", Reply{ 200, fixture("domain-cznic-example.cz.json"), {}, 0 } } }
            << QStringList{ "/domain/example.dev" } << "" << "Domain Name:\texample.cz";
        QTest::newRow(".com whose registrar has no whois")
            << "www.google.com" << false << kRegistryWhois
            << Replies{ { "/domain/google.com", Reply{ 200, registry, {}, 0 } },
                  { "/rdap/domain/GOOGLE.COM", Reply{ 200, fixture("domain-registrar-markmonitor-google.com.json"), {}, 0 } } }
            << QStringList{ "/domain/google.com", "/rdap/domain/GOOGLE.COM" }
            << "Asked for google.com, the registered domain of www.google.com" << "Registrant Organization:\tGoogle LLC";
        QTest::newRow("the registrar fails: the registry's reply")
            << "google.com" << true << QByteArray()
            << Replies{ { "/domain/google.com", Reply{ 200, registry, {}, 0 } }, { "/rdap/domain/GOOGLE.COM", Reply{ 500, "", {}, 0 } } }
            << QStringList{ "/domain/google.com", "/rdap/domain/GOOGLE.COM" }
            << "The registrar's RDAP service failed (127.0.0.1 failed: HTTP 500); the registry's reply is shown"
            << "Registry Domain ID:\t2138514_DOMAIN_COM-VRSN";
        QTest::newRow("RDAP fails too: the registry's whois reply stays")
            << "google.com" << false << kRegistryWhois << Replies{ { "/domain/google.com", Reply{ 503, "", {}, 0 } } }
            << QStringList{ "/domain/google.com" } << "Unknown server: whois.gone.example; RDAP: 127.0.0.1 failed: HTTP 503"
            << "Domain Name:\tGOOGLE.COM";
        QTest::newRow("IPv4, RDAP preferred") << "13.72.183.192" << true << QByteArray()
            << Replies{ { "/ip/13.72.183.192", Reply{ 200, ip, {}, 0 } } } << QStringList{ "/ip/13.72.183.192" } << ""
            << "NetRange:\t13.64.0.0 - 13.107.255.255";
        QTest::newRow("AS number, RDAP preferred") << "AS13335" << true << QByteArray()
            << Replies{ { "/autnum/13335", Reply{ 200, fixture("autnum-arin-as13335.json"), {}, 0 } } }
            << QStringList{ "/autnum/13335" } << "" << "ASName:\tCLOUDFLARENET";
        QTest::newRow("a redirect") << "13.72.183.192" << true << QByteArray()
            << Replies{ { "/ip/13.72.183.192", Reply{ 301, "", { { "Location", "/moved/ip/13.72.183.192" } }, 0 } },
                  { "/moved/ip/13.72.183.192", Reply{ 200, ip, {}, 0 } } }
            << QStringList{ "/ip/13.72.183.192", "/moved/ip/13.72.183.192" } << "" << "NetName:\tMSFT";
        QTest::newRow("404") << "example.dev" << false << QByteArray()
            << Replies{ { "/domain/example.dev", Reply{ 404, notFound, {}, 0 } } } << QStringList{ "/domain/example.dev" }
            << "No record of example.dev at 127.0.0.1" << "% No such domain here.";
        QTest::newRow("429") << "example.dev" << false << QByteArray()
            << Replies{ { "/domain/example.dev", Reply{ 429, "", { { "Retry-After", "30" } }, 0 } } }
            << QStringList{ "/domain/example.dev" } << "Rate limited by 127.0.0.1, try again after 30 s"
            << "% Rate limited by 127.0.0.1";
        QTest::newRow("5xx") << "example.dev" << false << QByteArray()
            << Replies{ { "/domain/example.dev", Reply{ 503, R"({"errorCode":503,"title":"Down for maintenance"})", {}, 0 } } }
            << QStringList{ "/domain/example.dev" } << "127.0.0.1 failed: HTTP 503" << "% Down for maintenance";
        QTest::newRow("a body that is not JSON") << "example.dev" << false << QByteArray()
            << Replies{ { "/domain/example.dev", Reply{ 200, "<html>busy</html>", {}, 0 } } } << QStringList{ "/domain/example.dev" }
            << "127.0.0.1: Reply is not JSON: illegal value at byte 1" << "No whois server serves .dev";
        QTest::newRow("JSON that is not RDAP") << "example.dev" << false << QByteArray()
            << Replies{ { "/domain/example.dev", Reply{ 200, "{}", {}, 0 } } } << QStringList{ "/domain/example.dev" }
            << "127.0.0.1: Not an RDAP reply: no objectClassName, search results, errorCode or rdapConformance"
            << "No whois server serves .dev";
        QTest::newRow("larger than 4 MiB") << "example.dev" << false << QByteArray()
            << Replies{ { "/domain/example.dev", Reply{ 200, QByteArray(5 * 1024 * 1024, ' '), {}, 0 } } }
            << QStringList{ "/domain/example.dev" } << "Reply from 127.0.0.1 cut off at 4 MiB" << "No whois server serves .dev";
        QTest::newRow("a body cut short") << "example.dev" << false << QByteArray()
            << Replies{ { "/domain/example.dev", Reply{ 200, fixture("domain-cznic-example.cz.json"), {}, 0, 100 } } }
            << QStringList{ "/domain/example.dev" } << "Reply from 127.0.0.1 ended before it was complete"
            << "No whois server serves .dev";
        QTest::newRow("a body that unpacks past 4 MiB") << "example.dev" << false << QByteArray()
            << Replies{ { "/domain/example.dev", Reply{ 200, gzipped(QByteArray(6 * 1024 * 1024, ' ')),
                                                        { { "Content-Encoding", "gzip" } }, 0 } } }
            << QStringList{ "/domain/example.dev" } << "Reply from 127.0.0.1 cut off at 4 MiB" << "No whois server serves .dev";
        QTest::newRow("an error in Cyrillic") << "example.dev" << false << QByteArray()
            << Replies{ { "/domain/example.dev", Reply{ 400, R"({"errorCode":400,"title":"Неверный запрос"})", {}, 0 } } }
            << QStringList{ "/domain/example.dev" } << "127.0.0.1 refused the query: HTTP 400" << "% Неверный запрос";
        QTest::newRow("404 after a failed hop: the registry's whois reply stays")
            << "google.com" << false << kRegistryWhois << Replies{ { "/domain/google.com", Reply{ 404, notFound, {}, 0 } } }
            << QStringList{ "/domain/google.com" }
            << "Unknown server: whois.gone.example; RDAP: No record of google.com at 127.0.0.1" << "Domain Name:\tGOOGLE.COM";

        // Hops a reply chooses. The test's server counts as public, and
        // every name under local.example leads to 127.0.0.2, a local address.
        const QByteArray link = "https://rdap.markmonitor.com/rdap/domain/GOOGLE.COM";
        const QString registryOnly = QStringLiteral("Registry Domain ID:\t2138514_DOMAIN_COM-VRSN");
        const struct { const char *name, *link, *status; } links[] = {
            { "a link to plain http", "http://127.0.0.1:8080/admin/reboot?x=1",
              "127.0.0.1 links to plain http, which is not followed; the registry's reply is shown" },
            { "a link to a local address", "https://registrar.local.example/rdap/domain/GOOGLE.COM",
              "127.0.0.1 links to registrar.local.example (127.0.0.2), a local address, which is not followed; "
              "the registry's reply is shown" },
            { "a link to the registry's own URL in capitals", "{base}DOMAIN/GOOGLE.COM/", "" },
        };
        for (const auto &l : links) {
            QTest::newRow(l.name) << "google.com" << true << QByteArray()
                << Replies{ { "/domain/google.com", Reply{ 200, fixture("domain-verisign-google.com.json").replace(link, l.link), {}, 0 } } }
                << QStringList{ "/domain/google.com" } << l.status << registryOnly;
        }
        const struct { const char *name, *location, *status; int asked; } redirects[] = {
            { "a redirect loop", "/domain/example.dev", "Too many redirects from 127.0.0.1", 6 },
            { "a redirect to plain http", "http://127.0.0.1:1/domain/example.dev",
              "127.0.0.1 redirects to plain http, which is not followed", 1 },
            { "a redirect to a local address", "https://rdap.local.example/domain/example.dev",
              "127.0.0.1 redirects to rdap.local.example (127.0.0.2), a local address, which is not followed", 1 },
        };
        for (const auto &r : redirects) {
            QTest::newRow(r.name) << "example.dev" << false << QByteArray()
                << Replies{ { "/domain/example.dev", Reply{ 302, "", { { "Location", r.location } }, 0 } } }
                << QStringList(r.asked, "/domain/example.dev") << r.status << "No whois server serves .dev";
        }
    }
    void fromTheWindow()
    {
        QFETCH(QString, query);
        QFETCH(bool, prefer);
        QFETCH(QByteArray, whois);
        QFETCH(Replies, http);
        QFETCH(QStringList, paths);
        QFETCH(QString, status);
        QFETCH(QString, shown);

        FakeHttpServer rdapServer(FakeHttpServer::Https, http);
        QVERIFY(rdapServer.ready());
        FakeWhoisServer whoisServer({ FakeWhoisServer::reply(whois) });
        WhoisEndpoints e = whoisServer.realNames({ QStringLiteral("whois.gone.example") });
        e.rdapServices = [base = rdapServer.base()](const route::Query &) { return QStringList{ base }; };
        e.extraCaCertificates = { FakeHttpServer::certificate() };
        e.resolve = [names = e.resolve](const QString &name) {
            return name.endsWith(QLatin1String(".local.example")) ? QList<QHostAddress>{ QHostAddress("127.0.0.2") } : names(name);
        };
        e.isPublicAddress = [](const QHostAddress &a) { return a == QHostAddress(QHostAddress::LocalHost); };

        mainWindow w;
        m_engines.push_back(std::make_unique<WhoisInfo>(w.statusBar, e));
        w.whoisInfo = m_engines.back().get();
        QAction *action = preferRdap(w);
        QVERIFY(action && action->isCheckable());
        action->setChecked(prefer);
        w.addressEdit->setText(query);
        w.getData();
        QTRY_VERIFY_WITH_TIMEOUT(!w.lookupRunning(), 20000);

        QCOMPARE(w.statusBar->currentMessage(), status);
        QCOMPARE(rdapServer.paths(), paths); // each asked once, nothing else asked
        QCOMPARE(whoisServer.connections(), whois.isEmpty() ? 0 : 1);
        const QString text = w.resultEdit->toPlainText();
        QVERIFY2(text.contains(shown), qPrintable(text.left(300)));
        // What came from RDAP is saved as UTF-8, an error's details too.
        if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() > 0xFF; }))
            QVERIFY(w.whoisInfo->replyIsUtf8);
        for (const QByteArray &request : rdapServer.requests()) {
            QVERIFY(request.contains("\r\nAccept: application/rdap+json"));
            QVERIFY(request.contains("\r\nUser-Agent: Vantor/" VANTOR_VERSION));
        }
    }

    // A server by its name: the program resolves it and connects to the
    // address, while the certificate check and the Host header go by the
    // name; a resolver that never answers costs no more than the bound.
    // Through a proxy that resolves names, the name goes to the proxy, and
    // the certificate is checked all the same. "{proxy}" stands for the
    // proxy's port; the proxy knows no name under "nowhere".
    void serverByName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("proxy"); // "", or the proxy: http, socks5h, refuse, mute
        QTest::addColumn<QString>("message");
        const QString mismatch = "TLS error with rdap.example: SSL handshake failed: The host name did not match any of "
                                 "the valid hosts for this certificate";
        QTest::newRow("a name the certificate holds") << "localhost" << "" << "";
        QTest::newRow("a name it does not hold") << "rdap.example" << "" << mismatch;
        QTest::newRow("a resolver that does not answer") << "slow.example" << "" << "Connection timed out";
        QTest::newRow("through an HTTP proxy") << "localhost" << "http" << "";
        QTest::newRow("through a SOCKS5 proxy") << "localhost" << "socks5h" << "";
        QTest::newRow("through a proxy, a name the certificate does not hold") << "rdap.example" << "socks5h" << mismatch;
        QTest::newRow("an HTTP proxy that cannot reach the server") << "nowhere.example" << "http"
            << "Proxy 127.0.0.1:{proxy} could not reach nowhere.example";
        QTest::newRow("a SOCKS5 proxy that cannot reach the server") << "nowhere.example" << "socks5h"
            << "Proxy 127.0.0.1:{proxy} could not reach nowhere.example";
        QTest::newRow("a proxy that refuses") << "localhost" << "refuse" << "Proxy 127.0.0.1:{proxy} refused the connection";
        QTest::newRow("a proxy that does not answer") << "localhost" << "mute" << "Proxy 127.0.0.1:{proxy} did not answer";
    }
    void serverByName()
    {
        QFETCH(QString, name);
        QFETCH(QString, proxy);
        QFETCH(QString, message);
        FakeHttpServer server(FakeHttpServer::Https, { { "/ip/192.0.2.1", Reply{ 200, "{}", {}, 0 } } });
        QUrl url(server.base() + QLatin1String("ip/192.0.2.1"));
        url.setHost(name);
        rdap::FetchOptions options;
        options.extraCaCertificates = { FakeHttpServer::certificate() };
        options.connectTimeoutMs = 500;
        options.resolve = [](const QString &host) {
            if (host == QLatin1String("slow.example"))
                QThread::sleep(2);
            return QList<QHostAddress>{ QHostAddress(QHostAddress::LocalHost) };
        };
        FakeProxy fake(proxy == QLatin1String("mute") ? FakeProxy::Mute : proxy == QLatin1String("http") ? FakeProxy::HttpConnect : FakeProxy::Socks5,
                       [](const QString &host) {
                           return host.startsWith(QLatin1String("nowhere")) ? QHostAddress() : QHostAddress(QHostAddress::LocalHost);
                       });
        const quint16 proxyPort = proxy == QLatin1String("refuse") ? closedPort() : fake.port();
        if (!proxy.isEmpty())
            options.proxy.setProxy((proxy == QLatin1String("http") ? "http" : "socks5h") + QStringLiteral("://127.0.0.1:%1").arg(proxyPort),
                                   QStringLiteral("ALL_PROXY"));
        message.replace("{proxy}", QString::number(proxyPort));
        QElapsedTimer t;
        t.start();
        const rdap::Fetched f = rdap::fetch(url, options);
        QVERIFY(t.elapsed() < 1500);
        QCOMPARE(f.message, message);
        QCOMPARE(f.outcome, message.isEmpty() ? rdap::Fetched::Answered : rdap::Fetched::Failed);
        if (proxy == QLatin1String("http") || proxy == QLatin1String("socks5h"))
            QCOMPARE(fake.targets(), QStringList{ url.authority() });
        if (message.isEmpty()) {
            QCOMPARE(f.peer, proxy.isEmpty() ? QHostAddress(QHostAddress::LocalHost) : QHostAddress());
            QVERIFY2(server.requests().value(0).contains("\r\nHost: " + url.authority().toLatin1() + "\r\n"),
                     server.requests().value(0).constData());
        } else {
            QVERIFY(server.requests().isEmpty());
        }
    }

    void sameResource_data()
    {
        QTest::addColumn<QString>("other");
        QTest::addColumn<bool>("same");
        QTest::newRow("capitals, the usual port, a trailing slash") << "HTTPS://RDAP.Example:443/Domain/EXAMPLE.COM/" << true;
        QTest::newRow("another port") << "https://rdap.example:8443/domain/example.com" << false;
        QTest::newRow("plain http") << "http://rdap.example/domain/example.com" << false;
        QTest::newRow("another name") << "https://rdap.example/domain/example.net" << false;
    }
    void sameResource()
    {
        QFETCH(QString, other);
        QFETCH(bool, same);
        QCOMPARE(rdap::sameResource(QUrl(QStringLiteral("https://rdap.example/domain/example.com")), QUrl(other)), same);
    }

    void retryAfter_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("seconds");
        QTest::newRow("seconds") << " 120 " << 120;
        QTest::newRow("an HTTP date") << "Wed, 21 Oct 2015 07:28:30 GMT" << 30;
        QTest::newRow("a date gone by") << "Wed, 21 Oct 2015 07:27:00 GMT" << 0;
        QTest::newRow("negative") << "-5" << -1;
        QTest::newRow("neither") << "soon" << -1;
        QTest::newRow("none") << "" << -1;
    }
    void retryAfter()
    {
        QFETCH(QString, value);
        QFETCH(int, seconds);
        const QDateTime now(QDate(2015, 10, 21), QTime(7, 28), Qt::UTC);
        QCOMPARE(rdap::retryAfterSeconds(value, now), seconds);
    }

    void preferRdapIsRemembered()
    {
        {
            mainWindow w;
            QVERIFY(!preferRdap(w)->isChecked());
            preferRdap(w)->trigger();
        }
        mainWindow again;
        QVERIFY(preferRdap(again)->isChecked());
        // The first entry of a menu after Edit.
        QCOMPARE(again.menuBar->actions().value(2)->menu()->title(), QStringLiteral("Lookup"));
        QCOMPARE(preferRdap(again)->text(), QStringLiteral("Prefer RDAP"));
    }

    void untrustedCertificateIsRefused()
    {
        FakeHttpServer rdapServer(FakeHttpServer::Https, { { "/ip/192.0.2.1", Reply{ 200, "{}", {}, 0 } } });
        WhoisEndpoints e = FakeWhoisServer::withoutRdap();
        e.rdapServices = [base = rdapServer.base()](const route::Query &) { return QStringList{ base }; };
        e.defaultServer = QStringLiteral("127.0.0.1");
        e.port = 1; // nothing there: whois fails, then RDAP is asked
        WhoisInfo info(nullptr, e);
        runLookup(info, QStringLiteral("192.0.2.1"), LookupOptions());
        QVERIFY2(info.status.startsWith(QLatin1String("TLS error with 127.0.0.1: ")), qPrintable(info.status));
        QCOMPARE(info.outcome, WhoisInfo::Outcome::Failed);
        QVERIFY(rdapServer.requests().isEmpty()); // nothing sent before the handshake failed
    }

    // Plain http here: the bootstrap files come over any URL the caller
    // gives, and through the lookups' proxy where one is set.
    void bootstrapRefreshTakesNewerFiles_data()
    {
        QTest::addColumn<bool>("proxied");
        QTest::newRow("direct") << false;
        QTest::newRow("through a SOCKS5 proxy") << true;
    }
    void bootstrapRefreshTakesNewerFiles()
    {
        QFETCH(bool, proxied);
        QTemporaryDir cache;
        QByteArray dns = fixture("../../../resources/data/rdap/dns.json");
        QVERIFY(!dns.isEmpty());
        dns.replace("\"publication\": \"2026-07-23T02:00:03Z\"", "\"publication\": \"2030-01-01T00:00:00Z\"");
        dns.replace("https://rdap.nic.dev/", "https://rdap.refreshed.example/"); // not listed: no change
        dns.replace("https://pubapi.registry.google/rdap/", "https://rdap.refreshed.example/");
        FakeHttpServer iana(FakeHttpServer::Http, { { "/dns.json", Reply{ 200, dns, {}, 0 } } });
        FakeProxy proxy(FakeProxy::Socks5);
        net::ProxySettings proxies;
        if (proxied)
            proxies.setProxy(proxy.url(), QStringLiteral("ALL_PROXY"));
        QVERIFY(rdap::needsRefresh(cache.path(), QDateTime::currentDateTimeUtc()));
        rdap::refreshInBackground(iana.base(), cache.path(), {}, proxies);
        QTRY_VERIFY_WITH_TIMEOUT(!rdap::needsRefresh(cache.path(), QDateTime::currentDateTimeUtc())
                                     || iana.paths().size() == 5, 10000);
        QTRY_COMPARE(iana.paths().size(), 5);
        QCOMPARE(proxy.targets().size(), proxied ? 5 : 0);
        const auto tables = rdap::loadTables(cache.path());
        route::Query dev;
        dev.kind = route::Kind::Domain;
        dev.text = QStringLiteral("example.dev");
        dev.tld = QStringLiteral("dev");
        QCOMPARE(rdap::serviceFor(*tables, dev).value(0), QStringLiteral("https://rdap.refreshed.example/"));
        QVERIFY(iana.requests().value(0).contains("User-Agent: Vantor/"));
    }
};

QTEST_MAIN(TestRdapClient)
#include "tst_rdap_client.moc"
