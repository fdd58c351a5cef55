#pragma once

// What the whole-program runs beside a simulated modern client share: the log as it grows,
// and three transmissions (the local user, an excluded callsign, then DLH123, ID 2) judged
// from the wave writer's recording.

#include "e2e/WaveRecording.h"
#include "support/Eventually.h"
#include "support/LogEntries.h"
#include "support/ProgramRun.h"

#include <QThread>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace clientrun {

inline QStringList logOf(const ProgramRun& run) {
    return logMessagesIn(run.dir());
}

inline bool logShows(const ProgramRun& run, const QString& message, int times = 1,
                     int timeoutMs = 15000) {
    return eventually([&] { return logOf(run).count(message) >= times; }, timeoutMs);
}

// Where the recording stands now, in bytes: the wave writer writes as it plays.
inline qint64 recorded(const QString& wave) {
    struct stat st {};
    return ::stat(wave.toLocal8Bit().constData(), &st) == 0 ? qint64(st.st_size) : 0;
}

// Where the recording stood around the quiet and the loud transmissions.
struct Transmissions {
    qint64 quietFrom = 0;
    qint64 quietTo = 0;
    qint64 loudFrom = 0;
    qint64 loudTo = 0;
};

// IDs 1 (the local user) and 3 (excluded) talk a second each, then 2 talks; type gives the
// simulated client its commands.
inline Transmissions playTransmissions(const ProgramRun& run, const QString& wave,
                                       const std::function<void(const QByteArray&)>& type) {
    auto talk = [&](int id, int ms) {
        type("talk " + QByteArray::number(id));
        QThread::msleep(ulong(ms));
        type("stop " + QByteArray::number(id));
    };
    Transmissions t;
    QThread::msleep(500); // past the start-up click
    t.quietFrom = recorded(wave);
    talk(1, 1000);
    talk(3, 1000);
    t.quietTo = recorded(wave);
    type("talk 2");
    EXPECT_TRUE(logShows(run, QStringLiteral("TX: DLH123")));
    QThread::msleep(300);
    t.loudFrom = recorded(wave);
    QThread::msleep(1000);
    t.loudTo = recorded(wave);
    type("stop 2");
    QThread::msleep(500);
    return t;
}

// Silence while the local user and the excluded callsign talked, static while DLH123 did.
inline void expectStaticForTheOtherOnly(const QString& wave, const Transmissions& t) {
    constexpr double kSilence = 1e-4;
    const WaveRecording recording = WaveRecording::read(wave);
    ASSERT_GT(recording.rate, 0);
    const qint64 frameBytes = qint64(recording.channels) * qint64(sizeof(float));
    const qint64 header = recorded(wave) - qint64(recording.frames()) * frameBytes;
    auto frameAt = [&](qint64 bytes) {
        return size_t(std::max<qint64>(0, bytes - header) / frameBytes);
    };
    const size_t quiet = frameAt(t.quietTo) - frameAt(t.quietFrom);
    ASSERT_GT(quiet, size_t(recording.rate)); // nearly two seconds
    EXPECT_LT(recording.rms(frameAt(t.quietFrom), quiet), kSilence)
        << "static for the local user or an excluded callsign";
    EXPECT_GT(recording.rms(frameAt(t.loudFrom), frameAt(t.loudTo) - frameAt(t.loudFrom)),
              10 * kSilence)
        << "no static while another callsign talked";
}

} // namespace clientrun
