#pragma once

#include "sound/SoundSystem.h"

#include <memory>

class OpenALOutput;

// A device object on an opened OpenAL device. Buffers keep the device open after the
// object is gone, as they would keep their sound device alive.
class OpenALDevice : public SoundDevice {
public:
    explicit OpenALDevice(std::shared_ptr<OpenALOutput> output);

    // An offline device for measuring what is played: stereo float at the given rate.
    static std::unique_ptr<OpenALDevice> openLoopback(int sampleRate);

    // OpenAL has no focus: every device plays whichever application has the input focus,
    // which is what the program asks for. The level is checked, not applied.
    void SetCooperativeLevel(QWidget* window, int32_t level) override;
    std::unique_ptr<SoundBuffer> CreateSoundBufferFromFile(const QString& fileName,
                                                           const BufferDescription& description,
                                                           const WaveFormat& format) override;

    OpenALOutput& output() const { return *output_; }

private:
    std::shared_ptr<OpenALOutput> output_;
};
