#include <QApplication>
#include <QClipboard>
#include <QCompleter>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStringListModel>
#include <QStatusBar>
#include <QTemporaryDir>
#include "ui/resultview.h"
#include <QToolButton>
#include <QtTest>

#include <memory>
#include <vector>

#include "fakeproxy.h"
#include "fakewhoisserver.h"
#include "messagecapture.h"
#include "modaldriver.h"
#include "testsettings.h"
#include "ui/factspanel.h"
#include "ui/findbar.h"
#include "ui/hoprow.h"
#include "ui/mainwindow.h"

using Script = FakeWhoisServer::Script;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

// The search, Save, Copy and Select All from the window, against a server
// the test starts itself.
class TestWindowLookup : public QObject
{
    Q_OBJECT

private:
    // The window keeps the engine it made for the whole run; the test's
    // own engines are the test's to delete.
    void useEndpoints(mainWindow &w, const WhoisEndpoints &e)
    {
        m_engines.push_back(std::make_unique<WhoisInfo>(w.statusBar, e));
        w.whoisInfo = m_engines.back().get();
    }

    void useServer(mainWindow &w, const FakeWhoisServer &server) { useEndpoints(w, server.endpoints()); }

    std::vector<std::unique_ptr<WhoisInfo>> m_engines;

    // The lookup runs on a thread of its own; its result arrives as an event.
    static void waitForLookup(const mainWindow &w)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!w.lookupRunning(), 20000);
    }

    void showAndFocus(mainWindow &w)
    {
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.addressEdit->setFocus();
    }

    TestSettings m_settings;

