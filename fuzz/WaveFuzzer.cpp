// Arbitrary sound files through the real decoding and into an OpenAL buffer: a file is either
// refused with a Failure or becomes a buffer that plays; nothing else may happen.

#include "FuzzSupport.h"
#include "sound/openal/OpenALDevice.h"
#include "sound/openal/WaveFile.h"
#include "window/Failure.h"

namespace {

OpenALDevice& device() {
    // Rendered nowhere: the loopback device needs no driver and never blocks.
    static std::unique_ptr<OpenALDevice> loopback = OpenALDevice::openLoopback(44100);
    return *loopback;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::initApplication();
    device();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = fuzz::writeScratchFile(QStringLiteral("sound.wav"), data, size);
    try {
        const WaveFile wave = WaveFile::read(path);
        if (wave.channels < 1 || wave.channels > 2 || wave.sampleRate <= 0 || wave.frames() <= 0 ||
            wave.samples.size() != size_t(wave.frames()) * size_t(wave.channels)) {
            fuzz::violated("a decoded sound with an impossible shape");
        }
    } catch (const Failure&) {
        return 0; // refused, as a file that is no sound must be
    }
    try {
        std::unique_ptr<SoundBuffer> buffer =
            device().CreateSoundBufferFromFile(path, BufferDescription{}, WaveFormat{});
        buffer->Play(0);
        buffer->GetStatus();
        buffer->Stop();
    } catch (const Failure&) {
        // A decodable file the device cannot take (an unusual rate, say) is refused too.
    }
    return 0;
}
