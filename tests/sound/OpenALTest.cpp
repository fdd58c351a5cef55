// The OpenAL Soft backend, rendered offline through a loopback device and measured.

#include "config/ConfigFile.h"
#include "sound/openal/OpenALDevice.h"
#include "sound/openal/OpenALOutput.h"
#include "sound/openal/OpenALSoundSystem.h"
#include "support/RaisesFailure.h"
#include "support/TempDir.h"
#include "window/MainWindow.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <sndfile.h>
#include <tuple>
#include <vector>

namespace {

constexpr int kRate = 44100;

// Interleaved stereo frames as rendered.
struct Frames {
    std::vector<float> samples;

    size_t size() const { return samples.size() / 2; }
    float left(size_t i) const { return samples[2 * i]; }
    float right(size_t i) const { return samples[2 * i + 1]; }
    float mono(size_t i) const { return (left(i) + right(i)) / 2; }

    double rms(size_t from, size_t count) const {
        double sum = 0;
        for (size_t i = from; i < from + count; ++i) {
            sum += left(i) * left(i) + right(i) * right(i);
        }
        return std::sqrt(sum / (2.0 * count));
    }
    double channelRms(bool leftChannel, size_t from, size_t count) const {
        double sum = 0;
        for (size_t i = from; i < from + count; ++i) {
            const float v = leftChannel ? left(i) : right(i);
            sum += v * v;
        }
        return std::sqrt(sum / static_cast<double>(count));
    }
    bool silent(size_t from, size_t count) const {
        for (size_t i = from; i < from + count; ++i) {
            if (left(i) != 0.0f || right(i) != 0.0f) {
                return false;
            }
        }
        return true;
    }
    // First and one past the last frame that is not exactly zero.
    std::pair<size_t, size_t> soundingSpan() const {
        size_t first = size();
        size_t last = 0;
        for (size_t i = 0; i < size(); ++i) {
            if (left(i) != 0.0f || right(i) != 0.0f) {
                first = std::min(first, i);
                last = i + 1;
            }
        }
        return {first, last};
    }
    void append(const Frames& more) {
        samples.insert(samples.end(), more.samples.begin(), more.samples.end());
    }
};

class LoopbackTest : public ::testing::Test {
protected:
    // A file of the given rate, sample format and channel count; sample(t, channel) gives
    // each sample.
    QString writeFile(const QString& name, int rate, int format, int channels, int frames,
                      const std::function<double(double, int)>& sample) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | format;
        const QString path = dir.file(name);
        SNDFILE* file = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
        EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
        std::vector<double> samples(static_cast<size_t>(frames) * channels);
        for (int i = 0; i < frames; ++i) {
            for (int c = 0; c < channels; ++c) {
                samples[static_cast<size_t>(i) * channels + c] =
                    sample(static_cast<double>(i) / rate, c);
            }
        }
        sf_writef_double(file, samples.data(), frames);
        sf_close(file);
        return path;
    }

    // A mono file of the given rate and sample format: sin(2 pi f t) times envelope(t).
    QString writeTone(
        const QString& name, int rate, int format, int frames, double frequency,
        const std::function<double(double)>& envelope = [](double) { return 0.5; }) {
        return writeFile(name, rate, format, 1, frames, [&](double t, int) {
            return envelope(t) * std::sin(2 * std::numbers::pi * frequency * t);
        });
    }

    static std::unique_ptr<SoundBuffer> load(OpenALDevice& device, const QString& path) {
        return device.CreateSoundBufferFromFile(path, BufferDescription{}, WaveFormat{});
    }

    static Frames render(OpenALDevice& device, size_t frames) {
        Frames out;
        out.samples.resize(frames * 2);
        device.output().render(out.samples.data(), static_cast<int>(frames));
        return out;
    }

    TempDir dir;
    std::unique_ptr<OpenALDevice> device = OpenALDevice::openLoopback(kRate);
};

