#include "WaveFile.h"

#include "sound/SoundSystem.h"
#include "window/Failure.h"

#include <QFile>
#include <QFileInfo>
#include <sndfile.h>

namespace {

// A whole file lives in memory; a sound bigger than this is not a radio effect.
constexpr int64_t kMaxSamples = int64_t{1} << 26;

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
    const sf_count_t got = sf_readf_short(file.get(), wave.samples.data(), info.frames);
    if (got <= 0) {
        throw Failure(dsound::kErrBadFormat, QStringLiteral("Invalid format: no sound data"));
    }
    wave.samples.resize(static_cast<size_t>(got * info.channels));
    return wave;
}
