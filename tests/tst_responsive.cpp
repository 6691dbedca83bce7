#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#ifdef Q_OS_LINUX
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "fakehttpserver.h"
#include "fakewhoisserver.h"
#include "testsettings.h"
#include "ui/mainwindow.h"
#include "ui/resultview.h"

using Script = FakeWhoisServer::Script;

namespace {

// A name whose resolver never answers.
QList<QHostAddress> neverResolves(const QString &)
{
    std::this_thread::sleep_for(std::chrono::hours(1));
    return {};
}

#ifdef Q_OS_LINUX
// A port whose queue of waiting connections is full: the kernel drops every
// further attempt, so a connect to it waits until it gives up.
class FullQueue
{
public:
    FullQueue()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(m_listener, 0);
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&a), &length);
        port = ntohs(a.sin_port);
        for (int i = 0; i < 3; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM, 0);
            ::fcntl(c, F_SETFL, O_NONBLOCK);
            ::connect(c, reinterpret_cast<sockaddr *>(&a), sizeof a);
            m_fillers.push_back(c);
        }
        QThread::msleep(100);
    }
    ~FullQueue()
    {
        for (int c : m_fillers)
            ::close(c);
        ::close(m_listener);
    }
    quint16 port = 0;

private:
    int m_listener = -1;
    std::vector<int> m_fillers;
};
#endif

// The sizes a widget was painted at.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget *widget)
        : m_widget(widget)
    {
        widget->installEventFilter(this);
    }
    QList<QSize> sizes;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_widget && event->type() == QEvent::Paint)
            sizes.append(m_widget->parentWidget()->size());
        return false;
    }

private:
    QWidget *m_widget;
};

int openFiles()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

} // namespace

// The window while a lookup runs on its thread: it keeps answering, and a
// lookup stops at once at any step.
class TestResponsive : public QObject
{
    Q_OBJECT

private:
    std::vector<std::unique_ptr<WhoisInfo>> m_engines;

    void useEndpoints(mainWindow &w, const WhoisEndpoints &e)
    {
        m_engines.push_back(std::make_unique<WhoisInfo>(w.statusBar, e));
        w.whoisInfo = m_engines.back().get();
    }

    static void search(mainWindow &w, const QString &query)
    {
        w.addressEdit->setText(query);
        QTest::keyClick(w.addressEdit, Qt::Key_Return);
    }

    TestSettings m_settings;

private slots:
    void cleanup() { m_engines.clear(); }

