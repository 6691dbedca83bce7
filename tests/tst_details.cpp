#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include "testsettings.h"
#include "ui/factspanel.h"
#include "ui/mainwindow.h"
#include "ui/resultlinks.h"
#include "ui/resultview.h"

namespace {

const QDateTime kNow(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);

QPalette darkPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::WindowText, Qt::white);
    p.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
    return p;
}

analysis::Facts factsExpiring(int days)
{
    analysis::Facts f;
    f.subject = QStringLiteral("domain");
    f.items = { { QStringLiteral("registrar"), QStringLiteral("Registrar"), { QStringLiteral("MarkMonitor Inc.") } },
                { QStringLiteral("expires"), QStringLiteral("Expires"), { QStringLiteral("2026-03-01") } },
                { QStringLiteral("nameservers"), QStringLiteral("Name servers"),
                  { QStringLiteral("ns1.example.com"), QStringLiteral("ns2.example.com") } } };
    f.expires = kNow.addDays(days);
    return f;
}

// Sends a left-button event with its own time, as a real click comes.
void mouse(QWidget *target, QEvent::Type type, QPoint at, quint64 time)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, at, target->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    e.setTimestamp(time);
    QApplication::sendEvent(target, &e);
}

} // namespace

// The facts panel, links in the result and the result's keys, apart from
// any lookup.
class TestDetails : public QObject
{
    Q_OBJECT

    TestSettings m_settings;

private slots:
    void cleanup() { TestSettings::clear(); }