TEST_F(LoopbackTest, ALoopKeepsSoundingUnbrokenAcrossRepeatedPlayRequests) {
    const QString path = writeTone("loop.wav", 22050, SF_FORMAT_PCM_16, 2205, 441.0);
    std::unique_ptr<SoundBuffer> repeated = load(*device, path);
    auto reference = OpenALDevice::openLoopback(kRate);
    std::unique_ptr<SoundBuffer> once = load(*reference, path);

    repeated->Play(dsound::kPlayLooping);
    once->Play(dsound::kPlayLooping);
    EXPECT_EQ(repeated->GetStatus(), dsound::kStatusPlaying | dsound::kStatusLooping);
    Frames a;
    Frames b;
    for (int chunk = 0; chunk < 20; ++chunk) {
        a.append(render(*device, 2205));
        b.append(render(*reference, 2205));
        repeated->Play(dsound::kPlayLooping);
    }
    // One loop of a 0.1 s file lasts 4410 frames: 2 s means twenty wraps.
    ASSERT_EQ(a.size(), 44100u);
    EXPECT_EQ(a.samples, b.samples) << "a play request restarted the loop";
    for (size_t at = 0; at < a.size(); at += 2205) {
        EXPECT_GT(a.rms(at, 2205), 0.2) << "gap at frame " << at;
    }
}

TEST_F(LoopbackTest, StopSilencesAndTheNextPlayGoesOnFromThere) {
    // A tone that swells over its one second, so the position shows in the loudness.
    const QString path = writeTone("swell.wav", 22050, SF_FORMAT_PCM_16, 22050, 441.0,
                                   [](double t) { return 0.05 + 0.9 * t; });
    std::unique_ptr<SoundBuffer> buffer = load(*device, path);
    buffer->Play(dsound::kPlayLooping);
    const Frames before = render(*device, kRate / 2);
    buffer->Stop();
    EXPECT_EQ(buffer->GetStatus(), 0);
    buffer->Stop();        // a second stop changes nothing
    render(*device, 1024); // the mixer's short fade-out
    EXPECT_TRUE(render(*device, kRate / 4).silent(0, kRate / 4));

    buffer->Play(dsound::kPlayLooping);
    const Frames after = render(*device, 2205);
    const double atStop = before.rms(before.size() - 2205, 2205);
    const double atStart = before.rms(0, 2205);
    EXPECT_NEAR(after.rms(0, 2205) / atStop, 1.0, 0.15);
    EXPECT_GT(atStop / atStart, 4.0);
}

TEST_F(LoopbackTest, AOneShotIsNotRestartedWhilePlayingAndReplaysFromItsStartWhenEnded) {
    const QString path = writeTone("shot.wav", 22050, SF_FORMAT_PCM_16, 4410, 441.0,
                                   [](double t) { return 0.05 + 4.5 * t; });
    std::unique_ptr<SoundBuffer> buffer = load(*device, path);
    auto reference = OpenALDevice::openLoopback(kRate);
    std::unique_ptr<SoundBuffer> untouched = load(*reference, path);

    buffer->Play(dsound::kPlayOnce);
    untouched->Play(dsound::kPlayOnce);
    EXPECT_EQ(buffer->GetStatus(), dsound::kStatusPlaying);
    Frames first = render(*device, 4410);
    buffer->Play(dsound::kPlayOnce);
    first.append(render(*device, 8820));
    Frames expected = render(*reference, 4410);
    expected.append(render(*reference, 8820));
    EXPECT_EQ(first.samples, expected.samples);
    EXPECT_EQ(buffer->GetStatus(), 0);
    const auto [begin, end] = first.soundingSpan();
    EXPECT_NEAR(static_cast<double>(end - begin), 8820.0, 8820 * 0.01);

    buffer->Play(dsound::kPlayOnce);
    const Frames replay = render(*device, 2205);
    EXPECT_NEAR(replay.rms(0, 2205) / first.rms(0, 2205), 1.0, 0.05);
}

TEST_F(LoopbackTest, VolumeIsHundredthsOfADecibel) {
    const QString path = writeTone("tone.wav", 22050, SF_FORMAT_PCM_16, 22050, 441.0);
    auto quietDevice = OpenALDevice::openLoopback(kRate);
    std::unique_ptr<SoundBuffer> loud = load(*device, path);
    std::unique_ptr<SoundBuffer> quiet = load(*quietDevice, path);
    loud->SetVolume(0);
    quiet->SetVolume(-6000);
    loud->Play(dsound::kPlayOnce);
    quiet->Play(dsound::kPlayOnce);
    const Frames a = render(*device, 8820);
    const Frames b = render(*quietDevice, 8820);
    const double decibels = 20 * std::log10(b.rms(4410, 4410) / a.rms(4410, 4410));
    EXPECT_NEAR(decibels, -60.0, 0.5);

    EXPECT_THROW(loud->SetVolume(1), Failure);
    EXPECT_THROW(loud->SetVolume(-10001), Failure);
    EXPECT_THROW(loud->SetPan(10001), Failure);
    EXPECT_NO_THROW(loud->SetPan(-10000));
}