private slots:
    void cleanup()
    {
        m_engines.clear();
        TestSettings::clear();
    }

    void enterAndButtonGiveTheSameResult()
    {
        const QByteArray reply = "% comment: kept\r\nNetRange:   192.0.2.0 - 192.0.2.255\r\nOrgName:    Test Org\r\n";
        FakeWhoisServer server({ FakeWhoisServer::reply(reply), FakeWhoisServer::reply(reply) });
        mainWindow w;
        useServer(w, server);
        showAndFocus(w);

        w.addressEdit->setText(QStringLiteral(" 192.0.2.1"));
        QTest::keyClick(w.addressEdit, Qt::Key_Return);
        waitForLookup(w);
        const QString byEnter = w.resultEdit->toPlainText();
        QCOMPARE(byEnter, QStringLiteral("% comment: kept\nNetRange:\t192.0.2.0 - 192.0.2.255\nCIDR:\t192.0.2.0/24\n"
                                         "OrgName:\tTest Org\n\n"));
        QVERIFY(w.resultEdit->hasFocus());

        w.resultEdit->clear();
        w.addressEdit->setFocus();
        QTest::mouseClick(w.searchButton, Qt::LeftButton);
        waitForLookup(w);
        QCOMPARE(w.resultEdit->toPlainText(), byEnter);
        QVERIFY(w.resultEdit->hasFocus());

        // The field keeps its text, blanks and all; the blanks stay off the wire.
        QCOMPARE(w.addressEdit->text(), QStringLiteral(" 192.0.2.1"));
        QCOMPARE(server.received(), (QList<QByteArray>{ "n + 192.0.2.1\n", "n + 192.0.2.1\n" }));
    }

    // Every kind of query, typed into the window, reaches its server with
    // its line; the names are the program's own, all leading here.
    void routesThroughTheWindow_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("server"); // empty: nothing asked
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("status");
        const QString arin = QStringLiteral("whois.arin.net");
        QTest::newRow("IPv4") << "192.0.2.1" << arin << QByteArray("n + 192.0.2.1\n") << "";
        QTest::newRow("IPv6") << "2600::1" << arin << QByteArray("n + 2600::1\n") << "";
        QTest::newRow("RIPE address") << "193.0.6.139" << "whois.ripe.net" << QByteArray("193.0.6.139\n") << "";
        QTest::newRow("APNIC AS number") << "AS4608" << "whois.apnic.net" << QByteArray("AS4608\n") << "";
        QTest::newRow("prefix") << "192.0.2.0/24" << arin << QByteArray("r + = 192.0.2.0/24\n") << "";
        QTest::newRow("AS number") << "AS15169" << arin << QByteArray("a + 15169\n") << "";
        QTest::newRow("handle") << "SK2374-RIPE" << "whois.ripe.net" << QByteArray("sk2374-ripe\n") << "";
        QTest::newRow("bare TLD") << "dev" << "whois.iana.org" << QByteArray("dev\n") << "";
        QTest::newRow("domain") << "www.Example.com" << "whois.verisign-grs.com" << QByteArray("domain example.com\n")
                                << "Asked for example.com, the registered domain of www.example.com";
        QTest::newRow("name without a dot") << "localhost" << arin << QByteArray("localhost\n") << "";
        QTest::newRow("words") << "-B 193.0.0.1" << arin << QByteArray("-B 193.0.0.1\n") << "";
        QTest::newRow("not an address") << "999.1.1.1" << "" << QByteArray() << "Not a valid address: 999.1.1.1";
        QTest::newRow("RDAP only") << "example.dev" << "" << QByteArray()
            << "No whois server serves .dev. Its registry answers over RDAP: https://pubapi.registry.google/rdap/";
    }
    void routesThroughTheWindow()
    {
        QFETCH(QString, query);
        QFETCH(QString, server);
        QFETCH(QByteArray, line);
        QFETCH(QString, status);
        FakeWhoisServer fake({ FakeWhoisServer::reply("remarks: answered\n") });
        mainWindow w;
        useEndpoints(w, fake.realNames());
        showAndFocus(w);
        w.whoisInfo->response = QStringLiteral("previous");
        w.resultEdit->setPlainText(QStringLiteral("previous\n"));
        MessageCapture capture;
        w.addressEdit->setText(query);
        QTest::keyClick(w.addressEdit, Qt::Key_Return);
        waitForLookup(w);
        QCOMPARE(capture.take().filter(QStringLiteral("\"Connecting to ")),
                 server.isEmpty() ? QStringList() : QStringList{ "\"Connecting to " + server + "\" " });
        QCOMPARE(fake.received(), line.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{ line });
        QCOMPARE(w.statusBar->currentMessage(), status);
        if (line.isEmpty() && status.startsWith(QLatin1String("Not a valid")))
            QCOMPARE(w.resultEdit->toPlainText(), QStringLiteral("previous\n")); // a slip costs nothing
        else if (line.isEmpty())
            QVERIFY(w.resultEdit->toPlainText().contains(QStringLiteral("https://pubapi.registry.google/rdap/")));
        else
            QCOMPARE(w.resultEdit->toPlainText(), QStringLiteral("remarks:\tanswered\n\n"));
    }

    // A reply in UTF-8 shows its letters and is saved in UTF-8; one whose
    // letter ends in byte 0x85 (a blank in Latin-1) keeps it.
    void utf8ReplyShowsAndSaves()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply("descr: Gda\xc5\x84sk \xc4\x85\r\nowner: \xe6\xa0\xaa\xe5\xbc\x8f\xe4\xbc\x9a\xe7\xa4\xbe\r\n"),
                                 FakeWhoisServer::reply("descr: caf\xe9\n") });
        mainWindow w;
        useServer(w, server);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.txt"));
        ModalDriver driver;
        driver.onFileDialog = [&](QFileDialog *d) { ModalDriver::chooseFile(d, path); };

        w.addressEdit->setText(QStringLiteral("192.0.2.1"));
        w.getData();
        waitForLookup(w);
        const QString shown = QString::fromUtf8("descr:\tGdańsk ą\nowner:\t株式会社\n\n");
        QCOMPARE(w.resultEdit->toPlainText(), shown);
        w.saveData();
        QCOMPARE(readFile(path), shown.toUtf8());

        // Latin-1 as it always was.
        w.getData();
        waitForLookup(w);
        QCOMPARE(w.resultEdit->toPlainText(), QString::fromUtf8("descr:\tcafé\n\n"));
        w.saveData();
        QCOMPARE(readFile(path), QByteArray("descr:\tcaf\xe9\n\n"));
    }

    void replyThatLooksLikeHtmlStaysText()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply("<b>bold</b> &lt;x&gt;\n<p>para") });
        mainWindow w;
        useServer(w, server);
        w.addressEdit->setText(QStringLiteral("192.0.2.1"));
        w.getData();
        waitForLookup(w);
        QCOMPARE(w.resultEdit->toPlainText(), QStringLiteral("<b>bold</b> &lt;x&gt;\n<p>para\n"));
    }

    // Through the SOCKS5 proxy of ALL_PROXY, which the window reads when it
    // starts, and which resolves the names: the status bar names the proxy
    // while connecting, and nothing is resolved here.
    void lookupThroughAProxy()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply("NetRange: 192.0.2.0 - 192.0.2.255\nOrgName: Proxied Org\n") });
        FakeProxy proxy(FakeProxy::Socks5);
        qputenv("ALL_PROXY", proxy.url().toLatin1());
        mainWindow w;
        qunsetenv("ALL_PROXY");
        WhoisEndpoints e = server.realNames();
        e.resolve = [](const QString &) { return QList<QHostAddress>(); };
        e.proxy = w.whoisInfo->endpoints().proxy;
        useEndpoints(w, e);
        QStringList shown;
        connect(w.statusBar, &QStatusBar::messageChanged, this, [&](const QString &m) { shown << m; });
        w.addressEdit->setText(QStringLiteral("192.0.2.1"));
        w.getData();
        waitForLookup(w);
        QVERIFY2(shown.contains("Connecting to whois.arin.net through 127.0.0.1:" + QString::number(proxy.port())),
                 qPrintable(shown.join(" | ")));
        QCOMPARE(proxy.targets(), QStringList{ "whois.arin.net:" + QString::number(server.port()) });
        QCOMPARE(server.received(), QList<QByteArray>{ "n + 192.0.2.1\n" });
        QVERIFY(w.resultEdit->toPlainText().contains(QStringLiteral("OrgName:\tProxied Org")));
    }

    void emptyAddressClearsWithoutTraffic()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply("descr: x\n") });
        mainWindow w;
        useServer(w, server);
        showAndFocus(w);
        w.resultEdit->setPlainText(QStringLiteral("previous result"));
        w.statusBar->showMessage(QStringLiteral("earlier message"));
        QTest::keyClick(w.addressEdit, Qt::Key_Return);
        waitForLookup(w);
        QCOMPARE(w.resultEdit->toPlainText(), QStringLiteral("\n"));
        QVERIFY(w.resultEdit->hasFocus());
        QCOMPARE(w.statusBar->currentMessage(), QStringLiteral("earlier message"));
        QCOMPARE(server.connections(), 0);
    }

    // A saved answer shows at once with its age; F5 asks the server again,
    // and Edit > Clear Saved Answers empties the store.
    void savedAnswerRefreshAndClear()
    {
        const QByteArray reply = "inetnum: 192.0.2.0 - 192.0.2.255\ndescr: Kept\n";
        FakeWhoisServer server(QList<Script>(3, FakeWhoisServer::reply(reply)));
        QTemporaryDir dir;
        QDateTime now = QDateTime::currentDateTimeUtc();
        WhoisEndpoints e = server.endpoints();
        e.keepAnswers = true;
        e.answerStorePath = dir.filePath(QStringLiteral("answers.sqlite"));
        e.now = [&now] { return now; };
        mainWindow w;
        useEndpoints(w, e);
        showAndFocus(w);
        const QString saved = QStringLiteral("Saved answer from 127.0.0.1, 3 hours old. F5 asks again");
        const struct
        {
            const char *query;
            int key;
            const char *menuItem; // instead of the key, where set
            int connections;
            bool stored;
        } steps[] = {
            { "192.0.2.1", Qt::Key_Return, nullptr, 1, false },
            { "192.0.2.9", Qt::Key_Return, nullptr, 1, true }, // same network
            { "192.0.2.9", Qt::Key_F5, nullptr, 2, false },
            { "192.0.2.9", 0, "Clear Saved Answers", 2, false },
            { "192.0.2.9", Qt::Key_Return, nullptr, 3, false },
        };
        for (const auto &step : steps) {
            w.addressEdit->setText(QLatin1String(step.query));
            w.resultEdit->clear();
            now = now.addSecs(3 * 3600);
            if (step.menuItem) {
                const auto items = w.editMenu->actions();
                const auto item = std::find_if(items.begin(), items.end(),
                                               [&](QAction *a) { return a->text() == QLatin1String(step.menuItem); });
                QVERIFY(item != items.end());
                (*item)->trigger();
                QCOMPARE(w.statusBar->currentMessage(), QStringLiteral("Saved answers cleared"));
                continue;
            }
            QTest::keyClick(w.addressEdit, Qt::Key(step.key));
            waitForLookup(w);
            QCOMPARE(server.connections(), step.connections);
            QVERIFY(w.resultEdit->toPlainText().contains(QLatin1String("descr:\tKept")));
            QCOMPARE(w.statusBar->currentMessage() == saved, step.stored);
        }
    }

    void failedLookupShowsTheMessage()
    {
        mainWindow w;
        WhoisEndpoints e = FakeWhoisServer::withoutRdap();
        e.defaultServer = QStringLiteral("no-such-host.invalid");
        useEndpoints(w, e);
        w.addressEdit->setText(QStringLiteral("192.0.2.1"));
        w.getData();
        waitForLookup(w);
        QCOMPARE(w.statusBar->currentMessage(), QStringLiteral("Unknown server: no-such-host.invalid"));
        QCOMPARE(w.resultEdit->toPlainText(), QStringLiteral("\n"));
    }

    // After a referral the row names both servers and the answer is shown;
    // choosing the first shows its own reply, which Save then writes.
    void hopRowShowsEachReply()
    {
        const QByteArray toRipe = "NetRange:       192.0.2.0 - 192.0.2.255\nReferralServer:  whois://whois.ripe.net\n";
        FakeWhoisServer server({ FakeWhoisServer::reply(toRipe),
                                 FakeWhoisServer::reply("inetnum: 192.0.2.0 - 192.0.2.255\nnetname: NET-ONE\n") });
        mainWindow w;
        useEndpoints(w, server.realNames());
        showAndFocus(w);
        w.addressEdit->setText(QStringLiteral("192.0.2.1"));
        QTest::keyClick(w.addressEdit, Qt::Key_Return);
        waitForLookup(w);
        const QString answer = w.resultEdit->toPlainText();
        QVERIFY(answer.contains(QLatin1String("NET-ONE")));
        QCOMPARE(w.hopRow->buttons().size(), 2);
        QVERIFY(w.hopRow->buttons().at(0)->text().startsWith(QLatin1String("whois.arin.net ")));
        QCOMPARE(w.hopRow->current(), 1);
        QVERIFY(w.factsPanel->isVisible());

        QTest::mouseClick(w.hopRow->buttons().at(0), Qt::LeftButton);
        QCOMPARE(w.resultEdit->toPlainText(), QString::fromLatin1(toRipe));
        QTemporaryDir dir;
        ModalDriver driver;
        driver.onFileDialog = [&](QFileDialog *d) { ModalDriver::chooseFile(d, dir.filePath("hop.txt")); };
        w.saveData();
        QCOMPARE(readFile(dir.filePath("hop.txt")), toRipe);
        QTest::mouseClick(w.hopRow->buttons().at(1), Qt::LeftButton);
        QCOMPARE(w.resultEdit->toPlainText(), answer);
    }

    void saveWritesLatin1AndReplaces()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.txt"));
        mainWindow w;
        w.whoisInfo->query = QStringLiteral("192.0.2.1");
        w.whoisInfo->response = QString::fromUtf8("descr:  café 中\n% ok");

        ModalDriver driver;
        driver.onFileDialog = [&](QFileDialog *d) { ModalDriver::chooseFile(d, path); };
        MessageCapture capture;
        w.saveData();
        // Latin-1, "?" for what it cannot hold, nothing else added.
        QCOMPARE(readFile(path), QByteArray("descr:\tcaf\xe9 ?\n% ok\n"));
        QVERIFY(driver.boxes.isEmpty());

        // The dialog proposes the query as a name on the desktop (home where
        // there is none), and the desktop is named in the debug output.
        const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        const QString folder = QDir(desktop).exists() ? desktop : QDir::homePath();
        QCOMPARE(driver.proposed, QDir(folder).filePath(QStringLiteral("192-0-2-1.txt")));
        QCOMPARE(capture.take().value(0), QLatin1Char('"') + desktop + QStringLiteral("\" "));

        // A second save replaces the file; the dialog's own question is answered yes.
        w.whoisInfo->response = QStringLiteral("x");
        w.saveData();
        QCOMPARE(readFile(path), QByteArray("x\n"));
        QCOMPARE(driver.boxes.size(), 1);
        QVERIFY(!driver.boxes.first().startsWith(QStringLiteral("error|")));
    }

    void saveProposesASafeName_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("name");
        QTest::newRow("prefix") << "192.0.2.0/24" << "192-0-2-0-24.txt";
        QTest::newRow("path") << "/etc/x" << "-etc-x.txt";
        QTest::newRow("IPv6") << "2001:db8::1" << "2001-db8--1.txt";
        QTest::newRow("letters kept") << QString::fromUtf8("münchen.de") << QString::fromUtf8("münchen-de.txt");
        QTest::newRow("long query") << QString(300, QLatin1Char('a')) << QString(95, QLatin1Char('a')) + ".txt";
        // At most 100 bytes of UTF-8 with ".txt", no character cut.
        const QString tokyo = QString::fromUtf8("東京");
        QTest::newRow("3-byte letters") << tokyo.repeated(48) << tokyo.repeated(16) + ".txt";
        QTest::newRow("2-byte letters") << QString(60, QChar(0xE9)) << QString(48, QChar(0xE9)) + ".txt";
        const QString astral = QString::fromUtf8("\U00020000"); // a CJK letter beyond the BMP
        QTest::newRow("4-byte letters") << astral.repeated(30) << astral.repeated(24) + ".txt";
        QTest::newRow("a pair at the cut") << QString(94, QLatin1Char('a')) + astral
                                           << QString(94, QLatin1Char('a')) + ".txt";
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + "x" << "-x.txt";
    }
    void saveProposesASafeName()
    {
        QFETCH(QString, query);
        QFETCH(QString, name);
        mainWindow w;
        w.whoisInfo->query = query;
        ModalDriver driver; // looks at the dialog, then cancels it
        w.saveData();
        const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        const QString folder = QDir(desktop).exists() ? desktop : QDir::homePath();
        QCOMPARE(driver.proposed, QDir(folder).filePath(name));
        QVERIFY(name.toUtf8().size() <= 100);
        QCOMPARE(w.whoisInfo->query, query); // saving changes nothing the window keeps
    }

    void saveBeforeAnySearchWritesOneLineEnd()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("empty.txt"));
        mainWindow w;
        ModalDriver driver;
        driver.onFileDialog = [&](QFileDialog *d) { ModalDriver::chooseFile(d, path); };
        w.saveData();
        QCOMPARE(readFile(path), QByteArray("\n"));
    }

    void cancelledSaveWritesNothing()
    {
        QTemporaryDir dir;
        mainWindow w;
        ModalDriver driver; // rejects the dialog
        w.saveData();
        QVERIFY(QDir(dir.path()).isEmpty());
        QVERIFY(driver.boxes.isEmpty());
    }

    void failedSaveShowsTheBoxAndKeepsTheOldFile()
    {
        QTemporaryDir dir;
        // A folder where the file should go: nothing can replace it.
        const QString folder = dir.filePath(QStringLiteral("taken"));
        QVERIFY(QDir().mkdir(folder));
        QFile old(QDir(folder).filePath(QStringLiteral("inside.txt")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old content");
        old.close();

        mainWindow w;
        w.whoisInfo->response = QStringLiteral("new content");
        ModalDriver driver;
        driver.onFileDialog = [&](QFileDialog *d) { ModalDriver::insistOnFile(d, folder); };
        w.saveData();
        QCOMPARE(driver.boxes, QStringList{ QStringLiteral("error|Couldn't write to file.") });
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(readFile(old.fileName()), QByteArray("old content"));
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{ QStringLiteral("inside.txt") });
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{ QStringLiteral("taken") });
    }

    void copyAndSelectAll()
    {
        FakeWhoisServer server({ FakeWhoisServer::reply("descr: one\ndescr: two\n") });
        mainWindow w;
        useServer(w, server);
        showAndFocus(w);
        QClipboard *clipboard = QApplication::clipboard();
        clipboard->setText(QStringLiteral("before"));

        // Nothing to select before the first search.
        w.selectAllData();
        w.copyData();
        QCOMPARE(clipboard->text(), QStringLiteral("before"));

        w.addressEdit->setText(QStringLiteral("192.0.2.1"));
        w.getData();
        waitForLookup(w);
        // A new result has no selection, and the address field's selection does not count.
        w.addressEdit->selectAll();
        w.copyData();
        QCOMPARE(clipboard->text(), QStringLiteral("before"));

        w.addressEdit->setFocus();
        w.selectAllData();
        QVERIFY(w.addressEdit->hasFocus());
        w.copyData();
        QCOMPARE(clipboard->text(), QStringLiteral("descr:\tone\ndescr:\ttwo\n\n"));
        QCOMPARE(clipboard->text(), w.resultEdit->toPlainText());

        // Part of the text, dragged with the mouse: the selection only.
        const QRect first = w.resultEdit->viewport()->rect();
        const int row = w.resultEdit->fontMetrics().lineSpacing() / 2 + 4;
        const int charWidth = w.resultEdit->fontMetrics().horizontalAdvance(QLatin1Char('0'));
        QTest::mousePress(w.resultEdit->viewport(), Qt::LeftButton, {}, QPoint(first.left() + 2, row));
        QTest::mouseMove(w.resultEdit->viewport(), QPoint(4 + 5 * charWidth, row));
        QTest::mouseRelease(w.resultEdit->viewport(), Qt::LeftButton, {}, QPoint(4 + 5 * charWidth, row));
        w.copyData();
        QCOMPARE(clipboard->text(), QStringLiteral("descr"));
    }

    // A query enters the history as its search starts, trimmed; a repeated
    // one moves to the front, a blank one is not kept, and past 100 the
    // oldest go. The next run offers the same list.
    void searchesEnterTheHistoryAcrossRuns()
    {
        QSettings stored(QStringLiteral("Vantor"), QStringLiteral("Vantor"));
        const auto storedHistory = [&stored] { return stored.value(QStringLiteral("history/queries")).toStringList(); };
        QStringList older; // 99, most recent first
        for (int i = 99; i >= 1; --i)
            older.append(QStringLiteral("AS%1").arg(64500 + i));
        stored.setValue(QStringLiteral("history/queries"), older);
        FakeWhoisServer server(QList<Script>(3, Script().hold(5000)));
        QStringList expected = older;
        {
            mainWindow w;
            useServer(w, server);
            const QStringList queries{ " 192.0.2.1 ", "AS64550", "  ", "192.0.2.2" };
            for (const QString &query : queries) {
                w.addressEdit->setText(query);
                QTest::keyClick(w.addressEdit, Qt::Key_Return);
                if (!query.trimmed().isEmpty()) {
                    QVERIFY(w.lookupRunning()); // kept before the lookup ends
                    expected.removeAll(query.trimmed());
                    expected.prepend(query.trimmed());
                }
                QCOMPARE(storedHistory(), expected.mid(0, 100));
            }
            QCOMPARE(w.addressEdit->text(), QStringLiteral("192.0.2.2"));
        }
        QCOMPARE(expected.size(), 101);
        QCOMPARE(storedHistory().size(), 100);
        QCOMPARE(storedHistory().last(), QStringLiteral("AS64502")); // AS64501 has gone
        mainWindow next;
        auto *model = qobject_cast<QStringListModel *>(next.addressEdit->completer()->model());
        QVERIFY(model);
        QCOMPARE(model->stringList(), expected.mid(0, 100));
    }

    // Esc stops a running lookup whether the find row is closed or open,
    // but in the row's field it closes the row first.
    void escapeStopsALookupUnlessInTheFindField()
    {
        FakeWhoisServer server(QList<Script>(3, Script().hold(5000)));
        mainWindow w;
        useServer(w, server);
        showAndFocus(w);
        w.resultEdit->setPlainText(QStringLiteral("remarks: previous\n"));
        for (int round = 1; round <= 3; ++round) {
            if (round > 1) {
                w.findAction->trigger();
                w.findBar->field->setText(QStringLiteral("PREVIOUS"));
            }
            if (round == 2)
                w.resultEdit->setFocus();
            w.addressEdit->setText(QStringLiteral("192.0.2.1"));
            w.getData();
            QTRY_COMPARE(server.connections(), round);
            // To the focus, as a key from the keyboard goes.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            if (round == 3) { // the row closes, the lookup goes on
                QVERIFY(w.findBar->isHidden());
                QVERIFY(w.resultEdit->highlights().isEmpty());
                QVERIFY(w.lookupRunning());
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            }
            QTRY_VERIFY_WITH_TIMEOUT(!w.lookupRunning(), 1000);
            QCOMPARE(w.statusBar->currentMessage(), QStringLiteral("Lookup stopped"));
            QCOMPARE(w.findBar->isHidden(), round != 2);
            QCOMPARE(w.resultEdit->highlights().size(), round == 2 ? 1 : 0);
        }
    }
};

QTEST_MAIN(TestWindowLookup)
#include "tst_window_lookup.moc"
