// Time of a whole lookup against a server on this machine, next to the time
// of the bare socket exchange of the same bytes with the same server. The
// exchange is as fast as the machine allows; the ratio of the two shows what
// the program itself adds: its socket handling, the summary and the text the
// window shows.

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lookup/runner.h"
#include "whois/whoisinfo.h"

namespace {

const QString kReplyPath = QStringLiteral(VANTOR_REPLIES_DIR "/whois.arin.net/n_20.0.0.0_microsoft.txt");
const QString kHost = QStringLiteral("127.0.0.1");
const QString kQuery = QStringLiteral("192.0.2.1");
const QByteArray kQueryLine = QByteArrayLiteral("n + 192.0.2.1\n"); // what WhoisInfo sends for kQuery

// Bounds that keep a broken exchange from hanging the run.
constexpr int kStepTimeoutMs = 2000;
constexpr int kExchangeLimitMs = 5000;

QByteArray readReplyFile()
{
    QFile file(kReplyPath);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// A whois server on 127.0.0.1 on a thread of its own, since the lookup blocks
// the calling thread. Each connection: read the query line, send the reply,
// close. Nothing on its path sleeps, so it answers as soon as the kernel
// hands it the connection.
class LocalWhoisServer
{
public:
    explicit LocalWhoisServer(QByteArray reply)
        : m_reply(std::move(reply))
    {
        std::future<quint16> port = m_listening.get_future();
        m_thread.reset(QThread::create([this] { run(); }));
        m_thread->start();
        if (port.wait_for(std::chrono::seconds(5)) == std::future_status::ready)
            m_port = port.get();
    }

    ~LocalWhoisServer()
    {
        m_stop = true;
        m_thread->wait();
    }

    LocalWhoisServer(const LocalWhoisServer &) = delete;
    LocalWhoisServer &operator=(const LocalWhoisServer &) = delete;

    // 0 when the server could not listen.
    quint16 port() const { return m_port; }
    // Connections that sent the expected line and got the reply.
    qint64 served() const { return m_served; }
    // Connections that sent anything else, or nothing before the timeout.
    qint64 failed() const { return m_failed; }

private:
    void run()
    {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            m_listening.set_value(0);
            return;
        }
        m_listening.set_value(server.serverPort());
        while (!m_stop) {
            // Returns at once on a connection; the timeout only bounds how
            // long the destructor waits.
            if (!server.waitForNewConnection(100))
                continue;
            std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
            if (socket)
                serve(*socket);
        }
    }

    void serve(QTcpSocket &socket)
    {
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);

        QByteArray query;
        QElapsedTimer timer;
        timer.start();
        while (!query.contains('\n') && timer.elapsed() < kStepTimeoutMs) {
            if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(kStepTimeoutMs)
                && socket.state() != QAbstractSocket::ConnectedState)
                break;
            query += socket.readAll();
        }
        if (query != kQueryLine) {
            ++m_failed;
            socket.abort();
            return;
        }

        socket.write(m_reply);
        socket.disconnectFromHost(); // sends what is left, then closes
        if (socket.state() != QAbstractSocket::UnconnectedState)
            socket.waitForDisconnected(kStepTimeoutMs);
        ++m_served;
    }

    const QByteArray m_reply;
    std::promise<quint16> m_listening; // a member: the thread may outlive the constructor's wait
    std::unique_ptr<QThread> m_thread;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{ false };
    std::atomic<qint64> m_served{ 0 };
    std::atomic<qint64> m_failed{ 0 };
};

// One server for the whole run, so both benchmarks talk to the same one.
LocalWhoisServer *sharedServer(benchmark::State &state)
{
    static const QByteArray reply = readReplyFile();
    if (reply.isEmpty()) {
        state.SkipWithError("reply file missing");
        return nullptr;
    }
    static LocalWhoisServer server(reply);
    if (server.port() == 0) {
        state.SkipWithError("local server could not listen");
        return nullptr;
    }
    return &server;
}

// The exchange the way WhoisInfo does it, with the same Qt calls, but
// nothing done with the bytes.
QByteArray bareExchange(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(kHost, port, QIODevice::ReadWrite);
    if (!socket.waitForConnected(kStepTimeoutMs))
        return QByteArray();
    socket.write(kQueryLine);

    QByteArray bytes;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < kExchangeLimitMs && socket.waitForReadyRead(kStepTimeoutMs))
        bytes += socket.read(std::min(socket.bytesAvailable(), WhoisInfo::kReplySizeLimit - bytes.size()));
    // Bytes that came with the close.
    bytes += socket.readAll();
    return bytes;
}

void countServed(benchmark::State &state, const LocalWhoisServer &server, qint64 servedBefore, qint64 failedBefore)
{
    if (server.failed() != failedBefore) {
        state.SkipWithError("the server got a query it did not expect");
        return;
    }
    // A lookup returns when the reply has arrived, which may be a moment
    // before the server counts it.
    const qint64 served = server.served() - servedBefore;
    if (served + 1 < qint64(state.iterations()))
        state.SkipWithError("the server served fewer connections than there were runs");
}

