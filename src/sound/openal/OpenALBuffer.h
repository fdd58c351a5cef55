#pragma once

#include "WaveFile.h"
#include "sound/SoundSystem.h"

#include <AL/al.h>
#include <memory>

class OpenALOutput;

// A sound held whole in an AL buffer, played through a source of its own.
class OpenALBuffer : public SoundBuffer {
public:
    OpenALBuffer(std::shared_ptr<OpenALOutput> output, WaveFile wave);
    ~OpenALBuffer() override;
    OpenALBuffer(const OpenALBuffer&) = delete;
    OpenALBuffer& operator=(const OpenALBuffer&) = delete;

    int32_t GetStatus() override;
    void Play(int32_t flags) override;
    void Stop() override;
    void SetVolume(int32_t volume) override;
    void SetPan(int32_t pan) override;

    struct ChannelGains {
        float left = 1.0f;
        float right = 1.0f;
    };
    // The gain a volume becomes, and the gains of the two channels a pan becomes.
    static float gainOf(int32_t volume);
    static ChannelGains gainsOf(int32_t pan);

private:
    ALint state() const;
    // The sound as two channels with the pan's gains applied, in a new AL buffer.
    ALuint upload() const;

    std::shared_ptr<OpenALOutput> output_;
    // Kept to upload again when the pan changes.
    WaveFile wave_;
    int32_t pan_ = 0;
    // Where a stopped sound goes on once its buffer was replaced under it; -1 for none.
    ALint resumeAt_ = -1;
    ALuint buffer_ = 0;
    ALuint source_ = 0;
};
