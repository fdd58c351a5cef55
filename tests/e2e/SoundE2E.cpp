// The program as a process on OpenAL Soft's own devices: the wave writer records what it
// plays, the null device stands in for a machine with one output.

#include "e2e/WaveRecording.h"
#include "sound/openal/OpenALDevice.h"
#include "sound/openal/OpenALOutput.h"
#include "sound/openal/OpenALSoundSystem.h"
#include "support/ProgramRun.h"

#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Waits until the file holds the text n times.
bool waitForCount(ProgramRun& run, const QString& name, const QByteArray& text, int n,
                  int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (run.readFile(name).count(text) < n && timer.elapsed() < timeoutMs) {
        QThread::msleep(20);
    }
    return run.readFile(name).count(text) >= n;
}

TEST(SoundE2E, TheWaveWriterRecordsTheApplyClickAndThenSilence) {
    ProgramRun run;
    const QString wave = run.file("recording.wav");
    // Float output: silence is exact zeros.
    run.writeFile("alsoft.conf", "[general]\nsample-type = float32\nchannels = stereo\n"
                                 "frequency = 44100\n[wave]\nfile = " +
                                     wave.toLocal8Bit() + "\n");
    run.env().insert("ALSOFT_DRIVERS", "wave");
    run.env().insert("ALSOFT_CONF", run.file("alsoft.conf"));
    run.writeFile("config.cfg", "CLICKSOUND = click.wav\r\nNOISESOUND = noise.wav\r\n"
                                "TXSOUND = tx.wav\r\nBUGTRACKING = 1\r\n");

    QProcess& staticor = run.start();
    ASSERT_TRUE(run.waitForText("errorlog.txt", "Found Device: ", 15000));
    QThread::msleep(2500);
    ASSERT_TRUE(run.terminate(staticor));
    EXPECT_EQ(staticor.exitCode(), 0);

    const QStringList log = run.lines("errorlog.txt");
    ASSERT_GE(log.size(), 3);
    EXPECT_TRUE(log[1].endsWith("/0:Count Device: 1")) << log[1].toStdString();
    EXPECT_TRUE(log[2].contains("/0:Found Device: ")) << log[2].toStdString();
    EXPECT_FALSE(run.readFile("errorlog.txt").contains("DX7LoadSound: "));
    EXPECT_FALSE(run.readFile("errorlog.txt").contains("OnLoad: "));

    const WaveRecording recording = WaveRecording::read(wave);
    ASSERT_GT(recording.rate, 0) << "no recording";
    ASSERT_EQ(recording.rate, 44100);
    ASSERT_GE(recording.frames(), 2u * 44100) << "the recording is shorter than the run";
    size_t first = recording.frames();
    size_t last = 0;
    for (size_t i = 0; i < recording.frames(); ++i) {
        if (recording.frameSounds(i)) {
            first = std::min(first, i);
            last = i;
        }
    }
    ASSERT_LT(first, 44100u) << "no click within the first second";
    // The 60 ms click, and nothing after it: no noise without a speaker.
    EXPECT_LT(last - first, 44100u / 10);
}

TEST(SoundE2E, AConfiguredDevicePastTheEndFallsBackToTheFirstAndApplyStillRuns) {
    ProgramRun run;
    run.writeFile("config.cfg", "SOUNDDEVICE = 2\r\nBUGTRACKING = 1\r\nCLICKSOUND = click.wav\r\n"
                                "NOISESOUND = noise.wav\r\nTXSOUND = missing.wav\r\n");
    QProcess& staticor = run.start();
    // The missing TX sound is Apply's own entry: Apply ran after the failed selection.
    ASSERT_TRUE(waitForCount(run, "errorlog.txt", "DX7LoadSound: ", 1, 15000));
    ASSERT_TRUE(run.terminate(staticor));

    const QStringList log = run.lines("errorlog.txt");
    ASSERT_GE(log.size(), 5);
    EXPECT_TRUE(log[0].endsWith("/0:Selected Device: 2 ")) << log[0].toStdString();
    EXPECT_TRUE(log[1].endsWith("/0:Count Device: 1")) << log[1].toStdString();
    EXPECT_TRUE(log[3].endsWith("/380:OnLoad: Invalid property value ")) << log[3].toStdString();
    EXPECT_TRUE(log[4].contains(":DX7LoadSound: ")) << log[4].toStdString();
    EXPECT_TRUE(run.lines("config.cfg").contains("SOUNDDEVICE = 0"));
}

// A device paused while the channel was quiet plays the next sound through: a tenth of a
// second of click ends on time, which only a running mixer makes happen.
TEST(SoundE2E, APausedDevicePlaysTheNextSoundToItsEnd) {
    OpenALSoundSystem system;
    std::unique_ptr<SoundDevice> device = system.DirectSoundCreate(system.GetDSEnum()->GetGuid(1));
    OpenALOutput& output = dynamic_cast<OpenALDevice&>(*device).output();
    const QString click = qEnvironmentVariable("STATICOR_PROGRAM_DIR") + "/click.wav";
    std::unique_ptr<SoundBuffer> sound =
        device->CreateSoundBufferFromFile(click, BufferDescription{}, WaveFormat{});

    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(output.pauseIfIdle()) << round;
        sound->Play(dsound::kPlayOnce);
        ASSERT_EQ(sound->GetStatus(), dsound::kStatusPlaying);
        QElapsedTimer playing;
        playing.start();
        while (sound->GetStatus() != 0 && playing.elapsed() < 2000) {
            QThread::msleep(5);
        }
        EXPECT_EQ(sound->GetStatus(), 0) << "round " << round << ": the click never ended";
    }
}

} // namespace
