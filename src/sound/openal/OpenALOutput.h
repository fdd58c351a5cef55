#pragma once

#include <AL/alc.h>
#include <QString>
#include <memory>
#include <vector>

class QTimer;

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

    // A device with nothing to play is paused, so that it costs nothing while the channel is
    // quiet: each source is registered, and wake() comes before a source starts.
    void adopt(unsigned source);
    void release(unsigned source);
    void wake();
    // Pauses the device when no source plays; whether it is paused now. Also run by a timer
    // twice a second while the device is awake.
    bool pauseIfIdle();
    bool isPaused() const { return paused_; }

private:
    OpenALOutput(ALCdevice* device, ALCcontext* context, bool loopback);
    static std::shared_ptr<OpenALOutput> withContext(ALCdevice* device, const ALCint* attributes,
                                                     bool loopback);

    ALCdevice* device_;
    ALCcontext* context_;
    bool loopback_;
    // Neither a loopback device (it mixes only when asked) nor a file writer (its file is the
    // timeline: a pause would cut the quiet stretches out of it) is ever paused.
    bool pausable_ = false;
    bool paused_ = false;
    std::vector<unsigned> sources_;
    std::unique_ptr<QTimer> idleCheck_;
};