void BM_FullLookup(benchmark::State &state)
{
    LocalWhoisServer *server = sharedServer(state);
    if (!server)
        return;
    WhoisEndpoints endpoints;
    endpoints.defaultServer = kHost;
    endpoints.port = server->port();
    const QString expected = QString::fromLatin1(readReplyFile());

    // Once outside the timing, to know the lookup really got and summarised
    // the reply; inside the loop only the cheap checks.
    {
        WhoisInfo info(nullptr, endpoints);
        info.lookup(kQuery, QString());
        if (info.response != expected || info.cidr != QLatin1String("20.0.0.0/11") || info.formatText().isEmpty()) {
            state.SkipWithError("the lookup did not return the summarised reply");
            return;
        }
    }

    const qint64 servedBefore = server->served();
    const qint64 failedBefore = server->failed();
    for (auto _ : state) {
        WhoisInfo info(nullptr, endpoints);
        info.lookup(kQuery, QString());
        const QString text = info.formatText();
        if (info.response.size() != expected.size() || text.isEmpty()) {
            state.SkipWithError("a lookup came back short");
            break;
        }
        benchmark::DoNotOptimize(text.constData());
        benchmark::DoNotOptimize(info.cidr.constData());
    }
    countServed(state, *server, servedBefore, failedBefore);
    state.SetBytesProcessed(int64_t(state.iterations()) * expected.size());
}

void BM_BareExchange(benchmark::State &state)
{
    LocalWhoisServer *server = sharedServer(state);
    if (!server)
        return;
    const QByteArray expected = readReplyFile();
    if (bareExchange(server->port()) != expected) {
        state.SkipWithError("the exchange did not return the reply");
        return;
    }

    const qint64 servedBefore = server->served();
    const qint64 failedBefore = server->failed();
    for (auto _ : state) {
        const QByteArray bytes = bareExchange(server->port());
        if (bytes.size() != expected.size()) {
            state.SkipWithError("an exchange came back short");
            break;
        }
        benchmark::DoNotOptimize(bytes.constData());
    }
    countServed(state, *server, servedBefore, failedBefore);
    state.SetBytesProcessed(int64_t(state.iterations()) * expected.size());
}

// The console table, and the wall time per run of every benchmark summed
// over its repetitions, for the ratio printed at the end.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter()
        : benchmark::ConsoleReporter(benchmark::ConsoleReporter::OO_Tabular)
    {
    }

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0)
                continue;
            Total &total = m_totals[run.run_name.function_name];
            total.seconds += run.real_accumulated_time;
            total.iterations += double(run.iterations);
        }
        benchmark::ConsoleReporter::ReportRuns(runs);
    }

    // Mean wall time per run in microseconds, or a negative value when the
    // benchmark did not run.
    double meanMicroseconds(const std::string &name) const
    {
        const auto it = m_totals.find(name);
        if (it == m_totals.end() || it->second.iterations == 0)
            return -1;
        return it->second.seconds / it->second.iterations * 1e6;
    }

private:
    struct Total
    {
        double seconds = 0;
        double iterations = 0;
    };
    std::map<std::string, Total> m_totals;
};

} // namespace

// What the window adds to every lookup: the hop to the lookup thread and the
// result's way back, here for a lookup that does nothing (an empty query).
void BM_ThreadHop(benchmark::State &state)
{
    LookupRunner runner;
    QEventLoop loop;
    QObject::connect(&runner, &LookupRunner::finished, &loop, &QEventLoop::quit);
    for (auto _ : state) {
        runner.start(QString(), WhoisEndpoints());
        loop.exec();
    }
}

// Wall time: most of an exchange is waiting for the other thread, which CPU
// time of this thread does not see.
BENCHMARK(BM_ThreadHop)->UseRealTime()->MinTime(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullLookup)->UseRealTime()->MinTime(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareExchange)->UseRealTime()->MinTime(1)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    // The lookup reports every step of its progress; unsilenced, the
    // terminal output would be timed along with it.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QCoreApplication app(argc, argv); // for the thread hop's queued signals

    // Several repetitions of each, run in random order, so that a busy
    // moment on the machine does not land on one side only. Defaults: the
    // command line comes later and wins.
    std::vector<char *> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=5";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, { repetitions, interleave });
    int count = int(args.size());
    args.push_back(nullptr);

    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double full = reporter.meanMicroseconds("BM_FullLookup");
    const double bare = reporter.meanMicroseconds("BM_BareExchange");
    if (full > 0 && bare > 0)
        std::printf("\nMean wall time: full lookup %.1f us, bare exchange %.1f us, full/bare %.2f\n",
                    full, bare, full / bare);
    return 0;
}
