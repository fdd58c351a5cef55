#pragma once

#include <QString>
#include <cstdint>
#include <memory>

class QWidget;

// The sound library as the engine uses it, in the shape of the DirectX 7 sound objects: a
// device list, devices created from an identifier, and buffers created from files.
// Implementations: OpenAL Soft with libsndfile, and a recording fake for tests.
// Every operation reports a failure by throwing Failure (app/Failure.h).

namespace dsound {
// Buffer status bits.
inline constexpr int32_t kStatusPlaying = 1;
inline constexpr int32_t kStatusLooping = 4;
// Play flags.
inline constexpr int32_t kPlayOnce = 0;
inline constexpr int32_t kPlayLooping = 1;
// Volume in hundredths of a decibel, pan from hard left to hard right.
inline constexpr int32_t kVolumeMin = -10000;
inline constexpr int32_t kVolumeMax = 0;
inline constexpr int32_t kPanLeft = -10000;
inline constexpr int32_t kPanRight = 10000;
// Cooperative level.
inline constexpr int32_t kPriority = 2;

// Buffer capabilities.
inline constexpr int32_t kCapsCtrlFrequency = 0x20;
inline constexpr int32_t kCapsCtrlPan = 0x40;
inline constexpr int32_t kCapsCtrlVolume = 0x80;
inline constexpr int32_t kCapsStatic = 0x2;
inline constexpr int32_t kCapsGlobalFocus = 0x8000;

// Error numbers reported as the sound library's own failures.
inline constexpr int32_t kErrInvalidParam = static_cast<int32_t>(0x80070057);
inline constexpr int32_t kErrFileNotFound = static_cast<int32_t>(0x80070002);
inline constexpr int32_t kErrBadFormat = static_cast<int32_t>(0x88780064);
inline constexpr int32_t kErrNoDriver = static_cast<int32_t>(0x88780078);
inline constexpr int32_t kErrOutOfMemory = static_cast<int32_t>(0x8007000E);
} // namespace dsound

// What a buffer is asked to be: its capability flags (the size comes from the file).
struct BufferDescription {
    int32_t flags = 0;
};

// The format record passed with every load. The library decides from the file itself; the
// record is passed along as the caller fills it.
struct WaveFormat {
    int16_t formatTag = 0;
    int16_t channels = 0;
    int32_t samplesPerSec = 0;
    int32_t avgBytesPerSec = 0;
    int16_t blockAlign = 0;
    int16_t bitsPerSample = 0;
    int16_t extraSize = 0;
};

// One sound held whole in memory, with its own playback state.
class SoundBuffer {
public:
    virtual ~SoundBuffer() = default;

    // dsound::kStatusPlaying, plus kStatusLooping while playing looping; 0 when not playing.
    virtual int32_t GetStatus() = 0;
    // Starts playing; a buffer that plays already goes on from where it is. A buffer that
    // was stopped goes on from where it stopped; one that played to its end starts over.
    virtual void Play(int32_t flags) = 0;
    // Halts playback and keeps the position. Harmless on a buffer that is not playing.
    virtual void Stop() = 0;
    // Hundredths of a decibel, kVolumeMin..kVolumeMax; anything else is refused.
    virtual void SetVolume(int32_t volume) = 0;
    // kPanLeft..kPanRight; anything else is refused.
    virtual void SetPan(int32_t pan) = 0;
};

// An opened output device.
class SoundDevice {
public:
    virtual ~SoundDevice() = default;

    virtual void SetCooperativeLevel(QWidget* window, int32_t level) = 0;
    // A buffer holding the whole file, unattenuated and centred.
    virtual std::unique_ptr<SoundBuffer>
    CreateSoundBufferFromFile(const QString& fileName, const BufferDescription& description,
                              const WaveFormat& format) = 0;
};

// The output devices at the time the list was taken, numbered from 1.
class SoundEnum {
public:
    virtual ~SoundEnum() = default;

    virtual int32_t GetCount() = 0;
    virtual QString GetDescription(int32_t index) = 0;
    // The identifier that DirectSoundCreate takes.
    virtual QString GetGuid(int32_t index) = 0;
};

class SoundSystem {
public:
    virtual ~SoundSystem() = default;

    virtual std::unique_ptr<SoundEnum> GetDSEnum() = 0;
    virtual std::unique_ptr<SoundDevice> DirectSoundCreate(const QString& guid) = 0;
};
