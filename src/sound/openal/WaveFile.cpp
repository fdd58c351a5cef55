#include "WaveFile.h"

#include "sound/SoundSystem.h"
#include "window/Failure.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <sndfile.h>

namespace {

// A whole file lives in memory; a sound bigger than this is not a radio effect.
constexpr int64_t kMaxSamples = int64_t{1} << 26;

// A float sample as a 16-bit one; beyond full scale it clips, as a sound card would.
int16_t toSample(float value) {
    if (std::isnan(value)) {
        return 0;
    }
    return static_cast<int16_t>(std::lrint(std::clamp(value * 32768.0f, -32768.0f, 32767.0f)));
}

struct SndFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

} // namespace

WaveFile WaveFile::read(const QString& path) {
    // libsndfile would open a directory (an empty file name) and only fail on reading.
    if (!QFileInfo(path).isFile()) {
        throw Failure(dsound::kErrFileNotFound,
                      QStringLiteral("The system cannot find the file specified."));
    }
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> file(
        sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!file) {
        throw Failure(dsound::kErrBadFormat, QStringLiteral("Invalid format: ") +
                                                 QString::fromLocal8Bit(sf_strerror(nullptr)));
    }
    if (info.channels < 1 || info.channels > 2 || info.samplerate <= 0 || info.frames <= 0) {
        throw Failure(dsound::kErrBadFormat,
                      QStringLiteral("Invalid format: mono or stereo sound expected"));
    }
    if (info.frames * info.channels > kMaxSamples) {
        throw Failure(dsound::kErrOutOfMemory, QStringLiteral("Out of memory"));
    }

    WaveFile wave;
    wave.sampleRate = info.samplerate;
    wave.channels = info.channels;
    wave.samples.resize(static_cast<size_t>(info.frames * info.channels));
    // Read as float, which libsndfile scales to +-1 from every integer format and leaves as it
    // is in a float file. Read as short, a float file would not be scaled at all (silence), and
    // its scaling option scales to the file's own peak rather than to full scale.
    constexpr sf_count_t kChunkFrames = 4096;
    std::vector<float> chunk(static_cast<size_t>(kChunkFrames * info.channels));
    sf_count_t got = 0;
    while (got < info.frames) {
        const sf_count_t read =
            sf_readf_float(file.get(), chunk.data(), std::min(kChunkFrames, info.frames - got));
        if (read <= 0) {
            break;
        }
        const size_t count = static_cast<size_t>(read * info.channels);
        int16_t* out = wave.samples.data() + got * info.channels;
        for (size_t i = 0; i < count; ++i) {
            out[i] = toSample(chunk[i]);
        }
        got += read;
    }
    if (got <= 0) {
        throw Failure(dsound::kErrBadFormat, QStringLiteral("Invalid format: no sound data"));
    }
    wave.samples.resize(static_cast<size_t>(got * info.channels));
    return wave;
}
