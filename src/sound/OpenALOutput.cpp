#include "OpenALOutput.h"

#include "SoundSystem.h"
#include "app/Failure.h"

#include <AL/al.h>
#include <AL/alext.h>

namespace {

Failure noDriver(const QString& what) {
    return {dsound::kErrNoDriver, QStringLiteral("No sound driver is available for use: ") + what};
}

} // namespace

OpenALOutput::OpenALOutput(ALCdevice* device, ALCcontext* context, bool loopback)
    : device_(device), context_(context), loopback_(loopback) {}

OpenALOutput::~OpenALOutput() {
    if (alcGetCurrentContext() == context_) {
        alcMakeContextCurrent(nullptr);
    }
    alcDestroyContext(context_);
    alcCloseDevice(device_);
}

std::shared_ptr<OpenALOutput> OpenALOutput::withContext(ALCdevice* device, const ALCint* attributes,
                                                        bool loopback) {
    ALCcontext* context = alcCreateContext(device, attributes);
    if (context == nullptr) {
        alcCloseDevice(device);
        throw noDriver(QStringLiteral("the device refused a context"));
    }
    std::shared_ptr<OpenALOutput> output(new OpenALOutput(device, context, loopback));
    output->makeCurrent();
    // Sources are placed on a unit circle only to pan them: no distance attenuation.
    alDistanceModel(AL_NONE);
    return output;
}

std::shared_ptr<OpenALOutput> OpenALOutput::open(const QString& name) {
    const QByteArray utf8 = name.toUtf8();
    ALCdevice* device = alcOpenDevice(utf8.constData());
    if (device == nullptr) {
        throw noDriver(name);
    }
    return withContext(device, nullptr, false);
}

std::shared_ptr<OpenALOutput> OpenALOutput::openLoopback(int sampleRate) {
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) {
        throw noDriver(QStringLiteral("no loopback rendering"));
    }
    auto openDevice = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
        alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    ALCdevice* device = openDevice(nullptr);
    if (device == nullptr) {
        throw noDriver(QStringLiteral("loopback"));
    }
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT,
                                 ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,
                                 ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY,
                                 sampleRate,
                                 ALC_HRTF_SOFT,
                                 ALC_FALSE,
                                 0};
    return withContext(device, attributes, true);
}

void OpenALOutput::makeCurrent() const {
    if (alcGetCurrentContext() != context_) {
        alcMakeContextCurrent(context_);
    }
}

void OpenALOutput::render(float* out, int frames) {
    if (!loopback_) {
        return;
    }
    static const auto renderSamples = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(
        alcGetProcAddress(device_, "alcRenderSamplesSOFT"));
    renderSamples(device_, out, frames);
}
