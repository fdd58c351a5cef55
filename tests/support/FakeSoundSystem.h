#pragma once

#include "sound/DX7Sound.h"
#include "sound/SoundSystem.h"
#include "window/Failure.h"

#include <QFileInfo>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// A sound system that plays nothing and records every call as a line of text:
//   "enum", "count", "description 1", "guid 1", "create {id}", "cooperative 2",
//   "load info.wav" (the file's name; fullPaths keeps the whole path), "load x.wav refused",
//   and per buffer "status 4", "play 4 once", "play 5 looping", "stop 5", "volume 6 -3000",
//   "pan 0 -10000". Buffers are named by their slot once attach() has been given the engine,
//   by their file name before that (or while not in the table).
// Failures are scripted per device identifier, entry number and file name. Buffers keep a
// simple state: a play makes them playing until stop() or finish(), so status reads as the
// engine expects.
class FakeSoundSystem : public SoundSystem {
public:
    struct Device {
        QString description;
        QString guid;
    };

    class Buffer : public SoundBuffer {
    public:
        Buffer(FakeSoundSystem& system, QString file) : system_(system), file_(std::move(file)) {
            ++system_.liveBuffers;
        }
        ~Buffer() override { --system_.liveBuffers; }

        int32_t GetStatus() override {
            record(QStringLiteral("status"));
            if (!playing) {
                return 0;
            }
            return dsound::kStatusPlaying | (looping ? dsound::kStatusLooping : 0);
        }
        void Play(int32_t flags) override {
            const bool loop = (flags & dsound::kPlayLooping) != 0;
            record(QStringLiteral("play"),
                   loop ? QStringLiteral("looping") : QStringLiteral("once"));
            playing = true;
            looping = loop;
        }
        void Stop() override {
            record(QStringLiteral("stop"));
            playing = false;
        }
        void SetVolume(int32_t value) override {
            record(QStringLiteral("volume"), QString::number(value));
            if (value < dsound::kVolumeMin || value > dsound::kVolumeMax) {
                throw Failure(dsound::kErrInvalidParam, QStringLiteral("Invalid volume"));
            }
            volume = value;
        }
        void SetPan(int32_t value) override {
            record(QStringLiteral("pan"), QString::number(value));
            if (value < dsound::kPanLeft || value > dsound::kPanRight) {
                throw Failure(dsound::kErrInvalidParam, QStringLiteral("Invalid pan"));
            }
            pan = value;
        }

        // A one-shot that has played to its end.
        void finish() { playing = false; }
        const QString& file() const { return file_; }

        bool playing = false;
        bool looping = false;
        int32_t volume = 0;
        int32_t pan = 0;

    private:
        void record(const QString& what, const QString& detail = {}) {
            QString line = what + QLatin1Char(' ') + system_.nameOf(this, file_);
            if (!detail.isEmpty()) {
                line += QLatin1Char(' ') + detail;
            }
            system_.calls.append(line);
        }

        FakeSoundSystem& system_;
        QString file_;
    };

    class OpenedDevice : public SoundDevice {
    public:
        OpenedDevice(FakeSoundSystem& system, QString guid)
            : system_(system), guid_(std::move(guid)) {}
        void SetCooperativeLevel(QWidget*, int32_t level) override {
            system_.calls.append(QStringLiteral("cooperative %1").arg(level));
            if (system_.failCooperativeLevel) {
                throw Failure(dsound::kErrInvalidParam, QStringLiteral("Level refused"));
            }
        }
        std::unique_ptr<SoundBuffer> CreateSoundBufferFromFile(const QString& path,
                                                               const BufferDescription& description,
                                                               const WaveFormat&) override {
            const QString name = QFileInfo(path).fileName();
            system_.fullPaths.append(path);
            system_.lastFlags = description.flags;
            // An empty name leaves the sound directory itself, which is no file.
            if (name.isEmpty() || system_.missingFiles.contains(name)) {
                system_.calls.append(QStringLiteral("load %1 refused").arg(name));
                throw Failure(dsound::kErrFileNotFound, QStringLiteral("File not found"));
            }
            system_.calls.append(QStringLiteral("load ") + name);
            return std::make_unique<Buffer>(system_, name);
        }
        const QString& guid() const { return guid_; }

    private:
        FakeSoundSystem& system_;
        QString guid_;
    };

    class Enum : public SoundEnum {
    public:
        explicit Enum(FakeSoundSystem& system) : system_(system) {}
        int32_t GetCount() override {
            system_.calls.append(QStringLiteral("count"));
            return static_cast<int32_t>(system_.devices.size());
        }
        QString GetDescription(int32_t index) override {
            system_.calls.append(QStringLiteral("description %1").arg(index));
            return at(index, system_.failDescription.contains(index)).description;
        }
        QString GetGuid(int32_t index) override {
            system_.calls.append(QStringLiteral("guid %1").arg(index));
            return at(index, false).guid;
        }

    private:
        const Device& at(int32_t index, bool fail) const {
            if (fail || index < 1 || index > static_cast<int32_t>(system_.devices.size())) {
                throw Failure(dsound::kErrInvalidParam, QStringLiteral("No such device"));
            }
            return system_.devices[static_cast<size_t>(index - 1)];
        }
        FakeSoundSystem& system_;
    };

    std::unique_ptr<SoundEnum> GetDSEnum() override {
        calls.append(QStringLiteral("enum"));
        if (failEnum) {
            throw Failure(dsound::kErrNoDriver, QStringLiteral("No driver"));
        }
        return std::make_unique<Enum>(*this);
    }

    std::unique_ptr<SoundDevice> DirectSoundCreate(const QString& guid) override {
        calls.append(QStringLiteral("create ") + guid);
        if (failCreate.contains(guid)) {
            throw Failure(dsound::kErrNoDriver, QStringLiteral("No driver"));
        }
        return std::make_unique<OpenedDevice>(*this, guid);
    }

    // Names buffers by the slot that holds them in this engine.
    void attach(const DX7Sound& engine) {
        slotOf = [&engine](const SoundBuffer* buffer) { return engine.slotOf(buffer); };
    }

    // The calls recorded so far; the record starts over.
    QStringList takeCalls() {
        QStringList out = calls;
        calls.clear();
        return out;
    }

    // The plays and stops recorded so far; the whole record starts over.
    QStringList takePlaysAndStops() {
        QStringList out;
        for (const QString& call : takeCalls()) {
            if (call.startsWith(QLatin1String("play ")) ||
                call.startsWith(QLatin1String("stop "))) {
                out << call;
            }
        }
        return out;
    }

    // The fake buffer held in a slot of the engine, or nullptr.
    static Buffer* bufferIn(const DX7Sound& engine, int slot) {
        return dynamic_cast<Buffer*>(engine.buffers().at(static_cast<size_t>(slot)).Buffer.get());
    }

    // Scripted behaviour.
    std::vector<Device> devices{
        {QStringLiteral("Primary Sound Driver"), QStringLiteral("{dev-1}")}};
    bool failEnum = false;
    QSet<int> failDescription;
    QSet<QString> failCreate;
    bool failCooperativeLevel = false;
    QSet<QString> missingFiles;

    // What was seen.
    QStringList calls;
    QStringList fullPaths;
    int32_t lastFlags = 0;
    int liveBuffers = 0;
    std::function<int(const SoundBuffer*)> slotOf;

private:
    QString nameOf(const SoundBuffer* buffer, const QString& file) const {
        const int slot = slotOf ? slotOf(buffer) : -1;
        return slot >= 0 ? QString::number(slot) : file;
    }
};
