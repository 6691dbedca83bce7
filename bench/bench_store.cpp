// The answer store with 100,000 answers: a search by key, a search by
// address among 100,000 ranges, the first look at the file (its check), and
// the narrowest range of a 4 MiB reply. Run by hand: build/bench/bench_store.
// The store is filled once, in a temporary folder, through put().

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <random>

#include "analysis/ranges.h"
#include "store/answerstore.h"

namespace {

constexpr int kAnswers = 100000;

struct Filled
{
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("answers.sqlite"));
    std::vector<quint32> held;   // an address inside each IPv4 range
    std::vector<QString> keys;
};

// Ranges spread over the whole space: /24s and /28s, one in ten with a
// /16 parent kept too, and one in ten IPv6 /48s.
Filled &filled()
{
    static Filled f = [] {
        Filled f;
        const auto s = store::AnswerStore::open(f.path);
        s->setMaxBytes(4LL * 1000 * 1000 * 1000);
        std::mt19937 random(1);
        const QString text = QStringLiteral("inetnum: x\nnetname: EXAMPLE\n").repeated(8);
        for (int i = 0; i < kAnswers; ++i) {
            store::Answer a;
            a.kind = QStringLiteral("ipv4");
            a.servers = QStringList{ QStringLiteral("whois.ripe.net") };
            a.protocols = QStringList{ QStringLiteral("whois") };
            a.fetched = QDateTime::currentDateTimeUtc();
            a.text = text;
            const quint32 base = random();
            if (i % 10 == 9) {
                Q_IPV6ADDR v6{};
                for (int b = 0; b < 6; ++b)
                    v6[b] = quint8(random());
                a.rangeStart = QHostAddress(v6);
                for (int b = 6; b < 16; ++b)
                    v6[b] = 0xff;
                a.rangeEnd = QHostAddress(v6);
            } else {
                const quint32 mask = i % 10 == 0 ? 0xffff : i % 2 ? 0xff : 0xf;
                a.rangeStart = QHostAddress(base & ~mask);
                a.rangeEnd = QHostAddress(base | mask);
                f.held.push_back(base);
            }
            a.key = a.rangeStart.toString();
            f.keys.push_back(a.key);
            if (!s->put(a))
                qFatal("put: %s", qPrintable(s->error()));
        }
        return f;
    }();
    return f;
}

void findByAddress(benchmark::State &state)
{
    Filled &f = filled();
    const auto s = store::AnswerStore::open(f.path);
    std::mt19937 random(2);
    qint64 hits = 0;
    for (auto _ : state) {
        const QHostAddress address(state.range(0) ? f.held[random() % f.held.size()] : quint32(random()));
        hits += bool(s->findByAddress(address, QDateTime()));
    }
    state.counters["hit share"] = double(hits) / state.iterations();
}
BENCHMARK(findByAddress)->Arg(1)->Arg(0)->ArgName("held")->Unit(benchmark::kMicrosecond);

void findByKey(benchmark::State &state)
{
    Filled &f = filled();
    const auto s = store::AnswerStore::open(f.path);
    std::mt19937 random(3);
    for (auto _ : state)
        benchmark::DoNotOptimize(s->findByKey(f.keys[random() % f.keys.size()], QDateTime()));
}
BENCHMARK(findByKey)->Unit(benchmark::kMicrosecond);

// A process's first search: opening the file and reading every page of it once.
void firstSearch(benchmark::State &state)
{
    Filled &f = filled();
    for (auto _ : state) {
        const auto s = store::AnswerStore::open(f.path);
        benchmark::DoNotOptimize(s->findByKey(f.keys.front(), QDateTime()));
    }
    state.counters["file MB"] = QFileInfo(f.path).size() / 1e6;
}
BENCHMARK(firstSearch)->Unit(benchmark::kMillisecond);

// A reply of 4 MiB whose ranges are all near misses but one at its end.
void smallestRange4MiB(benchmark::State &state)
{
    QString reply;
    for (int i = 0; reply.size() < 4 * 1024 * 1024; ++i)
        reply += QStringLiteral("inetnum:        10.%1.%2.0 - 10.%1.%2.255\nnetname: X\ndescr: some words: here\n\n")
                     .arg(i / 256 % 256)
                     .arg(i % 256);
    reply += QStringLiteral("NetRange: 192.0.2.0 - 192.0.2.255\n");
    const QHostAddress address(QStringLiteral("192.0.2.1"));
    for (auto _ : state)
        benchmark::DoNotOptimize(analysis::smallestRangeHolding(reply, address));
    state.SetBytesProcessed(state.iterations() * reply.size() * 2);
}
BENCHMARK(smallestRange4MiB)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
