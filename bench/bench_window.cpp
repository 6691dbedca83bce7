// How the window copes with the largest replies a lookup lets through: a
// reply of up to 4 MiB is fetched from a server on 127.0.0.1 and shown, then
// selected, copied and saved, as a user would. One case per process, so the
// peak memory is that case's own:
//
//   xvfb-run -a build/bench/bench_window short-4m
//
// Cases: short-2m, short-4m (lines of one letter), long-1m, long-4m (lines
// of 70 bytes), one-line-4m (a single line). Prints the times in ms and the
// peak resident size in MB. Two more work on after that:
//
//   find-1m     one line of 1 MiB of "a": find "a", F3 steps, the last match,
//               the line's end, a drag and select all;
//   cluster-4m  one "e" with 2 million combining acute accents (4 MiB of
//               UTF-8): paint, a drag across it, select all, a double click,
//               find "e" and find the accent.
//
// Each step is timed with the repaint it causes: it holds the window for
// that long. "--hold s" keeps the window open s seconds at the end, for a look.

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "../tests/fakewhoisserver.h"
#include "../tests/modaldriver.h"
#include "ui/findbar.h"
#include "ui/mainwindow.h"
#include "ui/resultview.h"

namespace {

qint64 peakRssMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
    return -1;
}

QByteArray makeReply(const QString &name)
{
    const qint64 size = name.endsWith(QLatin1String("4m")) ? 4 * 1024 * 1024
                        : name.endsWith(QLatin1String("2m")) ? 2 * 1024 * 1024 : 1024 * 1024;
    if (name.startsWith(QLatin1String("one-line")))
        return "descr: " + QByteArray(size - 8, 'w') + '\n';
    if (name.startsWith(QLatin1String("find")))
        return QByteArray(size - 1, 'a') + '\n';
    if (name.startsWith(QLatin1String("cluster"))) // U+0301 is 0xCC 0x81 in UTF-8
        return "descr: e" + QByteArray("\xCC\x81").repeated((size - 9) / 2) + '\n';
    const QByteArray line = name.startsWith(QLatin1String("short"))
                                ? QByteArray("a\n")
                                : QByteArray("remarks:        ") + QByteArray(53, 'r') + '\n';
    QByteArray reply;
    reply.reserve(size);
    while (reply.size() + line.size() <= size)
        reply += line;
    return reply;
}

// Runs the event loop for ms and returns the longest pause between two
// ticks of a 10 ms timer: how long the window left its events waiting.
qint64 longestStall(int ms)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 worst = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        worst = qMax(worst, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start(10);
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return worst;
}

template <typename F>
qint64 timed(F f)
{
    QElapsedTimer t;
    t.start();
    f();
    QCoreApplication::processEvents();
    return t.elapsed();
}

// A step and the repaint it causes, in ms to a tenth.
template <typename F>
double painted(mainWindow &w, F f)
{
    QElapsedTimer t;
    t.start();
    f();
    w.resultEdit->viewport()->repaint();
    QCoreApplication::processEvents();
    return t.nsecsElapsed() / 1e6;
}

void mouse(mainWindow &w, QEvent::Type type, QPoint at)
{
    QWidget *viewport = w.resultEdit->viewport();
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, viewport->mapToGlobal(at), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &event);
}

// A press at the left edge of the first row, moves across it, a release at the right edge: the slowest of them.
double drag(mainWindow &w)
{
    const int width = w.resultEdit->viewport()->width();
    const int row = w.resultEdit->fontMetrics().lineSpacing() / 2 + 4;
    double worst = painted(w, [&] { mouse(w, QEvent::MouseButtonPress, QPoint(1, row)); });
    for (int x = 20; x < width; x += 40)
        worst = std::max(worst, painted(w, [&] { mouse(w, QEvent::MouseMove, QPoint(x, row)); }));
    return std::max(worst, painted(w, [&] { mouse(w, QEvent::MouseButtonRelease, QPoint(width - 2, row)); }));
}

// The text shown once more: what showing it costs the window alone.
double showAgain(mainWindow &w)
{
    const QString text = w.resultEdit->toPlainText();
    return painted(w, [&] { w.resultEdit->setPlainText(text); });
}

