#include "OpenALOutput.h"

#include "sound/SoundSystem.h"
#include "window/Failure.h"

#include <AL/al.h>
#include <AL/alext.h>
#include <QTimer>
#include <algorithm>

namespace {

Failure noDriver(const QString& what) {
    return {dsound::kErrNoDriver, QStringLiteral("No sound driver is available for use: ") + what};
}

constexpr int kIdleCheckMs = 500;

bool isFileWriter(ALCdevice* device) {
    // The full name: the short one is the library's own on every device.
    const ALCchar* name = alcGetString(device, ALC_ALL_DEVICES_SPECIFIER);
    return name != nullptr && QByteArray(name).contains("Wave File Writer");
}

} // namespace

OpenALOutput::OpenALOutput(ALCdevice* device, ALCcontext* context, bool loopback)
    : device_(device), context_(context), loopback_(loopback) {
    pausable_ = !loopback && alcIsExtensionPresent(device, "ALC_SOFT_pause_device") &&
                !isFileWriter(device);
    if (pausable_) {
        idleCheck_ = std::make_unique<QTimer>();
        idleCheck_->setInterval(kIdleCheckMs);
        idleCheck_->callOnTimeout([this] { pauseIfIdle(); });
        idleCheck_->start();
    }
}

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
    // Sounds are not placed in space: no distance attenuation.
    alDistanceModel(AL_NONE);
    return output;
}

std::shared_ptr<OpenALOutput> OpenALOutput::open(const QString& name) {
    const QByteArray utf8 = name.toUtf8();
    ALCdevice* device = alcOpenDevice(utf8.constData());
    if (device == nullptr) {
        throw noDriver(name);
    }
    // No output limiter: its gain computer costs a log and an exp for every output sample,
    // which doubled the program's CPU time while static played. A few sounds at their set
    // volumes are mixed as a sound card's own mixer mixes them, clipping only beyond full
    // scale. The loopback renderer does the same, so the tests hear what users hear.
    const ALCint attributes[] = {ALC_OUTPUT_LIMITER_SOFT, ALC_FALSE, 0};
    return withContext(device, attributes, false);
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
                                 ALC_OUTPUT_LIMITER_SOFT,
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

void OpenALOutput::adopt(unsigned source) {
    sources_.push_back(source);
}

void OpenALOutput::release(unsigned source) {
    sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
}

void OpenALOutput::wake() {
    if (!paused_) {
        return;
    }
    static const auto resume =
        reinterpret_cast<LPALCDEVICERESUMESOFT>(alcGetProcAddress(device_, "alcDeviceResumeSOFT"));
    resume(device_);
    paused_ = false;
    idleCheck_->start();
}

bool OpenALOutput::pauseIfIdle() {
    if (!pausable_ || paused_) {
        return paused_;
    }
    makeCurrent();
    const bool playing = std::any_of(sources_.begin(), sources_.end(), [](ALuint source) {
        ALint state = AL_INITIAL;
        alGetSourcei(source, AL_SOURCE_STATE, &state);
        return state == AL_PLAYING;
    });
    if (!playing) {
        static const auto pause = reinterpret_cast<LPALCDEVICEPAUSESOFT>(
            alcGetProcAddress(device_, "alcDevicePauseSOFT"));
        pause(device_);
        paused_ = true;
        idleCheck_->stop();
    }
    return paused_;
}
