// The radio effect as a user hears it: the simulated client, the program as a process, and
// OpenAL Soft's wave writer recording what it played. The recording is put on the test's own
// clock by watching the file grow while it is written (the writer writes in real time), so
// that the delays from the client's events to the sounds can be measured.

#include "e2e/WaveRecording.h"
#include "support/ProgramRun.h"

#include <QThread>
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/stat.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kSilence = 1e-4;       // rms below this is near-silence
constexpr double kTransmission = 2.0;   // seconds the other callsign talks
constexpr double kPollAndMixing = 0.09; // the 50 ms poll plus 40 ms
// The start-up click may still sound when the connection is first seen.
constexpr double kClickTail = 0.3;

struct Observation {
    double at;    // seconds on the test's clock
    qint64 bytes; // size of the recording then
};

struct RadioRun {
    WaveRecording recording;
    QByteArray log;
    double talkAt = 0; // test clock, seconds
    double stopAt = 0;
    double connectedAt = 0;
    double recordingStart = 0; // test clock of the recording's first frame
};

// Runs the program beside the client; the client connects, then `talker` talks for two
// seconds. Returns what was recorded and logged.
RadioRun runTransmission(int sensitivity, const QByteArray& excluded, int talker) {
    RadioRun out;
    ProgramRun run;
    run.writeFile(
        QStringLiteral("config.cfg"),
        "SOUNDDEVICE = 0\r\nCLICKVOLUME = 100\r\nNOISEVOLUME = 70\r\nEXCLUDED = " + excluded +
            "\r\nCLICKSOUND = click.wav\r\nNOISESOUND = noise.wav\r\nTXSOUND = "
            "tx.wav\r\nPLAYTXSOUND = 0\r\nBUGTRACKING = 1\r\nSENSITIVITY = " +
            QByteArray::number(sensitivity) + "\r\n");
    const QString wave = run.recordSound();
    run.env().insert(QStringLiteral("TS2_CLIENT_SIM_SOCKET"), run.file(QStringLiteral("sim.sock")));

    const Clock::time_point origin = Clock::now();
    auto now = [&] { return std::chrono::duration<double>(Clock::now() - origin).count(); };
    QProcess& client = run.start(QStringLiteral("ts2-client-sim"));
    auto command = [&](const QByteArray& line) { ProgramRun::type(client, line + "\n"); };
    command("self 1 EDDH_TWR\nconnect 127.0.0.1:8767 \"Radio Practice\"\njoin 2 DLH123");
    QProcess& program = run.start();
    EXPECT_TRUE(run.waitForText(QStringLiteral("errorlog.txt"), "STAT Connected", 10000));
    out.connectedAt = now();

    std::vector<Observation> observations;
    const QByteArray path = wave.toLocal8Bit();
    out.talkAt = -1;
    const double talkDue = out.connectedAt + 1.0;
    const double endDue = talkDue + kTransmission + 1.5;
    for (double t = now(); t < endDue; t = now()) {
        struct stat st {};
        if (::stat(path.constData(), &st) == 0) {
            observations.push_back({t, st.st_size});
        }
        if (out.talkAt < 0 && t >= talkDue) {
            command("talk " + QByteArray::number(talker));
            out.talkAt = t;
        } else if (out.talkAt >= 0 && out.stopAt == 0 && t >= out.talkAt + kTransmission) {
            command("stop " + QByteArray::number(talker));
            out.stopAt = t;
        }
        QThread::usleep(500);
    }
    EXPECT_TRUE(run.terminate(program));
    command("quit");
    client.waitForFinished(5000);

    out.recording = WaveRecording::read(wave);
    out.log = run.readFile(QStringLiteral("errorlog.txt"));
    const qint64 frameBytes = qint64(out.recording.channels) * qint64(sizeof(float));
    struct stat st {};
    ::stat(path.constData(), &st);
    const qint64 header = st.st_size - qint64(out.recording.frames()) * frameBytes;
    // The file never holds a frame before its time, so the earliest estimate is the start.
    out.recordingStart = 1e9;
    for (const Observation& o : observations) {
        if (o.bytes > header && out.recording.rate > 0) {
            const double framesSeen = double(o.bytes - header) / double(frameBytes);
            out.recordingStart =
                std::min(out.recordingStart, o.at - framesSeen / out.recording.rate);
        }
    }
    return out;
}

