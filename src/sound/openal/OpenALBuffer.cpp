#include "OpenALBuffer.h"

#include "OpenALOutput.h"
#include "window/Failure.h"

#include <AL/alext.h>
#include <cmath>
#include <vector>

namespace {

Failure invalidParam() {
    return {dsound::kErrInvalidParam, QStringLiteral("An invalid parameter was passed")};
}

int16_t scaled(int16_t sample, float gain) {
    return gain == 1.0f ? sample : static_cast<int16_t>(std::lrint(sample * gain));
}

} // namespace

OpenALBuffer::OpenALBuffer(std::shared_ptr<OpenALOutput> output, WaveFile wave)
    : output_(std::move(output)), wave_(std::move(wave)) {
    output_->makeCurrent();
    alGetError();
    alGenSources(1, &source_);
    if (alGetError() != AL_NO_ERROR) {
        throw Failure(dsound::kErrOutOfMemory, QStringLiteral("Out of memory"));
    }
    try {
        buffer_ = upload();
    } catch (const Failure&) {
        alDeleteSources(1, &source_);
        throw;
    }
    output_->adopt(source_);
    alSourcei(source_, AL_BUFFER, static_cast<ALint>(buffer_));
    // Each channel of the buffer goes to the same channel of the output at its own level, as
    // DirectSound plays it. OpenAL Soft would otherwise place the two channels around the
    // listener as virtual speakers.
    if (alIsExtensionPresent("AL_SOFT_direct_channels")) {
        alSourcei(source_, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
    }
    if (alGetError() != AL_NO_ERROR) {
        output_->release(source_);
        alDeleteSources(1, &source_);
        alDeleteBuffers(1, &buffer_);
        throw Failure(dsound::kErrBadFormat, QStringLiteral("Invalid format"));
    }
}

OpenALBuffer::~OpenALBuffer() {
    output_->makeCurrent();
    alSourceStop(source_);
    output_->release(source_);
    alDeleteSources(1, &source_);
    alDeleteBuffers(1, &buffer_);
}

ALuint OpenALBuffer::upload() const {
    // Always two channels: OpenAL Soft pans a mono source, which plays it some 4.5 dB below
    // its level on each side; DirectSound plays it at its level on both.
    const ChannelGains gains = gainsOf(pan_);
    const size_t channels = static_cast<size_t>(wave_.channels);
    const size_t frames = static_cast<size_t>(wave_.frames());
    std::vector<int16_t> stereo(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        stereo[2 * i] = scaled(wave_.samples[i * channels], gains.left);
        stereo[2 * i + 1] = scaled(wave_.samples[i * channels + channels - 1], gains.right);
    }

    alGetError();
    ALuint buffer = 0;
    alGenBuffers(1, &buffer);
    if (alGetError() != AL_NO_ERROR) {
        throw Failure(dsound::kErrOutOfMemory, QStringLiteral("Out of memory"));
    }
    // Every file plays at its own rate; OpenAL resamples to the device.
    alBufferData(buffer, AL_FORMAT_STEREO16, stereo.data(),
                 static_cast<ALsizei>(stereo.size() * sizeof(int16_t)), wave_.sampleRate);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(1, &buffer);
        throw Failure(dsound::kErrBadFormat, QStringLiteral("Invalid format"));
    }
    return buffer;
}

ALint OpenALBuffer::state() const {
    output_->makeCurrent();
    ALint value = AL_INITIAL;
    alGetSourcei(source_, AL_SOURCE_STATE, &value);
    return value;
}

int32_t OpenALBuffer::GetStatus() {
    if (state() != AL_PLAYING) {
        return 0;
    }
    ALint looping = AL_FALSE;
    alGetSourcei(source_, AL_LOOPING, &looping);
    return dsound::kStatusPlaying | (looping ? dsound::kStatusLooping : 0);
}

void OpenALBuffer::Play(int32_t flags) {
    const ALint current = state();
    alSourcei(source_, AL_LOOPING, (flags & dsound::kPlayLooping) ? AL_TRUE : AL_FALSE);
    // alSourcePlay would rewind a playing source; a paused one resumes, an ended one
    // starts over.
    if (current != AL_PLAYING) {
        if (resumeAt_ >= 0) {
            alSourcei(source_, AL_SAMPLE_OFFSET, resumeAt_);
            resumeAt_ = -1;
        }
        output_->wake();
        alSourcePlay(source_);
    }
}

void OpenALBuffer::Stop() {
    // Pausing keeps the position for the next play.
    if (state() == AL_PLAYING) {
        alSourcePause(source_);
    }
}

float OpenALBuffer::gainOf(int32_t volume) {
    return static_cast<float>(std::pow(10.0, volume / 2000.0));
}

OpenALBuffer::ChannelGains OpenALBuffer::gainsOf(int32_t pan) {
    // The channel away from the pan is attenuated by its value in hundredths of a decibel;
    // at either end it is silent.
    const float far = pan == dsound::kPanLeft || pan == dsound::kPanRight
                          ? 0.0f
                          : static_cast<float>(std::pow(10.0, -std::abs(pan) / 2000.0));
    return {pan > 0 ? far : 1.0f, pan < 0 ? far : 1.0f};
}

void OpenALBuffer::SetVolume(int32_t volume) {
    if (volume < dsound::kVolumeMin || volume > dsound::kVolumeMax) {
        throw invalidParam();
    }
    output_->makeCurrent();
    alSourcef(source_, AL_GAIN, gainOf(volume));
}

void OpenALBuffer::SetPan(int32_t pan) {
    if (pan < dsound::kPanLeft || pan > dsound::kPanRight) {
        throw invalidParam();
    }
    if (pan == pan_) {
        return;
    }
    output_->makeCurrent();
    const int32_t previous = pan_;
    pan_ = pan;
    ALuint panned = 0;
    try {
        panned = upload();
    } catch (const Failure&) {
        pan_ = previous;
        throw;
    }
    // A source holds on to its buffer while it plays or is paused: it lets go of the old one
    // and takes up the new one at the same sample.
    const ALint current = state();
    ALint offset = resumeAt_;
    if (current == AL_PLAYING || current == AL_PAUSED) {
        alGetSourcei(source_, AL_SAMPLE_OFFSET, &offset);
        alSourceStop(source_);
    }
    alSourcei(source_, AL_BUFFER, static_cast<ALint>(panned));
    alDeleteBuffers(1, &buffer_);
    buffer_ = panned;
    resumeAt_ = offset;
    if (current == AL_PLAYING) {
        alSourcei(source_, AL_SAMPLE_OFFSET, resumeAt_);
        resumeAt_ = -1;
        alSourcePlay(source_);
    }
}
