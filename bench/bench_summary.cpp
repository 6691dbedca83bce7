// Time of what the program does with a reply once it has arrived: the summary
// and the text the window shows. Inputs are real recorded replies, and large
// replies built from their paragraphs.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringList>

#include <map>

#include "analysis/facts.h"
#include "whois/whoisinfo.h"

namespace {

const QString kRepliesDir = QStringLiteral(VANTOR_REPLIES_DIR);
constexpr qsizetype kMiB = 1024 * 1024;

// Latin-1, as the program decodes what the server sends.
QString readReply(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(file.readAll());
}

// Every paragraph of every recorded reply, in a fixed order.
const QStringList &allParagraphs()
{
    static const QStringList paragraphs = [] {
        QStringList files;
        QDirIterator it(kRepliesDir, {QStringLiteral("*.txt")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        files.sort();

        QStringList result;
        for (const QString &file : files) {
            QString text = readReply(file);
            text.remove(QLatin1Char('\r'));
            for (QString paragraph : text.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts)) {
                while (paragraph.startsWith(QLatin1Char('\n')))
                    paragraph.remove(0, 1);
                while (paragraph.endsWith(QLatin1Char('\n')))
                    paragraph.chop(1);
                if (!paragraph.isEmpty())
                    result << paragraph;
            }
        }
        return result;
    }();
    return paragraphs;
}

// The recorded paragraphs over and over until the reply reaches the size.
QString mixedReply(qsizetype size)
{
    const QStringList &paragraphs = allParagraphs();
    QString reply;
    reply.reserve(size + 16 * 1024);
    for (qsizetype i = 0; reply.size() < size; ++i) {
        if (!reply.isEmpty())
            reply += QLatin1String("\n\n");
        reply += paragraphs.at(i % paragraphs.size());
    }
    return reply;
}

// count paragraphs of about equal length and no country line, together about
// size long: every paragraph reaches the country lookup and finds nothing.
QString noCountryReply(qsizetype size, qsizetype count)
{
    QStringList sources;
    for (const QString &paragraph : allParagraphs()) {
        QStringList lines = paragraph.split(QLatin1Char('\n'));
        lines.removeIf([](const QString &line) { return line.contains(QLatin1String("country"), Qt::CaseInsensitive); });
        if (!lines.isEmpty())
            sources << lines.join(QLatin1Char('\n'));
    }

    const qsizetype length = size / count - 2; // two for the blank line between paragraphs
    QString reply;
    reply.reserve(count * (length + 2));
    for (qsizetype i = 0; i < count; ++i) {
        const QString &source = sources.at(i % sources.size());
        QString paragraph = source;
        while (paragraph.size() < length)
            paragraph += QLatin1Char('\n') + source;
        paragraph.truncate(length);
        // A cut just after a line end would make the gap to the next one three lines.
        if (paragraph.endsWith(QLatin1Char('\n')))
            paragraph.back() = QLatin1Char('.');
        if (i > 0)
            reply += QLatin1String("\n\n");
        reply += paragraph;
    }
    return reply;
}

void summariseAndFormat(benchmark::State &state, const QString &reply)
{
    for (auto _ : state) {
        WhoisInfo info(nullptr);
        info.response = reply;
        info.summarise();
        const QString text = info.formatText();
        benchmark::DoNotOptimize(text.constData());
        benchmark::DoNotOptimize(info.cidr.constData());
    }
    // One character per byte received.
    state.SetBytesProcessed(int64_t(state.iterations()) * reply.size());
    state.counters["KiB"] = double(reply.size()) / 1024.0;
}

void BM_Reply(benchmark::State &state, const char *file)
{
    const QString reply = readReply(kRepliesDir + QLatin1Char('/') + QLatin1String(file));
    if (reply.isEmpty()) {
        state.SkipWithError("reply file missing");
        return;
    }
    summariseAndFormat(state, reply);
}

void BM_MixedParagraphs(benchmark::State &state)
{
    static std::map<int64_t, QString> replies;
    QString &reply = replies[state.range(0)];
    if (reply.isEmpty())
        reply = mixedReply(state.range(0) * kMiB);
    summariseAndFormat(state, reply);
}

void BM_NoCountryParagraphs(benchmark::State &state)
{
    // 20,000 paragraphs per MiB.
    static std::map<int64_t, QString> replies;
    QString &reply = replies[state.range(0)];
    if (reply.isEmpty())
        reply = noCountryReply(state.range(0) * kMiB, state.range(0) * 20000);
    summariseAndFormat(state, reply);
}

// The facts of a reply, read as the query's kind; one pass over the text.
void BM_Facts(benchmark::State &state, const char *file, const char *kind)
{
    const QString reply = readReply(kRepliesDir + QLatin1Char('/') + QLatin1String(file));
    if (reply.isEmpty()) {
        state.SkipWithError("reply file missing");
        return;
    }
    for (auto _ : state) {
        const analysis::Facts facts = analysis::whoisFacts(reply, QLatin1String(kind));
        benchmark::DoNotOptimize(facts.items.constData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * reply.size());
}

void BM_FactsMixed(benchmark::State &state)
{
    static std::map<int64_t, QString> replies;
    QString &reply = replies[state.range(0)];
    if (reply.isEmpty())
        reply = mixedReply(state.range(0) * kMiB);
    for (auto _ : state) {
        const analysis::Facts facts = analysis::whoisFacts(reply, QStringLiteral("domain"));
        benchmark::DoNotOptimize(facts.items.constData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * reply.size());
}

} // namespace

BENCHMARK_CAPTURE(BM_Facts, verisign_google, "whois.verisign-grs.com/google.com_2020.txt", "domain")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Facts, markmonitor_google, "whois.markmonitor.com/google.com.txt", "domain")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Facts, arin_microsoft, "whois.arin.net/n_20.0.0.0_microsoft.txt", "ipv4")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Facts, ripe_bt, "whois.ripe.net/62.239.237.1_bt.txt", "ipv4")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FactsMixed)->ArgName("MiB")->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Reply, arin_microsoft, "whois.arin.net/n_20.0.0.0_microsoft.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Reply, ripe_bt, "whois.ripe.net/62.239.237.1_bt.txt")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MixedParagraphs)->ArgName("MiB")->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoCountryParagraphs)->ArgName("MiB")->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    // calculateCidr traces every range; at thousands of runs a second that
    // would be the main cost and bury the table.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
