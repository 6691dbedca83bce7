// How the window copes with the largest replies a lookup lets through: a
// reply of up to 4 MiB is fetched from a server on 127.0.0.1 and shown, then
// selected, copied and saved, as a user would. One case per process, so the
// peak memory is that case's own:
//
//   xvfb-run -a build/bench/bench_window short-4m
//
// Cases: short-2m, short-4m (lines of one letter), long-1m, long-4m (lines
// of 70 bytes), one-line-4m (a single line). Prints the times in ms and the peak resident size in MB.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include "ui/resultview.h"
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

#include "../tests/fakewhoisserver.h"
#include "../tests/modaldriver.h"
#include "ui/mainwindow.h"

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
    return 0;
}
