#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include "testsettings.h"
#include "ui/factspanel.h"
#include "ui/findbar.h"
#include "ui/hoprow.h"
#include "ui/mainwindow.h"
#include "ui/resultview.h"

namespace {

const QString kReply = QStringLiteral("descr: Café Müller\nnetname: TEST-NET-1\n");

} // namespace

// What a screen reader learns of the window, through the interfaces it asks.
class TestAccessible : public QObject
{
    Q_OBJECT

    TestSettings m_settings;

private slots:
    void resultIsAReadOnlyTextAndTheFindRowIsNamed()
    {
        mainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resultEdit->setPlainText(kReply);
        QAccessibleInterface *result = QAccessible::queryAccessibleInterface(w.resultEdit);
        QVERIFY(result);
        QCOMPARE(result->role(), QAccessible::EditableText);
        QVERIFY(result->state().readOnly && result->state().multiLine && result->state().focusable);
        QCOMPARE(result->text(QAccessible::Name), QStringLiteral("Result"));
        for (int i = 0; i < result->childCount(); ++i)
            QVERIFY(result->child(i)->object() != w.resultEdit->viewport());

        QAccessibleTextInterface *text = result->textInterface();
        QVERIFY(text);
        QCOMPARE(text->characterCount(), kReply.size());
        QCOMPARE(text->text(0, -1), kReply);
        QCOMPARE(text->text(7, 11), QStringLiteral("Café"));

        // The selection, read and set from either side.
        int start = -1;
        int end = -1;
        QCOMPARE(text->selectionCount(), 0);
        w.resultEdit->setSelection(26, 19); // dragged leftwards
        text->selection(0, &start, &end);
        QCOMPARE(start, 19);
        QCOMPARE(end, 26);
        QCOMPARE(text->selectionCount(), 1);
        QCOMPARE(text->cursorPosition(), 19);
        text->setSelection(0, 7, 11);
        QCOMPARE(w.resultEdit->selectedText(), QStringLiteral("Café"));
        text->removeSelection(0);
        QVERIFY(!w.resultEdit->hasSelection());

        // Where a character shows on screen, and back.
        const QRect shown = text->characterRect(22);
        QVERIFY(shown.width() > 0 && shown.height() > 0);
        QCOMPARE(text->offsetAtPoint(shown.center()), 22);
        QCOMPARE(text->offsetAtPoint(w.mapToGlobal(QPoint(-50, -50))), -1);

        // Icons alone name nothing: each button has a name.
        const QList<QPair<QWidget *, QString>> named = {
            { w.findBar->previousButton, QStringLiteral("Previous match") },
            { w.findBar->nextButton, QStringLiteral("Next match") },
            { w.findBar->closeButton, QStringLiteral("Close find") },
            { w.findBar->field, QStringLiteral("Find") },
        };
        for (const auto &[widget, name] : named)
            QCOMPARE(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name), name);
    }

    // Each fact a name and a value; each hop a button named by its server,
    // protocol, time and what went wrong; Tab reaches the hops.
    void factsAndHopsAreNamed()
    {
        mainWindow w;
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        analysis::Facts facts;
        facts.items = { { "registrar", "Registrar", { "MarkMonitor Inc." } },
                        { "status", "Status", { "clientHold", "serverHold" } } };
        w.factsPanel->setFacts(facts);
        net::HopRecord first{ "whois.verisign-grs.com", "whois", 42, 0, net::HopRecord::Outcome::Answered, "x" };
        net::HopRecord second{ "whois.markmonitor.com", "whois", 5000, 0, net::HopRecord::Outcome::NoReply, {} };
        w.hopRow->setHops({ first, second }, 0);

        const QList<QPair<QWidget *, QStringList>> named = {
            { w.factsPanel->valueLabels().at(0), { "Registrar", "MarkMonitor Inc." } },
            { w.factsPanel->valueLabels().at(1), { "Status", "clientHold\nserverHold" } },
            { w.hopRow->buttons().at(0), { "whois.verisign-grs.com, whois, 42 ms", "" } },
            { w.hopRow->buttons().at(1), { "whois.markmonitor.com, whois, 5000 ms, no reply", "" } },
        };
        for (const auto &[widget, texts] : named) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(widget);
            QCOMPARE(a->text(QAccessible::Name), texts.at(0));
            if (!texts.at(1).isEmpty())
                QCOMPARE(a->text(QAccessible::Description), texts.at(1));
            else
                QCOMPARE(a->role(), QAccessible::Button);
        }
        QCOMPARE(w.hopRow->buttons().at(1)->text(), QStringLiteral("whois.markmonitor.com 5000 ms (no reply)"));

        w.searchButton->setFocus();
        QTest::keyClick(w.searchButton, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.hopRow->buttons().at(0));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.hopRow->buttons().at(1));
    }

    void textByBoundary_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("boundary"); // a QAccessible::TextBoundaryType
        QTest::addColumn<int>("where");    // the part before the offset's, at it, after it
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("start"); // -1 for none

        const int line = QAccessible::LineBoundary;
        const int word = QAccessible::WordBoundary;
        const int character = QAccessible::CharBoundary;
        QTest::newRow("line at") << kReply << 3 << line << 0 << "descr: Café Müller\n" << 0;
        QTest::newRow("line after") << kReply << 3 << line << 1 << "netname: TEST-NET-1\n" << 19;
        QTest::newRow("line before the first") << kReply << 3 << line << -1 << "" << -1;
        QTest::newRow("line before") << kReply << 25 << line << -1 << "descr: Café Müller\n" << 0;
        QTest::newRow("line after the last") << kReply << 25 << line << 1 << "" << -1;
        QTest::newRow("line at the end") << kReply << 39 << line << 0 << "" << 39;
        QTest::newRow("word at") << kReply << 9 << word << 0 << "Café" << 7;
        QTest::newRow("between words") << kReply << 11 << word << 0 << " " << 11;
        QTest::newRow("word after") << kReply << 11 << word << 1 << "Müller" << 12;
        QTest::newRow("word before") << kReply << 13 << word << -1 << " " << 11;
        QTest::newRow("character") << kReply << 10 << character << 0 << "é" << 10;
        QTest::newRow("letter and mark") << QString::fromUtf8("Cafe\u0301\n") << 3 << character << 0
                                         << QString::fromUtf8("e\u0301") << 3;
        QTest::newRow("whole text") << kReply << 5 << int(QAccessible::NoBoundary) << 0 << kReply << 0;
        // Within 256 characters either side: a word of a megabyte comes in pieces.
        QTest::newRow("in a line of 1 MiB") << QString(1 << 20, QLatin1Char('a')) << 500000 << word << 0
                                            << QString(512, QLatin1Char('a')) << 500000 - 256;
    }
    void textByBoundary()
    {
        QFETCH(QString, text);
        QFETCH(int, offset);
        QFETCH(int, boundary);
        QFETCH(int, where);
        QFETCH(QString, expected);
        QFETCH(int, start);
        ResultView view;
        view.setPlainText(text);
        QAccessibleTextInterface *t = QAccessible::queryAccessibleInterface(&view)->textInterface();
        const auto type = QAccessible::TextBoundaryType(boundary);
        int from = -2;
        int to = -2;
        const QString got = where < 0   ? t->textBeforeOffset(offset, type, &from, &to)
                            : where > 0 ? t->textAfterOffset(offset, type, &from, &to)
                                        : t->textAtOffset(offset, type, &from, &to);
        QCOMPARE(got, expected);
        QCOMPARE(from, start);
        QCOMPARE(to, start < 0 ? -1 : start + int(expected.size()));
    }
};

QTEST_MAIN(TestAccessible)
#include "tst_accessible.moc"
