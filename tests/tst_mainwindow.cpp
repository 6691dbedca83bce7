#include <QAction>
#include <QAbstractItemView>
#include <QApplication>
#include <QBoxLayout>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include "ui/resultview.h"
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>

#include "testsettings.h"
#include "ui/factspanel.h"
#include "ui/findbar.h"
#include "ui/hoprow.h"
#include "ui/mainwindow.h"

namespace {

QList<qsizetype> starts(const QList<ResultView::Range> &ranges)
{
    QList<qsizetype> at;
    for (const ResultView::Range &r : ranges)
        at.append(r.start);
    return at;
}

} // namespace

// The window as a user meets it, built exactly as the program builds it.
class TestMainWindow : public QObject
{
    Q_OBJECT

    static void showActive(mainWindow &w)
    {
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
    }

    TestSettings m_settings;

private slots:
    void cleanup() { TestSettings::clear(); }

    void windowAndRows()
    {
        mainWindow w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Vantor"));
        QVERIFY(w.isWindow());
        QCOMPARE(w.size(), QSize(600, 300));

        QCOMPARE(w.layout(), w.mainLayout);
        QCOMPARE(w.mainLayout->direction(), QBoxLayout::TopToBottom);
        QCOMPARE(w.mainLayout->contentsMargins(), QMargins(6, 6, 6, 6));
        QCOMPARE(w.mainLayout->spacing(), 0);
        QCOMPARE(w.mainLayout->menuBar(), w.menuBar);
        QCOMPARE(w.menuBar->minimumHeight(), 22);

        // Top to bottom: address row, servers asked and facts (hidden until
        // an answer has them), result area (taking the spare height), find
        // row (hidden until asked for), status bar.
        const QList<QWidget *> rows = { nullptr, w.hopRow, w.factsPanel, w.resultEdit, w.findBar, w.statusBar };
        QCOMPARE(w.mainLayout->count(), rows.size());
        QCOMPARE(w.mainLayout->itemAt(0)->layout(), w.searchLayout);
        for (int i = 1; i < rows.size(); ++i) {
            QCOMPARE(w.mainLayout->itemAt(i)->widget(), rows.at(i));
            QCOMPARE(w.mainLayout->stretch(i), rows.at(i) == w.resultEdit ? 1 : 0);
        }
        QVERIFY(w.hopRow->isHidden() && w.factsPanel->isHidden());
        QVERIFY(w.findBar->isHidden());

        // The address row: caption, field taking the spare width, button.
        QCOMPARE(w.searchLayout->direction(), QBoxLayout::LeftToRight);
        QCOMPARE(w.searchLayout->spacing(), 4);
        QCOMPARE(w.searchLayout->count(), 3);
        QCOMPARE(w.searchLayout->itemAt(0)->widget(), w.addressLabel);
        QCOMPARE(w.searchLayout->itemAt(1)->widget(), w.addressEdit);
        QCOMPARE(w.searchLayout->itemAt(2)->widget(), w.searchButton);
        QCOMPARE(w.searchLayout->stretch(1), 1);
        QCOMPARE(w.addressLabel->text(), QStringLiteral("Address"));
        QVERIFY(w.addressEdit->text().isEmpty());
        QCOMPARE(w.addressEdit->maxLength(), QLineEdit().maxLength());
        QVERIFY(w.addressEdit->inputMask().isEmpty());
        QVERIFY(!w.addressEdit->validator());

        QCOMPARE(w.searchButton->text(), QStringLiteral(" Search"));
        QVERIFY(!w.searchButton->icon().isNull());
        QVERIFY(w.searchButton->icon().availableSizes().contains(QSize(32, 32)));

        QVERIFY(w.resultEdit->toPlainText().isEmpty());

        QCOMPARE(w.statusBar->parentWidget(), &w);
        QCOMPARE(w.statusLabel->parentWidget(), w.statusBar);
        QVERIFY(w.statusLabel->text().isEmpty());
        QVERIFY(w.statusBar->currentMessage().isEmpty());

        // The engine reports to this window's status bar and asks the default servers.
        QVERIFY(w.whoisInfo);
        QCOMPARE(w.whoisInfo->statusBar, w.statusBar);
        QVERIFY(!w.whoisInfo->parent());
        QCOMPARE(w.whoisInfo->endpoints().defaultServer, QStringLiteral("whois.arin.net"));
        QCOMPARE(w.whoisInfo->endpoints().domainSuffix, QStringLiteral(".whois-servers.net"));
        QCOMPARE(w.whoisInfo->endpoints().port, quint16(43));
        QVERIFY(w.whoisInfo->response.isEmpty());
        QVERIFY(w.whoisInfo->query.isEmpty());
    }

