// Synthesises the default sound set into a directory: noise.wav (radio static that loops
// without a seam), click.wav (the microphone key click), tx.wav (a squelch burst) and
// info.wav (the quiet fill tone). All PCM 11025 Hz, mono, 16-bit. The random generator is
// seeded, so rebuilding with the same toolchain writes the same files.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <sndfile.h>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 11025;
constexpr double kPi = std::numbers::pi;

using Samples = std::vector<double>;

// A band-pass FIR (windowed sinc, Blackman window) with an odd number of taps.
Samples bandPass(double low, double high, int taps) {
    Samples h(static_cast<size_t>(taps));
    const int middle = taps / 2;
    for (int i = 0; i < taps; ++i) {
        const int n = i - middle;
        const auto sinc = [n](double cutoff) {
            const double w = 2 * kPi * cutoff / kRate;
            return n == 0 ? w / kPi : std::sin(w * n) / (kPi * n);
        };
        const double window = 0.42 - 0.5 * std::cos(2 * kPi * i / (taps - 1)) +
                              0.08 * std::cos(4 * kPi * i / (taps - 1));
        h[static_cast<size_t>(i)] = (sinc(high) - sinc(low)) * window;
    }
    return h;
}

Samples whiteNoise(size_t count, std::mt19937& random) {
    std::normal_distribution<double> normal(0.0, 1.0);
    Samples out(count);
    for (double& v : out) {
        v = normal(random);
    }
    return out;
}

// Filters as if the input repeated forever, so the output is one period of an endless
// signal: played looping, its end runs into its start without a step.
Samples filterCircular(const Samples& in, const Samples& h) {
    const size_t n = in.size();
    Samples out(n, 0.0);
    for (size_t i = 0; i < n; ++i) {
        double sum = 0;
        for (size_t k = 0; k < h.size(); ++k) {
            sum += h[k] * in[(i + n - k % n) % n];
        }
        out[i] = sum;
    }
    return out;
}

Samples filter(const Samples& in, const Samples& h) {
    Samples out(in.size(), 0.0);
    for (size_t i = 0; i < in.size(); ++i) {
        double sum = 0;
        for (size_t k = 0; k < h.size() && k <= i; ++k) {
            sum += h[k] * in[i - k];
        }
        out[i] = sum;
    }
    return out;
}

void scaleToPeak(Samples& s, double peak) {
    double max = 0;
    for (double v : s) {
        max = std::max(max, std::abs(v));
    }
    if (max > 0) {
        for (double& v : s) {
            v *= peak / max;
        }
    }
}

// Radio static in the voice band, two seconds, with a slow flutter that is itself periodic
// over the loop.
Samples noise(std::mt19937& random) {
    const size_t count = 2 * kRate;
    Samples s = filterCircular(whiteNoise(count, random), bandPass(300, 3400, 255));
    for (size_t i = 0; i < count; ++i) {
        s[i] *= 1.0 + 0.15 * std::sin(2 * kPi * 3 * static_cast<double>(i) / count);
    }
    scaleToPeak(s, 0.7);
    return s;
}

// The key click: a sharp press transient and a softer release, 60 ms.
Samples click(std::mt19937& random) {
    const size_t count = kRate * 60 / 1000;
    Samples s(count, 0.0);
    const Samples burst = filter(whiteNoise(count, random), bandPass(800, 4500, 63));
    const auto transient = [&](double start, double amplitude) {
        for (size_t i = 0; i < count; ++i) {
            const double t = static_cast<double>(i) / kRate - start;
            if (t >= 0) {
                const double decay = std::exp(-t / 0.004);
                s[i] += amplitude * decay * (std::sin(2 * kPi * 1800 * t) + 0.6 * burst[i]);
            }
        }
    };
    transient(0.0, 1.0);
    transient(0.032, 0.45);
    scaleToPeak(s, 0.8);
    // Ends at silence so that nothing is cut off.
    for (size_t i = count - 40; i < count; ++i) {
        s[i] *= static_cast<double>(count - i) / 40.0;
    }
    return s;
}

// The squelch burst of a transmitter keying up: band-limited noise, 250 ms, quick attack.
Samples tx(std::mt19937& random) {
    const size_t count = kRate * 250 / 1000;
    Samples s = filter(whiteNoise(count, random), bandPass(500, 3000, 127));
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double attack = std::min(1.0, t / 0.005);
        const double release = std::min(1.0, (0.25 - t) / 0.06);
        s[i] *= attack * std::max(0.0, release);
    }
    scaleToPeak(s, 0.6);
    return s;
}

// A short, quiet tone: it fills the slots that nothing plays.
Samples info() {
    const size_t count = kRate * 300 / 1000;
    Samples s(count);
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double fade = std::min({1.0, t / 0.02, (0.3 - t) / 0.02});
        s[i] = 0.12 * std::max(0.0, fade) * std::sin(2 * kPi * 660 * t);
    }
    return s;
}

bool write(const std::string& path, const Samples& s) {
    SF_INFO format{};
    format.samplerate = kRate;
    format.channels = 1;
    format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &format);
    if (file == nullptr) {
        std::fprintf(stderr, "make-sounds: %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    const sf_count_t written = sf_writef_double(file, s.data(), static_cast<sf_count_t>(s.size()));
    sf_close(file);
    return written == static_cast<sf_count_t>(s.size());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-sounds DIRECTORY\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::mt19937 random(0x5747);
    const bool ok = write(dir + "/noise.wav", noise(random)) &&
                    write(dir + "/click.wav", click(random)) &&
                    write(dir + "/tx.wav", tx(random)) && write(dir + "/info.wav", info());
    return ok ? 0 : 1;
}