// The level of a tone of the given amplitude, in dB relative to full scale.
double decibels(double rms, double amplitude) {
    return 20 * std::log10(rms / (amplitude / std::numbers::sqrt2));
}

double sine(double frequency, double t) {
    return std::sin(2 * std::numbers::pi * frequency * t);
}

// The steady middle of a sound that starts at the first rendered frame.
constexpr size_t kSteadyFrom = 4410;
constexpr size_t kSteadyFrames = 4410;

TEST_F(LoopbackTest, MonoAndStereoSoundsPlayAtTheirOwnLevelOnEachChannel) {
    // The stereo file carries different tones at different levels, so a channel that leaks
    // into the other one changes both levels.
    const QString mono = writeTone("mono.wav", 22050, SF_FORMAT_PCM_16, 22050, 441.0);
    const QString stereo =
        writeFile("stereo.wav", 22050, SF_FORMAT_PCM_16, 2, 22050, [](double t, int channel) {
            return channel == 0 ? 0.5 * sine(441.0, t) : 0.25 * sine(882.0, t);
        });
    const struct {
        QString path;
        double left;
        double right;
    } files[] = {{mono, 0.5, 0.5}, {stereo, 0.5, 0.25}};
    for (const auto& file : files) {
        auto played = OpenALDevice::openLoopback(kRate);
        std::unique_ptr<SoundBuffer> buffer = load(*played, file.path);
        buffer->SetVolume(0);
        buffer->Play(dsound::kPlayOnce);
        const Frames out = render(*played, kSteadyFrom + kSteadyFrames);
        const double left = decibels(out.channelRms(true, kSteadyFrom, kSteadyFrames), file.left);
        const double right =
            decibels(out.channelRms(false, kSteadyFrom, kSteadyFrames), file.right);
        std::printf("[ level    ] %s: left %+.3f dB, right %+.3f dB\n",
                    qPrintable(QFileInfo(file.path).fileName()), left, right);
        EXPECT_NEAR(left, 0.0, 0.2) << file.path.toStdString();
        EXPECT_NEAR(right, 0.0, 0.2) << file.path.toStdString();
    }
}

// Pan in hundredths of a decibel: the channel away from the pan is attenuated by its value,
// the near one plays at full level; at either end the far channel is silent.
class PanTest : public LoopbackTest, public ::testing::WithParamInterface<int> {};

