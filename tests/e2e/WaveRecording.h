#pragma once

#include <QString>
#include <cmath>
#include <sndfile.h>
#include <vector>

// A recording made by OpenAL Soft's wave writer, read whole, with the measures the
// whole-program tests judge it by.
struct WaveRecording {
    int rate = 0;
    int channels = 0;
    std::vector<float> samples; // interleaved

    static WaveRecording read(const QString& path) {
        WaveRecording out;
        SF_INFO info{};
        SNDFILE* file = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
        if (file == nullptr) {
            return out;
        }
        out.rate = info.samplerate;
        out.channels = info.channels;
        out.samples.resize(static_cast<size_t>(info.frames * info.channels));
        const sf_count_t got = sf_readf_float(file, out.samples.data(), info.frames);
        out.samples.resize(static_cast<size_t>(got * info.channels));
        sf_close(file);
        return out;
    }

    bool frameSounds(size_t frame) const {
        for (int c = 0; c < channels; ++c) {
            if (samples[frame * size_t(channels) + size_t(c)] != 0.0f) {
                return true;
            }
        }
        return false;
    }

    size_t frames() const { return channels > 0 ? samples.size() / size_t(channels) : 0; }
    double seconds() const { return rate > 0 ? double(frames()) / rate : 0; }

    // Root-mean-square level of the frames [from, from + count), all channels.
    double rms(size_t from, size_t count) const {
        double sum = 0;
        size_t n = 0;
        for (size_t f = from; f < from + count && f < frames(); ++f) {
            for (int c = 0; c < channels; ++c) {
                const double x = samples[f * size_t(channels) + size_t(c)];
                sum += x * x;
                ++n;
            }
        }
        return n > 0 ? std::sqrt(sum / double(n)) : 0;
    }

    // The level of each window of windowSeconds, from the start.
    std::vector<double> levels(double windowSeconds) const {
        const auto window = static_cast<size_t>(rate * windowSeconds);
        std::vector<double> out;
        for (size_t f = 0; window > 0 && f < frames(); f += window) {
            out.push_back(rms(f, window));
        }
        return out;
    }
};