    void stopsAtEveryStep_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("resolving, Esc") << "resolving" << true;
        QTest::newRow("connecting, Stop") << "connecting" << false;
        QTest::newRow("first byte, Esc") << "first byte" << true;
        QTest::newRow("mid-reply, Stop") << "mid-reply" << false;
        QTest::newRow("RDAP request, Esc") << "rdap" << true;
    }
    void stopsAtEveryStep()
    {
        QFETCH(QString, step);
        QFETCH(bool, byEscape);
        FakeWhoisServer server({ step == QLatin1String("first byte") ? Script().hold(15000)
                                                                    : Script().drip(QByteArray(200, 'x'), 50) });
        WhoisEndpoints e = server.endpoints();
#ifdef Q_OS_LINUX
        FullQueue full;
        if (step == QLatin1String("connecting"))
            e.port = full.port;
#else
        if (step == QLatin1String("connecting"))
            QSKIP("a port that never accepts is made with Linux's listen queue");
#endif
        FakeHttpServer mute(FakeHttpServer::Mute, {});
        if (step == QLatin1String("rdap")) {
            // whois is refused at once, then RDAP is asked of a server that never answers.
            e.port = 1;
            e.rdapServices = [base = mute.base()](const route::Query &) { return QStringList{ base }; };
        }
        if (step == QLatin1String("resolving")) {
            e.defaultServer = QStringLiteral("whois.example");
            e.resolve = neverResolves;
        }

        mainWindow w;
        useEndpoints(w, e);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.whoisInfo->response = QStringLiteral("previous");
        w.resultEdit->setPlainText(QStringLiteral("previous\n"));
        const int width = w.searchButton->width();

        search(w, QStringLiteral("192.0.2.1"));
        QVERIFY(w.lookupRunning());
        QTest::qWait(400); // well into the step
        QVERIFY(w.lookupRunning());
        QCOMPARE(w.searchButton->text(), QStringLiteral(" Stop"));
        QCOMPARE(w.searchButton->width(), width);
        QVERIFY(w.busyIndicator->isVisible());

        QElapsedTimer t;
        t.start();
        if (byEscape)
            QTest::keyClick(&w, Qt::Key_Escape);
        else
            QTest::mouseClick(w.searchButton, Qt::LeftButton);
        // Polled finely: QTRY's own steps of 50 ms would blur the figure.
        while (w.lookupRunning() && t.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QVERIFY2(t.elapsed() <= 100, qPrintable(QString::number(t.elapsed()) + " ms"));
        QCOMPARE(w.statusBar->currentMessage(), QStringLiteral("Lookup stopped"));
        QCOMPARE(w.resultEdit->toPlainText(), QStringLiteral("previous\n"));
        QCOMPARE(w.whoisInfo->response, QStringLiteral("previous"));
        QCOMPARE(w.searchButton->text(), QStringLiteral(" Search"));
        QVERIFY(!w.busyIndicator->isVisible());
    }

    void newSearchReplacesTheRunningOne()
    {
        FakeWhoisServer server({ Script().pause(1500).send("descr: first\n"), FakeWhoisServer::reply("descr: second\n") });
        mainWindow w;
        useEndpoints(w, server.endpoints());
        search(w, QStringLiteral("192.0.2.1"));
        QTest::qWait(200);
        search(w, QStringLiteral("192.0.2.2"));
        QTRY_VERIFY_WITH_TIMEOUT(!w.lookupRunning(), 5000);
        QCOMPARE(w.resultEdit->toPlainText(), QStringLiteral("descr:\tsecond\n\n"));
        QCOMPARE(w.whoisInfo->query, QStringLiteral("192.0.2.2"));
        QTest::qWait(1500); // the first server's late reply changes nothing
        QCOMPARE(w.resultEdit->toPlainText(), QStringLiteral("descr:\tsecond\n\n"));
    }

    void focusStaysWhereTheUserPutIt()
    {
        FakeWhoisServer server({ Script().pause(300).send("descr: x\n") });
        mainWindow w;
        useEndpoints(w, server.endpoints());
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.addressEdit->setFocus();
        search(w, QStringLiteral("192.0.2.1"));
        w.searchButton->setFocus(); // the user moves on meanwhile
        QTRY_VERIFY_WITH_TIMEOUT(!w.lookupRunning(), 5000);
        QVERIFY(w.searchButton->hasFocus());
    }

    void windowKeepsAnsweringDuringADrip()
    {
        FakeWhoisServer server({ Script().drip(QByteArray(60, 'x'), 50) });
        mainWindow w;
        useEndpoints(w, server.endpoints());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 worst = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] {
            worst = qMax(worst, clock.elapsed() - last);
            last = clock.elapsed();
        });
        // Resized halfway: the result area is laid out and drawn anew at
        // its new size while the lookup still runs.
        const QSize grown = w.resultEdit->size() + QSize(100, 80);
        PaintWatch painted(w.resultEdit->viewport());
        QTimer::singleShot(1500, &w, [&] { w.resize(w.size() + QSize(100, 80)); });
        search(w, QStringLiteral("192.0.2.1"));
        clock.start();
        tick.start(10);
        QTRY_VERIFY_WITH_TIMEOUT(painted.sizes.contains(grown), 10000);
        QVERIFY2(w.lookupRunning(), "drawn at the new size before the lookup ended");
        QTRY_VERIFY_WITH_TIMEOUT(!w.lookupRunning(), 10000);
        QVERIFY2(clock.elapsed() > 2500, "the drip lasts about 3 s");
        QVERIFY2(worst < 50, qPrintable(QString::number(worst) + " ms without events"));
    }

    void quitDuringALookup()
    {
        WhoisEndpoints e = FakeWhoisServer::withoutRdap();
        e.defaultServer = QStringLiteral("whois.example");
        e.resolve = neverResolves;
        auto w = std::make_unique<mainWindow>();
        useEndpoints(*w, e);
        search(*w, QStringLiteral("192.0.2.1"));
        QTest::qWait(100);
        QElapsedTimer t;
        t.start();
        w.reset();
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed()) + " ms"));
    }

    void manyStartsAndStops()
    {
        mainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        {
            // Once first, so that the lookup thread and its waits exist.
            FakeWhoisServer warmUp({ Script().hold(5000) });
            useEndpoints(w, warmUp.endpoints());
            search(w, QStringLiteral("192.0.2.1"));
            QTRY_VERIFY(warmUp.connections() == 1);
            QTest::keyClick(&w, Qt::Key_Escape);
            QTRY_VERIFY(!w.lookupRunning());
        }
        const int before = openFiles();
        // The server's own sockets are counted out by ending it before the count.
        auto server = std::make_unique<FakeWhoisServer>(QList<Script>(200, Script().hold(5000)));
        useEndpoints(w, server->endpoints());
        for (int i = 0; i < 200; ++i) {
            search(w, QStringLiteral("192.0.2.1"));
            QTest::qWait(i % 3 * 5);
            QTest::keyClick(&w, Qt::Key_Escape);
            QTRY_VERIFY(!w.lookupRunning());
        }
        QCOMPARE(w.statusBar->currentMessage(), QStringLiteral("Lookup stopped"));
        server.reset();
        QTRY_COMPARE_WITH_TIMEOUT(openFiles(), before, 3000);
    }
};

QTEST_MAIN(TestResponsive)
#include "tst_responsive.moc"
