// One MainTimer refresh of a full server: 1024 players, all of them talking, lists hidden.
// Through the in-process fake, and through libTSRemote.so and a running ts2-client-sim.

#include "ClientCall.h"
#include "app/Program.h"
#include "sound/SoundSystem.h"
#include "support/FakeRemoteLibrary.h"
#include "support/HeadlessDefaults.h"
#include "teamspeak/ListRefresh.h"
#include "teamspeak/LoadedRemoteLibrary.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>
#include <cstdlib>

namespace {

constexpr int kPlayers = 1024;

QString programDir() {
    return QDir(QCoreApplication::applicationDirPath()).filePath("../bin");
}

void expectFullLists(benchmark::State& state, Program& program) {
    const MainWindow& m = program.main();
    // The local user is not listed among the speakers.
    if (m.lstUsers->rowCount() != kPlayers || m.lstSpeakers->listCount() != kPlayers - 1) {
        state.SkipWithError("the refresh did not list the full server");
    }
}

// A full server on the in-process fake: the local user and 1023 others, nobody talking.
std::unique_ptr<FakeRemoteLibrary> fullServer() {
    auto fake = std::make_unique<FakeRemoteLibrary>();
    fake->recordCalls = false;
    fake->players.push_back({1, 1, "Observer"});
    for (int32_t i = 1; i < kPlayers; ++i) {
        fake->players.push_back(
            {999 + i, 1, QStringLiteral("PLAYER%1").arg(i, 4, 10, QLatin1Char('0')).toStdString(),
             9, 8, 2});
    }
    return fake;
}

void BM_RefreshFake(benchmark::State& state) {
    QTemporaryDir dir;
    auto fake = fullServer();
    for (const auto& p : fake->players) {
        fake->speakers.push_back(p.id);
    }
    Program program(dir.path(), std::move(fake), nullptr);
    program.MainTimer_Timer(); // connects: detects the nickname
    for (auto _ : state) {
        program.MainTimer_Timer();
    }
    expectFullLists(state, program);
}

// A tick with a long exclusion list (the argument: its size in KB) beside a full server on
// which a few players talk, none of them excluded.
void BM_RefreshLongExclusionList(benchmark::State& state) {
    QTemporaryDir dir;
    auto fake = fullServer();
    for (int32_t id = 1000; id < 1005; ++id) {
        fake->speakers.push_back(id);
    }
    Program program(dir.path(), std::move(fake), nullptr);
    QString excluded;
    for (int i = 0; excluded.size() < state.range(0) * 1024; ++i) {
        excluded += QStringLiteral("PLAYER%1X,").arg(i);
    }
    program.main().vars.excludedCallsigns = excluded;
    program.MainTimer_Timer();
    for (auto _ : state) {
        program.MainTimer_Timer();
    }
    if (program.main().lstSpeakers->listCount() != 5) {
        state.SkipWithError("the talking players were not listed");
    }
}

// Letting pending events run once, with nothing pending: what one yield of the rebuild costs.
void BM_Yield(benchmark::State& state) {
    for (auto _ : state) {
        QCoreApplication::processEvents();
    }
}

void BM_RefreshSocket(benchmark::State& state) {
    QTemporaryDir dir;
    const QString socket = QDir(dir.path()).filePath("sim.sock");
    setenv("TS2_CLIENT_SIM_SOCKET", socket.toLocal8Bit().constData(), 1);
    QFile scenario(QDir(dir.path()).filePath("full.txt"));
    scenario.open(QIODevice::WriteOnly);
    scenario.write("at 0 connect 127.0.0.1:8767\ncrowd 1023\ntalk 1\n");
    for (int id = 1000; id < 1000 + kPlayers - 1; ++id) {
        scenario.write("talk " + QByteArray::number(id) + "\n");
    }
    scenario.close();

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QDir(programDir()).filePath("ts2-client-sim"), {"--scenario", scenario.fileName()});
    QElapsedTimer wait;
    wait.start();
    while (tsremote::callClient(tsremote::OpSpeakers, kPlayers).count != kPlayers &&
           wait.elapsed() < 10000) {
        QThread::msleep(5);
    }
    {
        Program program(dir.path(), std::make_unique<LoadedRemoteLibrary>(programDir()), nullptr);
        program.MainTimer_Timer();
        for (auto _ : state) {
            program.MainTimer_Timer();
        }
        expectFullLists(state, program);
    }
    sim.terminate();
    sim.waitForFinished(5000);
}

} // namespace

BENCHMARK(BM_RefreshFake)
    ->Name("Refresh/fake")
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_RefreshSocket)
    ->Name("Refresh/socket")
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_RefreshLongExclusionList)
    ->Name("Refresh/exclusionListKB")
    ->Arg(200)
    ->Arg(1024)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Yield)->Name("Yield/processEvents");

int main(int argc, char** argv) {
    useHeadlessDefaults();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
