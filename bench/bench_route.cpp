// What choosing a server costs: loading the TLD table (once per run, timed
// on its own at start) and routing a query of each kind.

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

#include "route/tldtable.h"
#include "whois/whoisinfo.h"

namespace {

const QStringList kQueries = {
    QStringLiteral("192.0.2.1"),       QStringLiteral("2001:db8::1"),     QStringLiteral("192.0.2.0/24"),
    QStringLiteral("AS15169"),         QStringLiteral("ABUSE5250-ARIN"),  QStringLiteral("com"),
    QStringLiteral("example.com"),     QStringLiteral("www.example.co.uk"), QStringLiteral("bücher.de"),
    QStringLiteral("example.dev"),     QStringLiteral("localhost"),       QStringLiteral("-B 193.0.0.1"),
};

void BM_Route(benchmark::State &state)
{
    const WhoisInfo info(nullptr);
    const QString query = kQueries.at(int(state.range(0)));
    state.SetLabel(query.toStdString());
    for (auto _ : state)
        benchmark::DoNotOptimize(info.route(query));
}
BENCHMARK(BM_Route)->DenseRange(0, int(kQueries.size()) - 1);

} // namespace

int main(int argc, char **argv)
{
    // The first lookup of a run reads the embedded table.
    QElapsedTimer t;
    t.start();
    route::tldServers(u"com");
    std::printf("TLD table loaded in %.3f ms\n", t.nsecsElapsed() / 1e6);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
