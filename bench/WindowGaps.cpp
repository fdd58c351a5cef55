// How long the window goes without handling events while the client is slow: the program's
// polling runs on its own timer against ts2-client-sim answering every call late, and a 1 ms
// probe timer on the same event loop records every gap between its ticks.
//   staticor-window-gaps [STALL_MS [SECONDS]]

#include "app/Program.h"
#include "sound/SoundSystem.h"
#include "support/HeadlessDefaults.h"
#include "teamspeak/LoadedRemoteLibrary.h"
#include "window/MainWindow.h"
#include "window/Timer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

QString programDir() {
    return QDir(QCoreApplication::applicationDirPath()).filePath("../bin");
}

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[size_t(share * double(values.size() - 1))];
}

} // namespace

int main(int argc, char** argv) {
    useHeadlessDefaults();
    QApplication app(argc, argv);
    const int stallMs = argc > 1 ? std::atoi(argv[1]) : 150;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;

    QTemporaryDir dir;
    const QString socket = QDir(dir.path()).filePath("sim.sock");
    qputenv("TS2_CLIENT_SIM_SOCKET", socket.toLocal8Bit());
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QDir(programDir()).filePath("ts2-client-sim"), {});
    if (!sim.waitForStarted(5000)) {
        std::fprintf(stderr, "ts2-client-sim did not start\n");
        return 1;
    }
    sim.write("connect 127.0.0.1:8767 Gaps\njoin 7 EDDH_TWR\ntalk 7\nstall " +
              QByteArray::number(stallMs) + "\n");
    sim.waitForBytesWritten(1000);
    QThread::msleep(200);

    std::vector<double> gaps;
    {
        Program program(dir.path(), std::make_unique<LoadedRemoteLibrary>(programDir()), nullptr);
        QElapsedTimer clock;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        qint64 last = -1;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            if (last >= 0) {
                gaps.push_back(double(now - last) / 1e6);
            }
            last = now;
        });
        clock.start();
        probe.start(1);
        program.main().MainTimer->setInterval(50);
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
        app.exec();
        program.main().MainTimer->setInterval(0);
    }
    sim.kill();
    sim.waitForFinished(5000);

    double blocked = 0;
    double total = 0;
    for (const double gap : gaps) {
        total += gap;
        if (gap > 20) {
            blocked += gap;
        }
    }
    std::printf("stall %d ms, %d s: %zu probe gaps; median %.1f ms, 99th percentile %.1f ms, "
                "longest %.1f ms; %.0f%% of the time in gaps over 20 ms\n",
                stallMs, seconds, gaps.size(), percentile(gaps, 0.5), percentile(gaps, 0.99),
                gaps.empty() ? 0 : *std::max_element(gaps.begin(), gaps.end()),
                total > 0 ? 100 * blocked / total : 0);
    return 0;
}
