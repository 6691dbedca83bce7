// What picking an RDAP service costs: building the tables from the embedded
// files (the first load of a run, timed on its own at start, then again in
// a loop) and matching one query of each kind against them.

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>

#include "rdap/bootstrap.h"
#include "route/query.h"

namespace {

// An empty cache folder, so only the embedded files are read.
const QTemporaryDir &emptyCache()
{
    static const QTemporaryDir dir;
    return dir;
}

const QStringList kQueries = {
    QStringLiteral("example.com"),    QStringLiteral("www.example.co.uk"), QStringLiteral("example.de"),
    QStringLiteral("example.jp"),     QStringLiteral("8.8.8.8"),           QStringLiteral("10.0.0.1"),
    QStringLiteral("193.0.0.0/16"),   QStringLiteral("2a00:1450::1"),      QStringLiteral("AS37888"),
    QStringLiteral("AS4294967295"),   QStringLiteral("ABUSE5250-ARIN"),    QStringLiteral("TEST1-AP"),
};

void BM_LoadTables(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(rdap::loadTables(emptyCache().path()));
}
BENCHMARK(BM_LoadTables)->Unit(benchmark::kMillisecond);

// The match alone: the query is classified before the loop.
void BM_ServiceFor(benchmark::State &state)
{
    const auto tables = rdap::loadTables(emptyCache().path());
    const QString text = kQueries.at(int(state.range(0)));
    const route::Query query = route::classify(text);
    state.SetLabel(text.toStdString());
    for (auto _ : state)
        benchmark::DoNotOptimize(rdap::serviceFor(*tables, query));
}
BENCHMARK(BM_ServiceFor)->DenseRange(0, int(kQueries.size()) - 1);

} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer t;
    t.start();
    const auto tables = rdap::loadTables(emptyCache().path());
    std::printf("RDAP tables loaded (cold, embedded) in %.3f ms\n", t.nsecsElapsed() / 1e6);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
