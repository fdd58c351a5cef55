#include "DX7Sound.h"

#include "config/ErrorLog.h"
#include "window/Failure.h"
#include "window/MainWindow.h"

namespace {

Failure noObject() {
    return {91, QStringLiteral("Object variable or With block variable not set")};
}
Failure subscriptOutOfRange() {
    return {9, QStringLiteral("Subscript out of range")};
}

BufferDescription staticBufferDescription() {
    return {dsound::kCapsStatic | dsound::kCapsCtrlFrequency | dsound::kCapsCtrlPan |
            dsound::kCapsCtrlVolume | dsound::kCapsGlobalFocus};
}

// Passed with every load; the library takes the real format from the file.
WaveFormat loadFormat() {
    WaveFormat format;
    format.formatTag = 1;
    format.channels = 2;
    format.samplesPerSec = 22050;
    format.bitsPerSample = 16;
    format.blockAlign = static_cast<int16_t>(format.bitsPerSample / 8 * format.channels);
    format.avgBytesPerSec = format.blockAlign * format.samplesPerSec;
    format.extraSize = 0;
    return format;
}

} // namespace

const QString DX7Sound::kStartFailureMessage = QStringLiteral(
    "Unable to start DirectSound. Check to see that your sound card is properly installed");

DX7Sound::DX7Sound(MainWindow& main, SoundSystem& system, const ErrorLog& log)
    : main_(main), system_(system), log_(log) {}

DX7Sound::~DX7Sound() {
    // Buffers go before the device they were made on.
    Buffers.clear();
    SoundDevice_.reset();
}

void DX7Sound::setEnumeration(std::unique_ptr<SoundEnum> enumeration) {
    enum_ = std::move(enumeration);
}

void DX7Sound::logFailure(const char* label, const Failure& failure) const {
    if (logsFailures(main_)) {
        log_.WriteErrorLog(QLatin1String(label) + failure.description() + QLatin1Char(' '),
                           failure.number());
    }
}

void DX7Sound::SetupDX7Sound(MainWindow& window) {
    try {
        const int16_t position = window.Combo1->listIndex();
        if (!enum_) {
            throw noObject();
        }
        const QString guid = enum_->GetGuid(position + 1);
        SoundDevice_ = system_.DirectSoundCreate(guid);
    } catch (const Failure& failure) {
        logFailure("SetupDX7Sound: ", failure);
        window.messageBox(QStringLiteral("Staticor"), kStartFailureMessage, QMessageBox::Critical);
        throw EndProgram{};
    }
    try {
        SoundDevice_->SetCooperativeLevel(&window, dsound::kPriority);
    } catch (const Failure& failure) {
        logFailure("SetupDX7Sound: ", failure);
    }
}

void DX7Sound::SetSoundPath(const QString& path) {
    SoundPath = path + QLatin1Char('/');
}

void DX7Sound::CreateBuffers(int16_t upper, const QString& fileName) {
    try {
        // Discarding the old table silences whatever still plays in it.
        Buffers.clear();
        tableExists_ = true;
        if (upper < 0) {
            return;
        }
        Buffers.resize(static_cast<size_t>(upper) + 1);
        for (int16_t i = 0; i <= upper; ++i) {
            DX7LoadSound(i, fileName);
            DX7SetVolume(i, 50);
        }
    } catch (const Failure& failure) {
        logFailure("CreateBuffers: ", failure);
    }
}

void DX7Sound::DX7LoadSound(int16_t index, const QString& fileName) {
    if (!tableExists_) {
        return;
    }
    try {
        Slot& target = slot(index);
        if (!SoundDevice_) {
            throw noObject();
        }
        std::unique_ptr<SoundBuffer> loaded = SoundDevice_->CreateSoundBufferFromFile(
            SoundPath + fileName, staticBufferDescription(), loadFormat());
        target.Buffer = std::move(loaded);
        target.Loaded = true;
    } catch (const Failure& failure) {
        logFailure("DX7LoadSound: ", failure);
    }
}

void DX7Sound::DX7PlaySound(const QString& fileName, uint8_t volume, uint8_t pan, uint8_t flags) {
    if (!tableExists_) {
        return;
    }
    // One pass over the table at most: when every slot plays a one-shot, NextSlot stays
    // where the search began rather than waiting for one to end.
    const int tableSize = static_cast<int>(Buffers.size());
    for (int tried = 0; tried < tableSize && buffer(NextSlot).GetStatus() == dsound::kStatusPlaying;
         ++tried) {
        NextSlot = NextSlot + 1 >= tableSize ? 0 : static_cast<int16_t>(NextSlot + 1);
    }
    DX7LoadSound(NextSlot, fileName);
    if (pan != 50) {
        DX7SetPan(NextSlot, pan);
    }
    if (volume < 100) {
        DX7SetVolume(NextSlot, volume);
    }
    if (slot(NextSlot).Loaded) {
        buffer(NextSlot).Play(flags);
    }
}

int32_t DX7Sound::volumeScale(uint8_t volume) {
    return volume * 60 - 6000;
}

int32_t DX7Sound::panScale(uint8_t pan) {
    if (pan == 0) {
        return dsound::kPanLeft;
    }
    if (pan == 100) {
        return dsound::kPanRight;
    }
    return pan * 100 - 5000;
}

void DX7Sound::DX7SetVolume(int16_t index, uint8_t volume) {
    if (!tableExists_) {
        return;
    }
    buffer(index).SetVolume(volumeScale(volume));
}

void DX7Sound::DX7SetPan(int16_t index, uint8_t pan) {
    if (!tableExists_) {
        return;
    }
    buffer(index).SetPan(panScale(pan));
}

void DX7Sound::DX7PlayOnce(int16_t index) {
    if (!tableExists_) {
        return;
    }
    buffer(index).Play(dsound::kPlayOnce);
}

void DX7Sound::DX7PlayLooping(int16_t index) {
    if (!tableExists_) {
        return;
    }
    buffer(index).Play(dsound::kPlayLooping);
}

void DX7Sound::DX7StopSound(int16_t index) {
    if (!tableExists_) {
        return;
    }
    buffer(index).Stop();
}

int DX7Sound::slotOf(const SoundBuffer* soundBuffer) const {
    for (size_t i = 0; i < Buffers.size(); ++i) {
        if (soundBuffer != nullptr && Buffers[i].Buffer.get() == soundBuffer) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

DX7Sound::Slot& DX7Sound::slot(int16_t index) {
    if (index < 0 || static_cast<size_t>(index) >= Buffers.size()) {
        throw subscriptOutOfRange();
    }
    return Buffers[static_cast<size_t>(index)];
}

SoundBuffer& DX7Sound::buffer(int16_t index) {
    Slot& s = slot(index);
    if (!s.Buffer) {
        throw noObject();
    }
    return *s.Buffer;
}
