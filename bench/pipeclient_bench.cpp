#include "config.h"
#include "pipeclienttestaccess.h"
#include "pipeprotocol.h"

#include <installation/files.h>
#include <platform/pipe.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

const QByteArray kGetStatus = getStatusRequest();

double percentile(const std::vector<double> &values, double fraction)
{
    if (values.empty())
        return 0;
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::min(sorted.size(), std::max<std::size_t>(rank, 1)) - 1];
}

// Each repetition is a single exchange, so the statistics over repetitions are per exchange.
void perExchange(benchmark::internal::Benchmark *b)
{
    b->Iterations(1)
        ->Repetitions(2000)
        ->ReportAggregatesOnly(true)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond)
        ->ComputeStatistics("p99", [](const std::vector<double> &v) { return percentile(v, 0.99); });
}

void BM_GetStatusExchange(benchmark::State &state)
{
    PipeClient client;
    QByteArray answer;
    for (auto _ : state) {
        if (!PipeClientTestAccess::request(client, kGetStatus, answer, false))
            state.SkipWithError("the stand-in did not answer");
        benchmark::DoNotOptimize(answer.data());
    }
}
BENCHMARK(BM_GetStatusExchange)->Apply(perExchange);

// The same request and the same answer over the OS layer alone: connect, one write, one read.
void BM_BareSocketRoundTrip(benchmark::State &state)
{
    const std::string path = pipePath().toStdString();
    QByteArray line = kGetStatus + '\n';
    char buffer[4096];
    for (auto _ : state) {
        platform::PipeConnection connection = platform::PipeConnection::open(path);
        platform::ErrorCode error = 0;
        if (!connection.valid() ||
            !connection.write(line.constData(), static_cast<std::size_t>(line.size()), error))
            state.SkipWithError("no connection");
        const auto read = connection.read(buffer, sizeof buffer - 1, 3000);
        if (!read.ok || read.bytes == 0)
            state.SkipWithError("no answer");
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_BareSocketRoundTrip)->Apply(perExchange);

QByteArray typicalAnswer()
{
    return R"({"autoStart":false,"httpPort":18080,"processes":[)"
           R"({"name":"Server","port":9010,"running":true,"type":"mainServer"},)"
           R"({"name":"dbserver","port":5432,"running":true,"type":"database"},)"
           R"({"name":"v7iZodore","port":18080,"running":true,"type":"webServer"},)"
           R"({"name":"redis-server","port":6379,"running":true,"type":"redis"}],"ret":0,"uptime":12})";
}

// The largest answer one read delivers: valid, connected, many listed processes.
QByteArray fullSizeAnswer()
{
    QByteArray answer = R"({"ret":0,"uptime":123456,"httpPort":18080,"autoStart":true,"processes":[)";
    const QByteArray element = R"({"type":"redis","name":"redis-server","port":6379,"running":true},)";
    while (answer.size() + element.size() + 20 < 4095)
        answer += element;
    answer.chop(1);
    answer += R"(],"pad":")";
    answer += QByteArray(4095 - answer.size() - 2, 'x');
    answer += R"("})";
    return answer;
}

void parseBenchmark(benchmark::State &state, const QByteArray &answer)
{
    PipeClient client;
    for (auto _ : state) {
        PipeClient::Status status;
        PipeClientTestAccess::parseStatus(client, answer, status);
        benchmark::DoNotOptimize(status.connected);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * answer.size());
}

void BM_ParseStatusTypical(benchmark::State &state)
{
    parseBenchmark(state, typicalAnswer());
}
BENCHMARK(BM_ParseStatusTypical);

void BM_ParseStatus4095Bytes(benchmark::State &state)
{
    const QByteArray answer = fullSizeAnswer();
    state.counters["answerBytes"] = static_cast<double>(answer.size());
    parseBenchmark(state, answer);
}
BENCHMARK(BM_ParseStatus4095Bytes);

// One whole poll cycle: thread start, exchange, queued hand-back, decode and publication.
// Process CPU time, so the worker thread's share counts.
void BM_PollCycle(benchmark::State &state)
{
    PipeClient client;
    QEventLoop loop;
    QObject::connect(&client, &PipeClient::statusUpdated, &loop, &QEventLoop::quit);
    bool connected = true;
    QObject::connect(&client, &PipeClient::statusUpdated,
                     [&connected](const PipeClient::Status &st) { connected = connected && st.connected; });
    for (auto _ : state) {
        PipeClientTestAccess::tick(client);
        loop.exec();
    }
    if (!connected)
        state.SkipWithError("a cycle did not reach the stand-in");
}
BENCHMARK(BM_PollCycle)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMicrosecond);

bool serviceAnswers()
{
    PipeClient client;
    QByteArray answer;
    return PipeClientTestAccess::request(client, kGetStatus, answer, false) && answerRet(answer) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);

    // A private runtime directory and installation identifier: the benchmark never meets a
    // running product or another run.
    QTemporaryDir runtime;
    QTemporaryDir appDir;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    {
        QSettings params(appDir.filePath(QStringLiteral("params.ini")), QSettings::IniFormat);
        params.setValue(QStringLiteral("product/instanceId"),
                        QStringLiteral("Bench%1").arg(QCoreApplication::applicationPid()));
    }
    installation::overrideApplicationDir(appDir.path());

    QProcess service;
    service.setStandardOutputFile(QProcess::nullDevice());
    service.start(
        QStringLiteral(ORLUNE_APPDIR "/service-standin"),
        {QStringLiteral("--instance-id"), instanceId(), QStringLiteral("--http-port"), QStringLiteral("0")});
    bool ready = service.waitForStarted(5000);
    for (int i = 0; ready && i < 100 && !serviceAnswers(); ++i)
        QThread::msleep(50);
    if (!ready || !serviceAnswers()) {
        std::fprintf(stderr, "pipeclient_bench: the stand-in service did not start\n");
        return 1;
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    service.terminate();
    service.waitForFinished(3000);
    return 0;
}
