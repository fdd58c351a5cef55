#pragma once

#include "SoundSystem.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class ErrorLog;
class Failure;
class MainWindow;

// The sound buffer engine: one device and a table of sound slots, each holding one file
// loaded whole. Set-up, loads and the table build trap their failures and log them while
// logErrors > 0; play, stop, status, volume and pan failures pass to the caller.
// Until the first CreateBuffers there is no table, and every slot operation does nothing:
// timer ticks reach the engine while the start-up failure message waits, before the program
// ends.
class DX7Sound {
public:
    struct Slot {
        bool Loaded = false;
        std::unique_ptr<SoundBuffer> Buffer;
    };

    DX7Sound(MainWindow& main, SoundSystem& system, const ErrorLog& log);
    ~DX7Sound();

    // The device list that set-up looks the selected device up in (taken by GetDevices).
    void setEnumeration(std::unique_ptr<SoundEnum> enumeration);
    SoundEnum* enumeration() const { return enum_.get(); }
    SoundSystem& system() const { return system_; }

    // Opens the device selected in Combo1. A device that cannot be created ends the program
    // (EndProgram) after the start-up failure message.
    void SetupDX7Sound(MainWindow& window);
    void SetSoundPath(const QString& path);
    // A fresh table of slots 0..upper, each holding the file at volume 50.
    void CreateBuffers(int16_t upper, const QString& fileName);
    void DX7LoadSound(int16_t slot, const QString& fileName);
    // Loads the file into the next slot that is not playing a one-shot and plays it.
    void DX7PlaySound(const QString& fileName, uint8_t volume, uint8_t pan, uint8_t flags);
    void DX7SetVolume(int16_t slot, uint8_t volume);
    void DX7SetPan(int16_t slot, uint8_t pan);
    void DX7PlayOnce(int16_t slot);
    void DX7PlayLooping(int16_t slot);
    void DX7StopSound(int16_t slot);

    // The scales from the program's 0..100 values to the device's.
    static int32_t volumeScale(uint8_t volume);
    static int32_t panScale(uint8_t pan);

    const QString& soundPath() const { return SoundPath; }
    int16_t nextSlot() const { return NextSlot; }
    const std::vector<Slot>& buffers() const { return Buffers; }
    bool hasDevice() const { return SoundDevice_ != nullptr; }
    // The slot that holds the buffer, or -1.
    int slotOf(const SoundBuffer* buffer) const;

    static const QString kStartFailureMessage;

private:
    Slot& slot(int16_t index);
    SoundBuffer& buffer(int16_t index);
    void logFailure(const char* label, const Failure& failure) const;

    MainWindow& main_;
    SoundSystem& system_;
    const ErrorLog& log_;
    std::unique_ptr<SoundEnum> enum_;
    std::unique_ptr<SoundDevice> SoundDevice_;
    QString SoundPath;
    std::vector<Slot> Buffers;
    // Told apart from a table that CreateBuffers made with no slots.
    bool tableExists_ = false;
    int16_t NextSlot = 0;
};
