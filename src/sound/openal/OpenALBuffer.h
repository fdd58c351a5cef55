#pragma once

#include "sound/SoundSystem.h"

#include <AL/al.h>
#include <memory>

class OpenALOutput;
struct WaveFile;

// A sound held whole in an AL buffer, played through a source of its own.
class OpenALBuffer : public SoundBuffer {
public:
    OpenALBuffer(std::shared_ptr<OpenALOutput> output, const WaveFile& wave);
    ~OpenALBuffer() override;
    OpenALBuffer(const OpenALBuffer&) = delete;
    OpenALBuffer& operator=(const OpenALBuffer&) = delete;

    int32_t GetStatus() override;
    void Play(int32_t flags) override;
    void Stop() override;
    void SetVolume(int32_t volume) override;
    void SetPan(int32_t pan) override;

    // The gain and position a volume and a pan become.
    static float gainOf(int32_t volume);
    static void positionOf(int32_t pan, float& x, float& z);

private:
    ALint state() const;

    std::shared_ptr<OpenALOutput> output_;
    ALuint buffer_ = 0;
    ALuint source_ = 0;
};