TEST_P(PanTest, TheFarChannelIsAttenuatedByThePanValue) {
    const int channels = GetParam();
    const QString path =
        writeFile("tone.wav", 22050, SF_FORMAT_PCM_16, channels, 22050, [](double t, int channel) {
            return 0.5 * sine(channel == 0 ? 441.0 : 882.0, t);
        });
    constexpr double kSilent = -std::numeric_limits<double>::infinity();
    const struct {
        int pan;
        double left;
        double right;
    } pans[] = {{0, 0.0, 0.0},       {-600, 0.0, -6.0},     {1200, -12.0, 0.0},
                {-4900, 0.0, -49.0}, {10000, kSilent, 0.0}, {-10000, 0.0, kSilent}};
    for (const auto& expected : pans) {
        auto panned = OpenALDevice::openLoopback(kRate);
        std::unique_ptr<SoundBuffer> buffer = load(*panned, path);
        buffer->SetPan(expected.pan);
        buffer->Play(dsound::kPlayOnce);
        const Frames out = render(*panned, kSteadyFrom + kSteadyFrames);
        const double left = decibels(out.channelRms(true, kSteadyFrom, kSteadyFrames), 0.5);
        const double right = decibels(out.channelRms(false, kSteadyFrom, kSteadyFrames), 0.5);
        std::printf("[ level    ] %d channel(s), pan %+d: left %+.3f dB, right %+.3f dB\n",
                    channels, expected.pan, left, right);
        for (auto [measured, wanted, name] : {std::tuple{left, expected.left, "left"},
                                              std::tuple{right, expected.right, "right"}}) {
            if (wanted == kSilent) {
                EXPECT_EQ(measured, kSilent) << "pan " << expected.pan << ", " << name;
            } else {
                EXPECT_NEAR(measured, wanted, 0.2) << "pan " << expected.pan << ", " << name;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Channels, PanTest, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == 1 ? "Mono" : "Stereo");
                         });

TEST_F(LoopbackTest, APanSetWhilePlayingOrStoppedKeepsThePosition) {
    // A swelling loop played twice: panned on the way, and untouched as a reference. The
    // channel that the pan leaves at full level goes on exactly as the reference does.
    const QString path = writeTone("swell.wav", 22050, SF_FORMAT_PCM_16, 22050, 441.0,
                                   [](double t) { return 0.05 + 0.9 * t; });
    auto reference = OpenALDevice::openLoopback(kRate);
    std::unique_ptr<SoundBuffer> panned = load(*device, path);
    std::unique_ptr<SoundBuffer> untouched = load(*reference, path);
    panned->Play(dsound::kPlayLooping);
    untouched->Play(dsound::kPlayLooping);
    render(*device, 17640);
    render(*reference, 17640);

    // The mixer ramps a sound in over its first mixing block as it starts again.
    constexpr size_t kRamp = 4096;
    const auto difference = [](const Frames& a, const Frames& b, bool leftChannel) {
        float most = 0;
        for (size_t i = kRamp; i < a.size(); ++i) {
            most = std::max(most, leftChannel ? std::abs(a.left(i) - b.left(i))
                                              : std::abs(a.right(i) - b.right(i)));
        }
        return most;
    };
    const auto attenuation = [](const Frames& a, const Frames& b, bool leftChannel) {
        return 20 * std::log10(a.channelRms(leftChannel, kRamp, a.size() - kRamp) /
                               b.channelRms(leftChannel, kRamp, b.size() - kRamp));
    };

    panned->SetPan(-600);
    EXPECT_EQ(panned->GetStatus(), dsound::kStatusPlaying | dsound::kStatusLooping);
    const Frames playing = render(*device, 8820);
    const Frames expected = render(*reference, 8820);
    EXPECT_LT(difference(playing, expected, true), 1e-3);
    EXPECT_NEAR(attenuation(playing, expected, false), -6.0, 0.2);

    // Stopped, the pan changes too, and the next play goes on from where the stop left it.
    panned->Stop();
    untouched->Stop();
    panned->SetPan(1200);
    EXPECT_EQ(panned->GetStatus(), 0);
    render(*device, 1024); // the mixer's short fade-out
    EXPECT_TRUE(render(*device, 4410).silent(0, 4410));
    panned->Play(dsound::kPlayLooping);
    untouched->Play(dsound::kPlayLooping);
    const Frames resumed = render(*device, 8820);
    const Frames resumedExpected = render(*reference, 8820);
    EXPECT_LT(difference(resumed, resumedExpected, false), 1e-3);
    EXPECT_NEAR(attenuation(resumed, resumedExpected, true), -12.0, 0.2);
}

// Every file plays at its own rate, whatever the sample format.
class OwnRateTest : public LoopbackTest, public ::testing::WithParamInterface<int> {};

TEST_P(OwnRateTest, AnElevenKilohertzToneKeepsItsPitchAndLength) {
    const QString path = writeTone("tone.wav", 11025, GetParam(), 5512, 1000.0);
    std::unique_ptr<SoundBuffer> buffer = load(*device, path);
    buffer->Play(dsound::kPlayOnce);
    const Frames out = render(*device, kRate);

    const auto [begin, end] = out.soundingSpan();
    EXPECT_NEAR(static_cast<double>(end - begin), 22050.0, 22050 * 0.01);
    // Rising zero crossings in the steady middle: one per cycle.
    int crossings = 0;
    for (size_t i = begin + 2205; i < begin + 2205 + 11025; ++i) {
        if (out.mono(i) <= 0.0f && out.mono(i + 1) > 0.0f) {
            ++crossings;
        }
    }
    EXPECT_NEAR(crossings, 250, 3); // 0.25 s of 1000 Hz
}

INSTANTIATE_TEST_SUITE_P(EightAndSixteenBit, OwnRateTest,
                         ::testing::Values(SF_FORMAT_PCM_U8, SF_FORMAT_PCM_16));

// Whatever its sample format, a tone plays at the level written in the file. A quarter of full
// scale also shows a file that is scaled to its peak on reading.
class SampleFormatTest : public LoopbackTest, public ::testing::WithParamInterface<int> {};

TEST_P(SampleFormatTest, AToneOfAKnownLevelPlaysAtThatLevel) {
    const QString path =
        writeTone("tone.wav", 22050, GetParam(), 22050, 441.0, [](double) { return 0.25; });
    std::unique_ptr<SoundBuffer> buffer = load(*device, path);
    buffer->Play(dsound::kPlayOnce);
    const Frames out = render(*device, kSteadyFrom + kSteadyFrames);
    const double left = decibels(out.channelRms(true, kSteadyFrom, kSteadyFrames), 0.25);
    const double right = decibels(out.channelRms(false, kSteadyFrom, kSteadyFrames), 0.25);
    std::printf("[ level    ] format 0x%x: left %+.3f dB, right %+.3f dB\n", GetParam(), left,
                right);
    EXPECT_NEAR(left, 0.0, 0.2);
    EXPECT_NEAR(right, 0.0, 0.2);
}

INSTANTIATE_TEST_SUITE_P(IntegerAndFloat, SampleFormatTest,
                         ::testing::Values(SF_FORMAT_PCM_U8, SF_FORMAT_PCM_16, SF_FORMAT_PCM_24,
                                           SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE),
                         [](const ::testing::TestParamInfo<int>& info) {
                             switch (info.param) {
                             case SF_FORMAT_PCM_U8:
                                 return std::string("Unsigned8");
                             case SF_FORMAT_PCM_16:
                                 return std::string("Signed16");
                             case SF_FORMAT_PCM_24:
                                 return std::string("Signed24");
                             case SF_FORMAT_FLOAT:
                                 return std::string("Float32");
                             default:
                                 return std::string("Float64");
                             }
                         });

TEST_F(LoopbackTest, FilesThatAreNotMonoOrStereoSoundAreRefused) {
    dir.write("text.wav", "not a sound");
    SF_INFO info{};
    info.samplerate = 11025;
    info.channels = 3;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* three = sf_open(dir.file("three.wav").toLocal8Bit().constData(), SFM_WRITE, &info);
    const short frame[3] = {1, 2, 3};
    sf_writef_short(three, frame, 1);
    sf_close(three);

    const std::pair<QString, int32_t> refused[] = {
        {dir.file("missing.wav"), dsound::kErrFileNotFound},
        {dir.path() + "/", dsound::kErrFileNotFound},
        {dir.file("text.wav"), dsound::kErrBadFormat},
        {dir.file("three.wav"), dsound::kErrBadFormat},
    };
    for (const auto& [path, number] : refused) {
        EXPECT_THAT([&] { load(*device, path); }, RaisesFailure(number)) << path.toStdString();
    }
}

TEST_F(LoopbackTest, AnEmptyOrCutFileIsRefusedOrPlaysOnlyWhatItHolds) {
    const QString whole = writeTone("whole.wav", 11025, SF_FORMAT_PCM_16, 11025, 500.0);
    QFile file(whole);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 44 + 11025);
    dir.write("empty.wav", "");
    dir.write("header.wav", bytes.left(30)); // cut inside the format chunk
    for (const char* name : {"empty.wav", "header.wav"}) {
        EXPECT_THAT([&] { load(*device, dir.file(name)); }, RaisesFailure(dsound::kErrBadFormat))
            << name;
    }

    // Cut in its samples, the header still promises a second: only the half there is plays.
    dir.write("half.wav", bytes.left(44 + 11025));
    std::unique_ptr<SoundBuffer> buffer = load(*device, dir.file("half.wav"));
    ASSERT_NE(buffer, nullptr);
    buffer->Play(dsound::kPlayOnce);
    const auto [begin, end] = render(*device, kRate).soundingSpan();
    EXPECT_NEAR(static_cast<double>(end - begin), kRate / 2.0, kRate * 0.02);
}