void findOnALongLine(mainWindow &w)
{
    const double shown = showAgain(w);
    w.findAction->trigger();
    const double found = painted(w, [&] { w.findBar->field->setText(QStringLiteral("a")); });
    const QString count = w.findBar->countLabel->text();
    // Shift+F3 from the first match wraps to the last, 100,000 columns on.
    const double last = painted(w, [&] { w.findBar->previous(); });
    const QString lastCount = w.findBar->countLabel->text();
    const double first = painted(w, [&] { w.findBar->next(); });
    double total = 0;
    double worst = 0;
    constexpr int kSteps = 20;
    for (int i = 0; i < kSteps; ++i) {
        const double step = painted(w, [&] { w.findBar->next(); });
        total += step;
        worst = std::max(worst, step);
    }
    const double end = painted(w, [&] { w.resultEdit->horizontalScrollBar()->setValue(INT_MAX); });
    const double dragged = drag(w);
    const double all = painted(w, [&] { w.selectAllData(); });
    std::printf("find-1m   shown again %.1f ms | count and highlights %.1f ms (%s) | to the last match %.1f ms"
                " (%s), back to the first %.1f ms | F3 mean %.2f ms, slowest %.2f ms | line end %.1f ms | drag %.1f ms"
                " | select all %.1f ms\n",
                shown, found, qPrintable(count), last, qPrintable(lastCount), first, total / kSteps, worst, end,
                dragged, all);
}

void aHugeCluster(mainWindow &w)
{
    const double shown = showAgain(w);
    const double paint = painted(w, [] {});
    const double dragged = drag(w);
    const qsizetype selected = w.resultEdit->selectedText().size();
    const double all = painted(w, [&] { w.selectAllData(); });
    const int row = w.resultEdit->fontMetrics().lineSpacing() / 2 + 4;
    const int e = 4 + 8 * w.resultEdit->fontMetrics().horizontalAdvance(QLatin1Char('0')) + 2;
    const double word = painted(w, [&] { mouse(w, QEvent::MouseButtonDblClick, QPoint(e, row)); });
    mouse(w, QEvent::MouseButtonRelease, QPoint(e, row));
    const qsizetype wordLength = w.resultEdit->selectedText().size();
    w.findAction->trigger();
    const double findE = painted(w, [&] { w.findBar->field->setText(QStringLiteral("e")); });
    const double findMark = painted(w, [&] { w.findBar->field->setText(QString(QChar(0x301))); });
    const QString marks = w.findBar->countLabel->text();
    const double step = painted(w, [&] { w.findBar->next(); });
    std::printf("cluster-4m shown again %.1f ms | paint %.1f ms | drag %.1f ms (%lld selected) | select all %.1f ms"
                " | double click %.1f ms (%lld selected) | find e %.1f ms | find the accent %.1f ms (%s), F3 %.1f ms"
                " | slowest %.1f ms\n",
                shown, paint, dragged, (long long)selected, all, word, (long long)wordLength, findE, findMark,
                qPrintable(marks), step, std::max({ shown, paint, dragged, all, word, findE, findMark, step }));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString name = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("short-4m");
    const QByteArray reply = makeReply(name);
    FakeWhoisServer server({ FakeWhoisServer::reply(reply) });
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    mainWindow w;
    WhoisInfo engine(w.statusBar, server.endpoints());
    w.whoisInfo = &engine;
    w.show();
    QCoreApplication::processEvents();

    // From the search to the first event handled after the text is shown.
    bool shown = false;
    QObject::connect(w.resultEdit, &ResultView::textChanged, [&] { shown = true; });
    QElapsedTimer clock;
    clock.start();
    w.addressEdit->setText(QStringLiteral("192.0.2.1"));
    w.getData();
    while (!shown && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const qint64 shownAt = clock.elapsed();
    bool answered = false;
    QTimer::singleShot(0, [&] { answered = true; });
    while (!answered)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 answeredAt = clock.elapsed();
    const qint64 stall = longestStall(3000);

    const qint64 selectAll = timed([&] { w.selectAllData(); });
    const qint64 copy = timed([&] { w.copyData(); });
    QTemporaryDir dir;
    ModalDriver driver;
    driver.onFileDialog = [&](QFileDialog *d) { ModalDriver::chooseFile(d, dir.filePath(QStringLiteral("out.txt"))); };
    const qint64 save = timed([&] { w.saveData(); });
    const qint64 saved = QFileInfo(dir.filePath(QStringLiteral("out.txt"))).size();

    std::printf("%-9s reply %7.2f MiB, %8lld lines | shown %5lld ms, answering %5lld ms, longest stall after %4lld ms"
                " | select all %4lld ms, copy %4lld ms, save %4lld ms (%lld bytes) | peak RSS %4lld MB\n",
                qPrintable(name), reply.size() / 1048576.0, (long long)reply.count('\n'), (long long)shownAt,
                (long long)answeredAt, (long long)stall, (long long)selectAll, (long long)copy, (long long)save,
                (long long)saved, (long long)peakRssMiB());

    w.resultEdit->setSelection(0, 0);
    if (name.startsWith(QLatin1String("find")))
        findOnALongLine(w);
    else if (name.startsWith(QLatin1String("cluster")))
        aHugeCluster(w);
    const int hold = argc > 3 && QByteArray(argv[2]) == "--hold" ? QByteArray(argv[3]).toInt() : 0;
    if (hold > 0) {
        QTimer::singleShot(hold * 1000, &app, &QCoreApplication::quit);
        return app.exec();
    }
    return 0;
}
