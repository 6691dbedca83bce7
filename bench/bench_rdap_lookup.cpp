// A whole RDAP lookup (route, bootstrap seam, HTTPS request, rendering,
// summary, result text) against a server on 127.0.0.1, next to a bare HTTPS
// request for the same bytes with the same network classes, in one run.
// The server's certificate is made with openssl at start.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>

#include <cstdio>

#include "../tests/fakehttpserver.h"
#include "lookup/driver.h"
#include "whois/whoisinfo.h"

namespace {

const QString kPath = QStringLiteral("ip/13.72.183.192");

FakeHttpServer &server()
{
    static FakeHttpServer s = [] {
        QFile f(QStringLiteral(VANTOR_RDAP_DIR "/ip-arin-13.72.183.192.json"));
        f.open(QIODevice::ReadOnly);
        return FakeHttpServer(FakeHttpServer::Https, { { QLatin1Char('/') + kPath, { 200, f.readAll(), {}, 0 } } });
    }();
    return s;
}

void BM_RdapLookup(benchmark::State &state)
{
    WhoisEndpoints e;
    e.rdapServices = [](const route::Query &) { return QStringList{ server().base() }; };
    e.extraCaCertificates = { FakeHttpServer::certificate() };
    WhoisInfo info(nullptr, e);
    LookupOptions options;
    options.preferRdap = true;
    for (auto _ : state) {
        runLookup(info, QStringLiteral("13.72.183.192"), options);
        if (info.outcome != WhoisInfo::Outcome::Answered || info.formatText().isEmpty())
            state.SkipWithError("the lookup did not answer");
    }
}

void BM_BareHttps(benchmark::State &state)
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates({ FakeHttpServer::certificate() });
    for (auto _ : state) {
        QNetworkAccessManager manager;
        QNetworkRequest request(QUrl(server().base() + kPath));
        request.setSslConfiguration(tls);
        QNetworkReply *reply = manager.get(request);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        if (reply->readAll().isEmpty())
            state.SkipWithError("no body");
        delete reply;
    }
}

} // namespace

BENCHMARK(BM_RdapLookup)->UseRealTime()->MinTime(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareHttps)->UseRealTime()->MinTime(2)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QCoreApplication app(argc, argv);
    if (!server().ready()) {
        std::fprintf(stderr, "no HTTPS server (is openssl installed?)\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