    void expiryNoteAndColour_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("note");
        QTest::addColumn<int>("urgency");
        using U = analysis::ExpiryUrgency;
        QTest::newRow("far, light") << 400 << false << "in 400 days" << int(U::None);
        QTest::newRow("soon, light") << 12 << false << "in 12 days" << int(U::Soon);
        QTest::newRow("soon, dark") << 12 << true << "in 12 days" << int(U::Soon);
        QTest::newRow("past, light") << -3 << false << "3 days ago" << int(U::Past);
        QTest::newRow("past, dark") << -3 << true << "3 days ago" << int(U::Past);
    }
    void expiryNoteAndColour()
    {
        QFETCH(int, days);
        QFETCH(bool, dark);
        QFETCH(QString, note);
        QFETCH(int, urgency);
        FactsPanel panel;
        panel.setPalette(dark ? darkPalette() : QPalette(Qt::white));
        panel.setClock([] { return kNow; });
        panel.setFacts(factsExpiring(days));
        QLabel *expires = panel.valueLabels().at(1);
        QCOMPARE(expires->text(), QStringLiteral("2026-03-01 (%1)").arg(note));
        const QColor shown = expires->palette().color(QPalette::WindowText);
        const QColor text = panel.palette().color(QPalette::WindowText);
        QCOMPARE(shown, FactsPanel::urgencyColour(analysis::ExpiryUrgency(urgency), panel.palette()));
        QCOMPARE(shown == text, urgency == int(analysis::ExpiryUrgency::None));
        QVERIFY(FactsPanel::contrastRatio(shown, panel.palette().color(QPalette::Window)) >= 4.5);
        // Warning and error read apart from each other.
        QVERIFY(FactsPanel::urgencyColour(analysis::ExpiryUrgency::Soon, panel.palette())
                != FactsPanel::urgencyColour(analysis::ExpiryUrgency::Past, panel.palette()));
        QCOMPARE(panel.valueLabels().at(2)->text(), QStringLiteral("ns1.example.com\nns2.example.com"));
    }

    void panelHiddenWithoutFactsAndByTheMenu()
    {
        mainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.factsPanel->isHidden());
        w.factsPanel->setFacts(factsExpiring(40));
        QVERIFY(w.factsPanel->isVisible());
        QVERIFY(w.showFactsAction->isChecked());
        w.showFactsAction->trigger();
        QVERIFY(w.factsPanel->isHidden());
        w.factsPanel->setFacts(factsExpiring(41)); // a new answer keeps it hidden
        QVERIFY(w.factsPanel->isHidden());
        QCOMPARE(QSettings(QStringLiteral("Vantor"), QStringLiteral("Vantor")).value("window/showFacts"), false);
        w.showFactsAction->trigger();
        QVERIFY(w.factsPanel->isVisible());
        w.factsPanel->setFacts({});
        QVERIFY(w.factsPanel->isHidden());
    }

    void linkAtPosition_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("link");
        using L = ResultLinks::Link;
        const QString url = QStringLiteral("Registrar URL: http://www.markmonitor.com.\n");
        QTest::newRow("web, sentence's stop left off") << url << 20 << int(L::Web) << "http://www.markmonitor.com";
        QTest::newRow("on the key") << url << 3 << int(L::None) << "";
        QTest::newRow("on the stop") << url << 41 << int(L::None) << "";
        QTest::newRow("mail in brackets") << "abuse-mailbox: <abuse@ripe.net>" << 20 << int(L::Mail) << "abuse@ripe.net";
        QTest::newRow("mailto") << "mailto:hm@example.net" << 10 << int(L::Mail) << "hm@example.net";
        QTest::newRow("address") << "inetnum: 193.0.0.0 - 193.0.7.255" << 12 << int(L::Lookup) << "193.0.0.0";
        QTest::newRow("prefix") << "route: 193.0.0.0/21" << 10 << int(L::Lookup) << "193.0.0.0/21";
        QTest::newRow("AS number") << "origin: AS3333" << 10 << int(L::Lookup) << "AS3333";
        QTest::newRow("domain") << "Name Server: NS1.GOOGLE.COM" << 15 << int(L::Lookup) << "NS1.GOOGLE.COM";
        QTest::newRow("handle") << "OrgAbuseHandle: ABUSE5250-ARIN" << 20 << int(L::Lookup) << "ABUSE5250-ARIN";
        QTest::newRow("plain word") << "descr: Amsterdam" << 10 << int(L::None) << "";
        QTest::newRow("blank") << "a  b" << 1 << int(L::None) << "";
        QTest::newRow("past the end") << "x" << 5 << int(L::None) << "";
    }
    void linkAtPosition()
    {
        QFETCH(QString, text);
        QFETCH(int, position);
        QFETCH(int, kind);
        QFETCH(QString, link);
        const ResultLinks::Link found = ResultLinks::linkAt(text, position);
        QCOMPARE(int(found.kind), kind);
        QCOMPARE(found.text, link);
        if (kind == ResultLinks::Link::Mail)
            QCOMPARE(found.url.toString(), "mailto:" + link);
    }

    // A click opens, a drag selects and opens nothing, the menu looks up.
    void clickDragAndMenu()
    {
        ResultView view;
        view.resize(500, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *links = new ResultLinks(&view);
        QList<QUrl> opened;
        links->setOpener([&](const QUrl &url) { opened.append(url); return true; });
        view.setPlainText(QStringLiteral("url: https://rdap.example.net/x\ninetnum: 192.0.2.0\n"));
        const QPoint onUrl = view.characterRect(12).center();
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, onUrl);
        QCOMPARE(opened, QList<QUrl>{ QUrl(QStringLiteral("https://rdap.example.net/x")) });
        QCOMPARE(view.viewport()->cursor().shape(), Qt::IBeamCursor);
        QTest::mouseMove(view.viewport(), onUrl);
        QCOMPARE(view.viewport()->cursor().shape(), Qt::PointingHandCursor);

        // A drag that comes back to where it started is still a drag.
        QTest::mousePress(view.viewport(), Qt::LeftButton, {}, onUrl);
        QTest::mouseMove(view.viewport(), view.characterRect(25).center());
        QVERIFY(view.hasSelection());
        QTest::mouseMove(view.viewport(), onUrl);
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, onUrl);
        QCOMPARE(opened.size(), 1);

        std::unique_ptr<QMenu> menu(links->menuAt(view.characterRect(42).center(), &view));
        QSignalSpy asked(links, &ResultLinks::lookUpRequested);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Look up 192.0.2.0"));
        menu->actions().first()->trigger();
        QCOMPARE(asked.value(0).value(0).toString(), QStringLiteral("192.0.2.0"));
    }

    void spacePagesAndTripleClickSelectsALine()
    {
        ResultView view;
        view.resize(400, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        new ResultLinks(&view);
        QStringList lines;
        for (int i = 0; i < 200; ++i)
            lines.append(QStringLiteral("line %1 of the reply").arg(i));
        view.setPlainText(lines.join(QLatin1Char('\n')));
        QScrollBar *v = view.verticalScrollBar();
        QTest::keyClick(&view, Qt::Key_Space);
        QCOMPARE(v->value(), v->pageStep());
        QTest::keyClick(&view, Qt::Key_Space, Qt::ShiftModifier);
        QCOMPARE(v->value(), 0);

        const QPoint at = view.characterRect(view.lineAt(0).length + 2).center(); // line 1, "line"
        mouse(view.viewport(), QEvent::MouseButtonPress, at, 1000);
        mouse(view.viewport(), QEvent::MouseButtonRelease, at, 1010);
        mouse(view.viewport(), QEvent::MouseButtonDblClick, at, 1100);
        mouse(view.viewport(), QEvent::MouseButtonRelease, at, 1110);
        QCOMPARE(view.selectedText(), QStringLiteral("line"));
        mouse(view.viewport(), QEvent::MouseButtonPress, at, 1200);
        mouse(view.viewport(), QEvent::MouseButtonRelease, at, 1210);
        QCOMPARE(view.selectedText(), QStringLiteral("line 1 of the reply"));
    }
};

QTEST_MAIN(TestDetails)
#include "tst_details.moc"
