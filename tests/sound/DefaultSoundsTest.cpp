// The sound set and configuration that the build lays into the program directory.

#include "support/TempDir.h"

#include <QProcess>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <numbers>
#include <sndfile.h>
#include <vector>

namespace {

struct Sound {
    SF_INFO info{};
    std::vector<double> samples;

    double seconds() const { return static_cast<double>(samples.size()) / info.samplerate; }
    double peak() const {
        double max = 0;
        for (double v : samples) {
            max = std::max(max, std::abs(v));
        }
        return max;
    }
};

Sound readSound(const char* name) {
    Sound sound;
    const std::string path = std::string(STATICOR_PROGRAM_DIR) + "/" + name;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &sound.info);
    if (file == nullptr) {
        ADD_FAILURE() << path << ": " << sf_strerror(nullptr);
        return sound;
    }
    sound.samples.resize(static_cast<size_t>(sound.info.frames * sound.info.channels));
    sf_readf_double(file, sound.samples.data(), sound.info.frames);
    sf_close(file);
    return sound;
}

// The share of a Hann-windowed stretch's energy that lies above the given frequency.
double shareAbove(const std::vector<double>& s, size_t from, size_t length, double hertz,
                  double rate) {
    double above = 0;
    double total = 0;
    for (size_t k = 1; k < length / 2; ++k) {
        std::complex<double> bin;
        for (size_t n = 0; n < length; ++n) {
            const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / (length - 1));
            bin += w * s[(from + n) % s.size()] *
                   std::polar(1.0, -2 * std::numbers::pi * k * n / length);
        }
        const double energy = std::norm(bin);
        total += energy;
        if (k * rate / length > hertz) {
            above += energy;
        }
    }
    return above / total;
}

TEST(DefaultSounds, AllArePcmElevenKilohertzMonoSixteenBitWithinTheirLengths) {
    const struct {
        const char* name;
        double minSeconds;
        double maxSeconds;
        double maxPeak;
    } expected[] = {
        {"noise.wav", 1.8, 2.2, 0.99},
        {"click.wav", 0.01, 0.1, 0.99},
        {"tx.wav", 0.05, 0.4, 0.99},
        {"info.wav", 0.05, 0.5, 0.25}, // quiet
    };
    for (const auto& e : expected) {
        const Sound sound = readSound(e.name);
        EXPECT_EQ(sound.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16) << e.name;
        EXPECT_EQ(sound.info.samplerate, 11025) << e.name;
        EXPECT_EQ(sound.info.channels, 1) << e.name;
        EXPECT_GE(sound.seconds(), e.minSeconds) << e.name;
        EXPECT_LE(sound.seconds(), e.maxSeconds) << e.name;
        EXPECT_GT(sound.peak(), 0.05) << e.name;
        EXPECT_LE(sound.peak(), e.maxPeak) << e.name;
    }
}

TEST(DefaultSounds, TheNoiseIsVoiceBandStaticThatLoopsWithoutASeam) {
    const Sound noise = readSound("noise.wav");
    ASSERT_GT(noise.samples.size(), 4096u);
    const std::vector<double>& s = noise.samples;
    const double rate = noise.info.samplerate;
    constexpr size_t kWindow = 256;

    // Inside the file, hardly anything above the voice band.
    double worstInside = 0;
    for (size_t from = 1000; from + kWindow < s.size(); from += s.size() / 12) {
        worstInside = std::max(worstInside, shareAbove(s, from, kWindow, 4000, rate));
    }
    EXPECT_LT(worstInside, 1e-6);
    // Across the end-to-start join of the loop, no more than inside.
    const double seam = shareAbove(s, s.size() - kWindow / 2, kWindow, 4000, rate);
    EXPECT_LT(seam, 1e-6);

    // The measure does hear a cut: the same noise looped 37 samples short clicks at the join.
    const std::vector<double> cut(s.begin(), s.end() - 37);
    EXPECT_GT(shareAbove(cut, cut.size() - kWindow / 2, kWindow, 4000, rate), 1e-3);
}

class DefaultConfig : public ::testing::Test {
protected:
    int makeConfig() {
        QProcess tool;
        tool.start(QStringLiteral(MAKE_CONFIG), {dir.path()});
        EXPECT_TRUE(tool.waitForFinished(30000));
        return tool.exitCode();
    }
    TempDir dir;
};

TEST_F(DefaultConfig, NamesTheDefaultSoundsInTheWritersLayout) {
    ASSERT_EQ(makeConfig(), 0);
    const QByteArray bytes = dir.read("config.cfg");
    EXPECT_EQ(bytes.count("\r\n"), 15);
    EXPECT_EQ(bytes.count('\n'), 15);
    QStringList lines;
    for (const QByteArray& line : dir.lines("config.cfg")) {
        lines.append(QString::fromLocal8Bit(line));
    }
    ASSERT_EQ(lines.size(), 15);
    EXPECT_EQ(lines[0], "# STATICOR Configuration File");
    EXPECT_EQ(lines.mid(4),
              (QStringList{"", "SOUNDDEVICE = 0", "CLICKVOLUME = 100", "NOISEVOLUME = 70",
                           "EXCLUDED = ", "CLICKSOUND = click.wav", "NOISESOUND = noise.wav",
                           "TXSOUND = tx.wav", "PLAYTXSOUND = 0", "BUGTRACKING = 0",
                           "SENSITIVITY = 300"}));
}

TEST_F(DefaultConfig, AnExistingConfigurationIsNeverOverwritten) {
    dir.write("config.cfg", "CLICKVOLUME = 12\r\n");
    ASSERT_EQ(makeConfig(), 0);
    EXPECT_EQ(dir.read("config.cfg"), "CLICKVOLUME = 12\r\n");
}

} // namespace
