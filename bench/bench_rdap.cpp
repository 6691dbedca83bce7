// Time of turning an RDAP reply into the text the window shows: typical
// replies as recorded, and a 1 MiB search result built from a recorded one.

#include <benchmark/benchmark.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "rdap/render.h"
#include "whois/whoisinfo.h"

namespace {

const QString kRepliesDir = QStringLiteral(VANTOR_RDAP_DIR);
constexpr qsizetype kMiB = 1024 * 1024;

QByteArray readReply(const QString &name)
{
    QFile file(kRepliesDir + QLatin1Char('/') + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// ARIN's entity search (266 organisations) with its results repeated until
// the body reaches the size, as a server with a generous result limit sends.
QByteArray largeSearch(qsizetype size)
{
    const QJsonObject recorded = QJsonDocument::fromJson(readReply(QStringLiteral("search-arin-entities-fn.json"))).object();
    const QJsonArray results = recorded.value(QLatin1String("entitySearchResults")).toArray();
    if (results.isEmpty())
        return QByteArray();
    QJsonObject reply = recorded;
    QJsonArray grown;
    QByteArray body;
    while (body.size() < size) {
        for (const QJsonValue &result : results)
            grown.append(result);
        reply.insert(QLatin1String("entitySearchResults"), grown);
        body = QJsonDocument(reply).toJson(QJsonDocument::Compact);
    }
    return body;
}

void renderBody(benchmark::State &state, const QByteArray &body)
{
    if (body.isEmpty()) {
        state.SkipWithError("reply file missing");
        return;
    }
    for (auto _ : state) {
        const rdap::Rendered rendered = rdap::render(body);
        benchmark::DoNotOptimize(rendered.text.constData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * body.size());
    state.counters["KiB"] = double(body.size()) / 1024.0;
}

void BM_Render(benchmark::State &state, const char *file)
{
    renderBody(state, readReply(QLatin1String(file)));
}

void BM_RenderLargeSearch(benchmark::State &state)
{
    static const QByteArray body = largeSearch(kMiB);
    renderBody(state, body);
}

// What the window does with it: render, summary, formatted text.
void BM_RenderSummariseFormat(benchmark::State &state)
{
    static const QByteArray body = largeSearch(kMiB);
    for (auto _ : state) {
        WhoisInfo info(nullptr);
        info.response = rdap::render(body).text;
        info.summarise();
        const QString text = info.formatText();
        benchmark::DoNotOptimize(text.constData());
    }
    state.counters["KiB"] = double(body.size()) / 1024.0;
}

} // namespace

BENCHMARK_CAPTURE(BM_Render, verisign_google_com, "domain-verisign-google.com.json")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Render, markmonitor_google_com, "domain-registrar-markmonitor-google.com.json")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Render, arin_13_72_183_192, "ip-arin-13.72.183.192.json")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderLargeSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderSummariseFormat)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    // calculateCidr traces every range it sees.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
