// How long a saved answer takes to show with a full store: fills a store
// with COUNT answers (one per /24 network from 11.0.0.0 on, each with a
// reply of about 100 bytes), then times, 200 times each, from the start to the
// answer shown:
//   runner   a lookup on the runner's thread (found by its network)
//   batch    vantor-cli's path: the batch, then the JSON line
//   window   Enter in the window to the text shown and painted
//
//   xvfb-run -a build/bench/bench_kept [COUNT [STORE-FILE]]
//
// A STORE-FILE that exists is used as it is (vantor-cli can then be timed
// against it with XDG_CACHE_HOME); else it is made, by default in a
// temporary folder.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include "cli/output.h"
#include "lookup/batch.h"
#include "store/answerstore.h"
#include "ui/mainwindow.h"
#include "ui/resultview.h"

namespace {

QHostAddress networkAt(int i)
{
    return QHostAddress(quint32((11u << 24) + (quint32(i) << 8)));
}

void fill(const QString &path, int count)
{
    const auto answers = store::AnswerStore::open(path);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        const QHostAddress start = networkAt(i);
        const QHostAddress end(start.toIPv4Address() + 255);
        store::Answer a;
        a.key = QHostAddress(start.toIPv4Address() + 1).toString();
        a.kind = QStringLiteral("ipv4");
        a.servers = QStringList{ QStringLiteral("whois.ripe.net") };
        a.protocols = QStringList{ QStringLiteral("whois") };
        a.fetched = now;
        a.response = QLatin1String("inetnum:        ") + start.toString() + QLatin1String(" - ") + end.toString()
                     + QLatin1String("\nnetname:        EXAMPLE-NET\n")
                     + QLatin1Char('\n');
        a.text = a.response;
        a.rangeStart = start;
        a.rangeEnd = end;
        if (!answers->put(a)) {
            std::fprintf(stderr, "bench_kept: %s\n", qPrintable(answers->error()));
            std::exit(1);
        }
    }
    std::printf("filled %d answers in %.1f s\n", count, double(t.elapsed()) / 1000);
}

// Median and largest of the times, in ms.
void report(const char *what, QList<qint64> ns)
{
    std::sort(ns.begin(), ns.end());
    std::printf("%-7s median %.3f ms, 90%% %.3f ms, max %.3f ms (%lld runs)\n", what, double(ns.at(ns.size() / 2)) / 1e6,
                double(ns.at(ns.size() * 9 / 10)) / 1e6, double(ns.last()) / 1e6, static_cast<long long>(ns.size()));
}

template<typename Start, typename Done>
QList<qint64> timeRuns(int count, Start start, Done done)
{
    QList<qint64> ns;
    QElapsedTimer t;
    for (int run = 0; run < 200; ++run) {
        const QString query = QHostAddress(networkAt((run * 7919) % count).toIPv4Address() + 77).toString();
        t.start();
        start(query);
        while (!done())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        ns.append(t.nsecsElapsed());
    }
    return ns;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 100000;
    QTemporaryDir dir;
    const QString path = argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.filePath(QStringLiteral("answers.sqlite"));
    if (!QFile::exists(path))
        fill(path, count);
    WhoisEndpoints e;
    e.answerStorePath = path;
    e.serverSpacingMs = 0;

    LookupRunner runner;
    bool finished = false;
    QObject::connect(&runner, &LookupRunner::finished, [&](const LookupResult &r) { finished = r.stored; });
    report("runner", timeRuns(count, [&](const QString &q) { finished = false; runner.start(q, e); }, [&] { return finished; }));

    QByteArray line;
    report("batch", timeRuns(count, [&](const QString &q) {
        line.clear();
        auto *batch = new LookupBatch(e, {});
        QObject::connect(batch, &LookupBatch::resultReady, [&line](int, const LookupResult &r) { line = jsonLine(r); });
        QObject::connect(batch, &LookupBatch::finished, batch, &QObject::deleteLater);
        batch->run({ q });
    }, [&] { return !line.isEmpty(); }));

    // The window's settings (its history) in a folder of the run's own.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    mainWindow w;
    w.whoisInfo = new WhoisInfo(w.statusBar, e);
    w.show();
    report("window", timeRuns(count, [&](const QString &q) {
        w.addressEdit->setText(q);
        emit w.addressEdit->returnPressed();
    }, [&] {
        if (w.lookupRunning())
            return false;
        w.resultEdit->repaint();
        return true;
    }));
    return 0;
}