TEST_F(LoopbackTest, SoundFilesNamedInAnyScriptInConfigCfgAreFoundAndPlay) {
    // A name as this version writes it (the locale's encoding), and one from an older
    // version's Latin-1 line; the files carry the names the user gave them.
    const QString named = QStringLiteral("\u043a\u043b\u0438\u043a-\u00e4\u00f6-\u97f3.wav");
    const QString older = QStringLiteral("r\u00e4usch.wav");
    writeTone(named, 22050, SF_FORMAT_PCM_16, 2205, 441.0);
    writeTone(older, 22050, SF_FORMAT_PCM_16, 2205, 441.0);
    ASSERT_TRUE(QFileInfo(dir.file(named)).isFile());
    dir.write("config.cfg",
              "CLICKSOUND = " + named.toLocal8Bit() + "\r\nNOISESOUND = r\xe4usch.wav\r\n");
    MainWindow main;
    main.setProgramDirectory(dir.path());
    ConfigFile::Read(main);
    ASSERT_EQ(main.vars.clickSoundFile, named);
    ASSERT_EQ(main.vars.noiseSoundFile, older);

    for (const QString& name : {main.vars.clickSoundFile, main.vars.noiseSoundFile}) {
        std::unique_ptr<SoundBuffer> buffer = load(*device, dir.file(name));
        ASSERT_NE(buffer, nullptr) << name.toStdString();
        buffer->Play(dsound::kPlayOnce);
        const Frames played = render(*device, 4410);
        EXPECT_GT(played.rms(0, 4410), 0.1) << name.toStdString();
    }
}

