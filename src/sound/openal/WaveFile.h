#pragma once

#include <QString>
#include <cstdint>
#include <vector>

// A sound file decoded whole into interleaved 16-bit samples, at the file's own rate.
struct WaveFile {
    int sampleRate = 0;
    int channels = 0;
    std::vector<int16_t> samples;

    int64_t frames() const {
        return channels > 0 ? static_cast<int64_t>(samples.size()) / channels : 0;
    }

    // Reads any format libsndfile decodes, mono or stereo. A missing, unreadable, empty or
    // oversized file is refused with a Failure.
    static WaveFile read(const QString& path);
};