    void longLinesScrollInsteadOfWrapping()
    {
        mainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resultEdit->setPlainText(QString(400, QLatin1Char('x')));
        QCoreApplication::processEvents();
        QCOMPARE(w.resultEdit->lineCount(), 1);
        QVERIFY(w.resultEdit->horizontalScrollBar()->maximum() > 0);

        // Read-only: typing into the result changes nothing.
        w.resultEdit->setFocus();
        QTest::keyClicks(w.resultEdit, QStringLiteral("abc"));
        QTest::keyClick(w.resultEdit, Qt::Key_Backspace);
        QCOMPARE(w.resultEdit->toPlainText(), QString(400, QLatin1Char('x')));
    }

    void menusAndShortcuts()
    {
        mainWindow w;
        const QList<QAction *> menus = w.menuBar->actions();
        QCOMPARE(menus.size(), 3); // and Lookup, with its one entry
        QCOMPARE(menus.at(0)->menu(), w.fileMenu);
        QCOMPARE(menus.at(1)->menu(), w.editMenu);
        QCOMPARE(w.fileMenu->title(), QStringLiteral("File"));
        QCOMPARE(w.editMenu->title(), QStringLiteral("Edit"));
        // The menus belong to no widget and outlive the window.
        QVERIFY(!w.fileMenu->parent());
        QVERIFY(!w.editMenu->parent());

        struct Entry { QMenu *menu; int index; const char *text; QKeySequence::StandardKey key; };
        const Entry entries[] = {
            { w.fileMenu, 0, "Save", QKeySequence::Save },
            { w.fileMenu, 1, "Quit", QKeySequence::Quit },
            { w.editMenu, 0, "Copy", QKeySequence::Copy },
            { w.editMenu, 1, "Select All", QKeySequence::SelectAll },
            { w.editMenu, 2, "Clear History", QKeySequence::UnknownKey },
            { w.editMenu, 3, "Clear Saved Answers", QKeySequence::UnknownKey },
            { w.editMenu, 5, "Find", QKeySequence::Find },
            { w.lookupMenu, 1, "Refresh", QKeySequence::Refresh },
        };
        QCOMPARE(w.fileMenu->actions().size(), 2);
        QCOMPARE(w.editMenu->actions().size(), 6);
        QVERIFY(w.editMenu->actions().at(4)->isSeparator());
        QCOMPARE(w.editMenu->actions().at(2), w.clearHistoryAction);
        QCOMPARE(w.editMenu->actions().at(3), w.clearAnswersAction);
        QCOMPARE(w.editMenu->actions().at(5), w.findAction);
        QCOMPARE(w.lookupMenu->actions().at(1), w.refreshAction);
        for (const Entry &e : entries) {
            QAction *a = e.menu->actions().at(e.index);
            QCOMPARE(a->text(), QString::fromLatin1(e.text));
            QCOMPARE(a->shortcut(), QKeySequence(e.key));
            QVERIFY(a->icon().isNull());
            QVERIFY(a->toolTip() == a->text());
            QVERIFY(a->statusTip().isEmpty());
        }
        // Platforms with standard keys bind these; Quit may have none (Windows, offscreen).
        QCOMPARE(w.fileMenu->actions().at(0)->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
        QCOMPARE(w.editMenu->actions().at(0)->shortcut(), QKeySequence(QStringLiteral("Ctrl+C")));
        QCOMPARE(w.editMenu->actions().at(1)->shortcut(), QKeySequence(QStringLiteral("Ctrl+A")));
        QCOMPARE(w.findAction->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));
        QCOMPARE(w.refreshAction->shortcut(), QKeySequence(QStringLiteral("F5")));
    }