// An output device pauses while nothing plays, and wakes for the next sound.
class IdleDeviceTest : public LoopbackTest {
protected:
    IdleDeviceTest()
        : opened(system.DirectSoundCreate(system.GetDSEnum()->GetGuid(1))),
          output(dynamic_cast<OpenALDevice&>(*opened).output()) {}

    std::unique_ptr<SoundBuffer> loadTone() {
        return opened->CreateSoundBufferFromFile(
            writeTone("tone.wav", kRate, SF_FORMAT_PCM_16, kRate, 440.0), BufferDescription{},
            WaveFormat{});
    }

    OpenALSoundSystem system;
    std::unique_ptr<SoundDevice> opened;
    OpenALOutput& output;
};

TEST_F(IdleDeviceTest, PausesWhenNothingPlaysAndWakesForTheNextSound) {
    EXPECT_FALSE(output.isPaused()) << "it opens running";
    EXPECT_TRUE(output.pauseIfIdle()) << "nothing loaded";

    std::unique_ptr<SoundBuffer> tone = loadTone();
    tone->Play(dsound::kPlayLooping);
    EXPECT_FALSE(output.isPaused());
    EXPECT_EQ(tone->GetStatus(), dsound::kStatusPlaying | dsound::kStatusLooping);
    EXPECT_FALSE(output.pauseIfIdle()) << "a loop plays";

    tone->Stop();
    EXPECT_TRUE(output.pauseIfIdle());
    EXPECT_EQ(tone->GetStatus(), 0);

    tone->Play(dsound::kPlayOnce);
    EXPECT_FALSE(output.isPaused());
    EXPECT_EQ(tone->GetStatus(), dsound::kStatusPlaying);
    EXPECT_FALSE(output.pauseIfIdle()) << "a second of sound has only begun";
}

TEST_F(IdleDeviceTest, OneSoundPlayingKeepsTheDeviceAwakeForAll) {
    std::unique_ptr<SoundBuffer> first = loadTone();
    std::unique_ptr<SoundBuffer> second = loadTone();
    first->Play(dsound::kPlayLooping);
    second->Play(dsound::kPlayLooping);
    first->Stop();
    EXPECT_FALSE(output.pauseIfIdle());
    first.reset();
    EXPECT_FALSE(output.pauseIfIdle()) << "the other one still plays";
    second->Stop();
    EXPECT_TRUE(output.pauseIfIdle());
}

TEST_F(LoopbackTest, ALoopbackDeviceIsNeverPaused) {
    EXPECT_FALSE(device->output().pauseIfIdle());
    std::unique_ptr<SoundBuffer> tone =
        load(*device, writeTone("t.wav", kRate, SF_FORMAT_PCM_16, kRate / 10, 1000.0));
    tone->Play(dsound::kPlayOnce);
    EXPECT_GT(render(*device, kRate / 10).rms(0, kRate / 10), 0.1);
}

TEST(OpenALSoundSystem, ListsTheOutputDevicesAndOpensThemByName) {
    OpenALSoundSystem system;
    std::unique_ptr<SoundEnum> devices = system.GetDSEnum();
    ASSERT_GE(devices->GetCount(), 1); // the null device under test
    EXPECT_EQ(devices->GetDescription(1), devices->GetGuid(1));
    EXPECT_THROW(devices->GetGuid(0), Failure);
    EXPECT_THROW(devices->GetDescription(devices->GetCount() + 1), Failure);

    std::unique_ptr<SoundDevice> first = system.DirectSoundCreate(devices->GetGuid(1));
    std::unique_ptr<SoundDevice> second = system.DirectSoundCreate(devices->GetGuid(1));
    EXPECT_NE(first, nullptr);
    EXPECT_NE(second, nullptr);
    EXPECT_NO_THROW(second->SetCooperativeLevel(nullptr, dsound::kPriority));
    EXPECT_THAT([&] { system.DirectSoundCreate(QStringLiteral("No Such Device")); },
                RaisesFailure(dsound::kErrNoDriver));
}

} // namespace
