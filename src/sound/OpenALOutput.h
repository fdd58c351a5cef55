#pragma once

#include <AL/alc.h>
#include <QString>
#include <memory>

// One opened OpenAL device with its context. Shared by every device object and buffer made
// on it, so the device closes only when the last of them is gone.
class OpenALOutput {
public:
    // The named device; a Failure when it cannot be opened.
    static std::shared_ptr<OpenALOutput> open(const QString& name);
    // A device that renders on demand (ALC_SOFT_loopback), stereo float at the given rate.
    static std::shared_ptr<OpenALOutput> openLoopback(int sampleRate);

    ~OpenALOutput();
    OpenALOutput(const OpenALOutput&) = delete;
    OpenALOutput& operator=(const OpenALOutput&) = delete;

    // Makes this device's context the one the following AL calls act on.
    void makeCurrent() const;
    // Loopback devices only: mixes the next frames into out (interleaved left, right).
    void render(float* out, int frames);
    bool isLoopback() const { return loopback_; }

private:
    OpenALOutput(ALCdevice* device, ALCcontext* context, bool loopback);
    static std::shared_ptr<OpenALOutput> withContext(ALCdevice* device, const ALCint* attributes,
                                                     bool loopback);

    ALCdevice* device_;
    ALCcontext* context_;
    bool loopback_;
};