    // Keys in the address field: the arrows, "Erase" (select all and
    // delete), and text typed.
    void upAndDownStepThroughTheHistory_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("shown");
        QTest::newRow("Up: newest") << QStringList{ "Up" } << "192.0.2.3";
        QTest::newRow("Up stops at the oldest") << QStringList(5, "Up") << "192.0.2.1";
        QTest::newRow("Down: newer") << QStringList{ "Up", "Up", "Down" } << "192.0.2.3";
        QTest::newRow("Down past the newest: empty") << QStringList{ "Up", "Down" } << "";
        QTest::newRow("Down in an empty field") << QStringList{ "Down" } << "";
        QTest::newRow("field with text") << QStringList{ "x", "Up" } << "x";
        QTest::newRow("stepping on: no longer empty") << QStringList{ "Up", "Up", "Up", "Down" } << "192.0.2.2";
        QTest::newRow("typing ends the stepping") << QStringList{ "Up", "9", "Up" } << "192.0.2.39";
        QTest::newRow("emptied: from the newest") << QStringList{ "Up", "Up", "Erase", "Up" } << "192.0.2.3";
    }
    void upAndDownStepThroughTheHistory()
    {
        QFETCH(QStringList, keys);
        QFETCH(QString, shown);
        const QStringList history{ "192.0.2.3", "192.0.2.2", "192.0.2.1" };
        QSettings(QStringLiteral("Vantor"), QStringLiteral("Vantor")).setValue(QStringLiteral("history/queries"), history);
        mainWindow w;
        showActive(w);
        QLineEdit *field = w.addressEdit;
        field->setFocus();
        for (const QString &key : keys) {
            if (key == QLatin1String("Up") || key == QLatin1String("Down")) {
                QTest::keyClick(field, key == QLatin1String("Up") ? Qt::Key_Up : Qt::Key_Down);
            } else if (key == QLatin1String("Erase")) {
                field->selectAll();
                QTest::keyClick(field, Qt::Key_Backspace);
            } else {
                QTest::keyClicks(field, key);
            }
            field->completer()->popup()->hide(); // it would take the next key
        }
        QCOMPARE(field->text(), shown);
    }

    void completerOffersTheHistoryAndClearHistoryForgetsIt()
    {
        const QStringList history{ "www.example.com", "192.0.2.1", "EXAMPLE.org", "AS64500", "sub.example.net" };
        QSettings(QStringLiteral("Vantor"), QStringLiteral("Vantor")).setValue(QStringLiteral("history/queries"), history);
        mainWindow w;
        showActive(w);
        w.addressEdit->setFocus();
        QCompleter *completer = w.addressEdit->completer();
        QCOMPARE(completer->model()->rowCount(), history.size());

        // Any entry that holds the typed text, in any letter case, most recent first.
        QTest::keyClicks(w.addressEdit, QStringLiteral("eXa"));
        QTRY_VERIFY(completer->popup()->isVisible());
        QStringList offered;
        for (int row = 0; row < completer->completionCount(); ++row)
            offered.append(completer->completionModel()->index(row, 0).data().toString());
        QCOMPARE(offered, (QStringList{ "www.example.com", "EXAMPLE.org", "sub.example.net" }));
        // Esc closes the list and keeps the text; the window's Esc never sees it.
        QTest::keyClick(w.addressEdit, Qt::Key_Escape);
        QVERIFY(!completer->popup()->isVisible());
        QCOMPARE(w.addressEdit->text(), QStringLiteral("eXa"));

        w.clearHistoryAction->trigger();
        QCOMPARE(completer->model()->rowCount(), 0);
        QVERIFY(!QSettings(QStringLiteral("Vantor"), QStringLiteral("Vantor")).contains(QStringLiteral("history/queries")));
        w.addressEdit->clear();
        QTest::keyClick(w.addressEdit, Qt::Key_Up);
        QVERIFY(w.addressEdit->text().isEmpty());
        mainWindow next;
        QCOMPARE(next.addressEdit->completer()->model()->rowCount(), 0);
    }

    void findCountsEveryMatch_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("term");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QList<qsizetype>>("at"); // where the matches start

        // Twelve in mixed case among lines that hold none.
        QString twelve;
        QList<qsizetype> where;
        for (int i = 0; i < 12; ++i) {
            twelve += QStringLiteral("remarks: line %1\ndescr: ").arg(i);
            where.append(twelve.size());
            twelve += QStringLiteral("%1-x\n").arg(i % 3 == 0 ? "NETA" : i % 3 == 1 ? "NetB" : "netc");
        }
        QTest::newRow("12 in mixed case") << twelve << "net" << "1 of 12" << where;
        QTest::newRow("upper case term") << twelve << "NETB" << "1 of 4"
                                         << QList<qsizetype>{ where[1], where[4], where[7], where[10] };
        QTest::newRow("none") << twelve << "zz" << "No matches" << QList<qsizetype>();
        QTest::newRow("empty term") << twelve << "" << "" << QList<qsizetype>();
        QTest::newRow("repeats do not overlap") << "aaaaa" << "AA" << "1 of 2" << QList<qsizetype>{ 0, 2 };
        QTest::newRow("beyond ASCII") << QString::fromUtf8("Café CAFÉ cafe") << QString::fromUtf8("cafÉ")
                                      << "1 of 2" << QList<qsizetype>{ 0, 5 };
        // About 4 MiB: 1.4 million matches of "b", kept to the first 100,000,
        // and one match at the very end, for which the whole text is read.
        const QString large = QStringLiteral("ab\n").repeated(1400000) + QStringLiteral("The end\n");
        QList<qsizetype> firstB;
        for (qsizetype i = 0; i < FindBar::kMaxMatches; ++i)
            firstB.append(3 * i + 1);
        QTest::newRow("4 MiB, capped") << large << "B" << "1 of 100000+" << firstB;
        QTest::newRow("4 MiB, at the end") << large << "END" << "1 of 1" << QList<qsizetype>{ large.size() - 4 };
    }
    void findCountsEveryMatch()
    {
        QFETCH(QString, text);
        QFETCH(QString, term);
        QFETCH(QString, label);
        QFETCH(QList<qsizetype>, at);
        mainWindow w;
        w.resultEdit->setPlainText(text);
        w.findAction->trigger();
        QElapsedTimer t;
        t.start();
        w.findBar->field->setText(term); // as typed: searched at once
        QVERIFY2(t.elapsed() < 500, qPrintable(QString::number(t.elapsed()) + " ms"));
        QCOMPARE(w.findBar->countLabel->text(), label);
        QCOMPARE(starts(w.resultEdit->highlights()), at);
        for (const ResultView::Range &r : w.resultEdit->highlights())
            QCOMPARE(r.length, term.size());
        QCOMPARE(w.resultEdit->currentHighlight(), w.findBar->matchCount() ? 0 : -1);
    }

    void findStepsWrapsScrollsAndCloses()
    {
        // Twelve matches among 1200 lines: most are out of view.
        QString text;
        for (int i = 0; i < 1200; ++i)
            text += i % 100 == 50 ? QStringLiteral("descr: Net %1\n").arg(i) : QStringLiteral("remarks: filler\n");
        mainWindow w;
        showActive(w);
        w.resultEdit->setPlainText(text);
        w.resultEdit->setFocus();
        QTest::keyClick(w.resultEdit, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(w.findBar->isVisible());
        QVERIFY(w.findBar->field->hasFocus());
        QTest::keyClicks(w.findBar->field, QStringLiteral("NET"));
        QCOMPARE(w.findBar->countLabel->text(), QStringLiteral("1 of 12"));

        QScrollBar *bar = w.resultEdit->verticalScrollBar();
        struct Step { Qt::Key key; Qt::KeyboardModifiers modifiers; int current; };
        const Step steps[] = {
            { Qt::Key_F3, {}, 2 }, { Qt::Key_Return, {}, 3 }, { Qt::Key_F3, Qt::ShiftModifier, 2 },
            { Qt::Key_Return, Qt::ShiftModifier, 1 }, { Qt::Key_F3, Qt::ShiftModifier, 12 }, // wraps back
            { Qt::Key_F3, Qt::ShiftModifier, 11 }, { Qt::Key_Enter, {}, 12 }, { Qt::Key_F3, {}, 1 }, // and on
        };
        for (const Step &step : steps) {
            QTest::keyClick(w.findBar->field, step.key, step.modifiers);
            QCOMPARE(w.findBar->countLabel->text(), QStringLiteral("%1 of 12").arg(step.current));
            QCOMPARE(w.resultEdit->currentHighlight(), step.current - 1);
            const qsizetype at = w.resultEdit->highlights().at(step.current - 1).start;
            const int line = int(text.left(at).count(QLatin1Char('\n')));
            QCOMPARE(line, 50 + 100 * (step.current - 1));
            QVERIFY2(line >= bar->value() && line < bar->value() + bar->pageStep(), "the current match is in view");
        }
        QTest::mouseClick(w.findBar->nextButton, Qt::LeftButton);
        QCOMPARE(w.findBar->countLabel->text(), QStringLiteral("2 of 12"));

        // Esc in the field closes the row and takes the highlights off.
        QTest::keyClick(w.findBar->field, Qt::Key_Escape);
        QVERIFY(w.findBar->isHidden());
        QVERIFY(w.resultEdit->highlights().isEmpty());
        QVERIFY(w.resultEdit->hasFocus());

        // F3 opens it again with its text; a new result is searched at once.
        QTest::keyClick(w.resultEdit, Qt::Key_F3);
        QVERIFY(w.findBar->isVisible());
        QCOMPARE(w.findBar->field->selectedText(), QStringLiteral("NET"));
        QCOMPARE(w.findBar->countLabel->text(), QStringLiteral("1 of 12"));
        w.resultEdit->setPlainText(QStringLiteral("net\nNet\nnone\n"));
        QCOMPARE(w.findBar->countLabel->text(), QStringLiteral("1 of 2"));
        QCOMPARE(starts(w.resultEdit->highlights()), (QList<qsizetype>{ 0, 4 }));

        // Esc outside the field closes it too when no lookup runs.
        w.resultEdit->setFocus();
        QTest::keyClick(w.resultEdit, Qt::Key_Escape);
        QVERIFY(w.findBar->isHidden());
        QVERIFY(w.resultEdit->highlights().isEmpty());
    }

    // The longest line and the largest cluster a reply can bring: every step
    // with its repaint stays far below a second (each took 7 to 27 s once),
    // and what is selected and found is exact.
    void hugeLinesStayQuick_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("term");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("dragged"); // by a drag across the first row; empty: as many cells as it spans
        const QString cluster = QStringLiteral("descr:\te") + QString(1 << 20, QChar(0x301));
        QTest::newRow("a line of 1 MiB") << QString(1 << 20, QLatin1Char('a')) << "a" << "1 of 100000+" << "";
        QTest::newRow("a million marks on a letter") << cluster + "\n" << "e" << "1 of 2" << cluster;
        QTest::newRow("finding the marks") << cluster + "\n" << QString(QChar(0x301)) << "1 of 100000+" << cluster;
    }
    void hugeLinesStayQuick()
    {
        QFETCH(QString, text);
        QFETCH(QString, term);
        QFETCH(QString, count);
        QFETCH(QString, dragged);
        mainWindow w;
        showActive(w);
        QWidget *viewport = w.resultEdit->viewport();
        QElapsedTimer t;
        qint64 slowest = 0;
        const auto step = [&](const std::function<void()> &f) {
            t.start();
            f();
            viewport->repaint();
            slowest = std::max(slowest, t.elapsed());
        };
        step([&] { w.resultEdit->setPlainText(text); });
        const int row = w.resultEdit->fontMetrics().lineSpacing() / 2 + 4;
        const int right = viewport->width() - 2;
        step([&] { QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(1, row)); });
        step([&] { QTest::mouseMove(viewport, QPoint(right, row)); });
        step([&] { QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(right, row)); });
        const qreal cell = QFontMetricsF(w.resultEdit->font()).horizontalAdvance(QLatin1Char('0'));
        QCOMPARE(w.resultEdit->selectedText(), dragged.isEmpty() ? text.left(qRound((right - 4) / cell)) : dragged);
        step([&] { w.selectAllData(); });
        QCOMPARE(w.resultEdit->selectedText().size(), text.size());
        w.findAction->trigger();
        step([&] { w.findBar->field->setText(term); });
        QCOMPARE(w.findBar->countLabel->text(), count);
        step([&] { QTest::keyClick(w.findBar->field, Qt::Key_F3, Qt::ShiftModifier); }); // to the last
        for (int i = 0; i < 3; ++i)
            step([&] { QTest::keyClick(w.findBar->field, Qt::Key_F3); });
        QCOMPARE(w.resultEdit->currentHighlight(), 2 % w.findBar->matchCount()); // back round to the third
        QVERIFY2(slowest < 1000, qPrintable(QString::number(slowest) + " ms"));
    }

    void geometryIsRestored()
    {
        // Closed first, then left open as File > Quit leaves it.
        const QRect places[] = { QRect(40, 50, 640, 420), QRect(60, 30, 700, 380) };
        for (int i = 0; i < 2; ++i) {
            mainWindow w;
            QCOMPARE(w.geometry(), i == 0 ? QRect(0, 0, 600, 300) : places[0]);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            w.setGeometry(places[i]);
            QTRY_COMPARE(w.geometry(), places[i]);
            if (i == 0)
                w.close();
        }
        {
            mainWindow neverShown; // changes nothing
            neverShown.resize(300, 200);
        }
        mainWindow w;
        QCOMPARE(w.geometry(), places[1]);
    }

    void searchIsWiredToGetData()
    {
        mainWindow w;
        // disconnect() answers whether exactly this connection existed.
        QVERIFY(QObject::disconnect(w.searchButton, SIGNAL(clicked()), &w, SLOT(getData())));
        QVERIFY(QObject::disconnect(w.addressEdit, SIGNAL(returnPressed()), &w, SLOT(getData())));
        QVERIFY(!QObject::disconnect(w.searchButton, SIGNAL(clicked()), &w, SLOT(getData())));

        const QMetaObject *mo = w.metaObject();
        QCOMPARE(mo->className(), "mainWindow");
        const int first = mo->methodOffset();
        QCOMPARE(mo->method(first + 0).methodSignature(), QByteArray("getData(QString)"));
        QCOMPARE(mo->method(first + 1).methodSignature(), QByteArray("getData()"));
        QCOMPARE(mo->method(first + 2).methodSignature(), QByteArray("saveData()"));
        QCOMPARE(mo->method(first + 3).methodSignature(), QByteArray("copyData()"));
        QCOMPARE(mo->method(first + 4).methodSignature(), QByteArray("selectAllData()"));
    }

    void menuActionsReachTheirSlots()
    {
        mainWindow w;
        QVERIFY(QObject::disconnect(w.fileMenu->actions().at(0), SIGNAL(triggered()), &w, SLOT(saveData())));
        QVERIFY(QObject::disconnect(w.editMenu->actions().at(0), SIGNAL(triggered()), &w, SLOT(copyData())));
        QVERIFY(QObject::disconnect(w.editMenu->actions().at(1), SIGNAL(triggered()), &w,
                                    SLOT(selectAllData())));
        QVERIFY(QObject::disconnect(w.fileMenu->actions().at(1), SIGNAL(triggered()), qApp, SLOT(quit())));
    }

    void quitEndsTheLoopWithZeroAndTheWindowOutlivesIt()
    {
        mainWindow w;
        w.show();
        QAction *quit = w.fileMenu->actions().at(1);
        QTimer::singleShot(0, quit, &QAction::trigger);
        QCOMPARE(QApplication::exec(), 0);
        // The loop has ended; the window is destroyed by its owner afterwards, never by Qt.
        QVERIFY(!w.testAttribute(Qt::WA_DeleteOnClose));
    }

    void closingTheWindowEndsTheLoopWithZero()
    {
        QVERIFY(QGuiApplication::quitOnLastWindowClosed());
        mainWindow w;
        w.show();
        QTimer::singleShot(0, &w, &QWidget::close);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!w.isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