constexpr double kWindow = 0.005;

// The test-clock time of a window of the recording, and back.
double timeOf(const RadioRun& run, size_t window) {
    return run.recordingStart + double(window) * kWindow;
}
size_t windowAt(const RadioRun& run, double t) {
    return t <= run.recordingStart ? 0 : size_t((t - run.recordingStart) / kWindow);
}

class RadioE2E : public testing::TestWithParam<int> {};

TEST_P(RadioE2E, AnotherCallsignTalkingIsHeardAsStaticEndedByAClick) {
    const int sensitivity = GetParam();
    const RadioRun run = runTransmission(sensitivity, "", 2);
    ASSERT_GT(run.recording.rate, 0) << "no recording";
    ASSERT_LT(run.recordingStart, run.connectedAt);
    const std::vector<double> levels = run.recording.levels(kWindow);
    ASSERT_GT(timeOf(run, levels.size()), run.stopAt + 1.0) << "the recording ends early";

    for (size_t w = windowAt(run, run.connectedAt + kClickTail); w < windowAt(run, run.talkAt);
         ++w) {
        ASSERT_LT(levels[w], kSilence) << "sound before the transmission at " << timeOf(run, w);
    }
    size_t onset = windowAt(run, run.talkAt);
    while (onset < levels.size() && levels[onset] < kSilence) {
        ++onset;
    }
    ASSERT_LT(onset, levels.size()) << "no static";
    // The static's own level, well inside the transmission.
    std::vector<double> body(levels.begin() + long(onset) + 20,
                             levels.begin() + long(windowAt(run, run.stopAt)));
    ASSERT_FALSE(body.empty());
    std::sort(body.begin(), body.end());
    const double staticLevel = body[body.size() / 2];
    EXPECT_GT(staticLevel, 10 * kSilence);
    EXPECT_GT(body.front(), kSilence) << "the static broke off during the transmission";

    size_t click = onset + 20;
    while (click < levels.size() && levels[click] < 3 * staticLevel) {
        ++click;
    }
    ASSERT_LT(click, levels.size()) << "no click";
    // After the click: near-silence to the end.
    for (size_t w = click + size_t(0.2 / kWindow); w < levels.size(); ++w) {
        ASSERT_LT(levels[w], kSilence) << "sound after the click at " << timeOf(run, w);
    }

    const double startDelay = timeOf(run, onset) - run.talkAt;
    const double endDelay = timeOf(run, click) - run.stopAt;
    std::cout << "sensitivity " << sensitivity << " ms: static " << int(startDelay * 1000)
              << " ms after the transmission started, click " << int(endDelay * 1000)
              << " ms after it ended\n";
    RecordProperty("startDelayMs", int(startDelay * 1000));
    RecordProperty("endDelayMs", int(endDelay * 1000));
    const double limit = sensitivity / 1000.0 + kPollAndMixing;
    EXPECT_GT(startDelay, -0.01);
    EXPECT_LE(startDelay, limit);
    EXPECT_GT(endDelay, -0.01);
    EXPECT_LE(endDelay, limit);
    EXPECT_TRUE(run.log.contains(":TX: DLH123"));
}

INSTANTIATE_TEST_SUITE_P(Sensitivities, RadioE2E, testing::Values(50, 300),
                         [](const testing::TestParamInfo<int>& info) {
                             return "Sensitivity" + std::to_string(info.param);
                         });

// Only the Apply click at start-up, then silence to the end.
void expectNoStatic(const RadioRun& run) {
    ASSERT_GT(run.recording.rate, 0) << "no recording";
    const std::vector<double> levels = run.recording.levels(kWindow);
    ASSERT_GT(timeOf(run, levels.size()), run.stopAt + 1.0) << "the recording ends early";
    for (size_t w = windowAt(run, run.connectedAt + kClickTail); w < levels.size(); ++w) {
        ASSERT_LT(levels[w], kSilence) << "sound at " << timeOf(run, w);
    }
    EXPECT_FALSE(run.log.contains(":TX: "));
}

TEST(RadioE2ESilence, AnExcludedCallsignIsNeverHeard) {
    expectNoStatic(runTransmission(50, "EDDH_TWR,DLH123", 2));
}

TEST(RadioE2ESilence, TheLocalUserIsNeverHeard) {
    expectNoStatic(runTransmission(50, "", 1));
}

} // namespace
