#include "OpenALBuffer.h"

#include "OpenALOutput.h"
#include "WaveFile.h"
#include "window/Failure.h"

#include <cmath>
#include <numbers>

namespace {

Failure invalidParam() {
    return {dsound::kErrInvalidParam, QStringLiteral("An invalid parameter was passed")};
}

} // namespace

OpenALBuffer::OpenALBuffer(std::shared_ptr<OpenALOutput> output, const WaveFile& wave)
    : output_(std::move(output)) {
    output_->makeCurrent();
    alGetError();
    alGenBuffers(1, &buffer_);
    alGenSources(1, &source_);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteSources(1, &source_);
        alDeleteBuffers(1, &buffer_);
        throw Failure(dsound::kErrOutOfMemory, QStringLiteral("Out of memory"));
    }
    // Every file plays at its own rate; OpenAL resamples to the device.
    const ALenum format = wave.channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
    alBufferData(buffer_, format, wave.samples.data(),
                 static_cast<ALsizei>(wave.samples.size() * sizeof(int16_t)), wave.sampleRate);
    output_->adopt(source_);
    alSourcei(source_, AL_BUFFER, static_cast<ALint>(buffer_));
    alSourcei(source_, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(source_, AL_POSITION, 0.0f, 0.0f, -1.0f);
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

void OpenALBuffer::positionOf(int32_t pan, float& x, float& z) {
    const double angle = pan / 10000.0 * std::numbers::pi / 2.0;
    x = static_cast<float>(std::sin(angle));
    z = static_cast<float>(-std::cos(angle));
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
    // Only mono sounds are positioned; OpenAL plays stereo ones as they are.
    float x = 0.0f;
    float z = -1.0f;
    positionOf(pan, x, z);
    output_->makeCurrent();
    alSource3f(source_, AL_POSITION, x, 0.0f, z);
}
