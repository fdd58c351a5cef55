#pragma once

#include "RemoteLibrary.h"

#include <QString>
#include <chrono>
#include <functional>
#include <memory>

// The remote-control library loaded from the program directory: libTSRemote.so (C linkage),
// or TSRemote.dll (32-bit, __stdcall) on Windows. Once loaded it stays loaded. While it cannot
// be loaded every call raises the same Failure, so the program runs on with empty lists, and
// it is looked for again at most every kRetryInterval, so that a client installed or started
// later is found without a restart. A function the library lacks fails only its own calls.
class LoadedRemoteLibrary : public RemoteLibrary {
public:
    using Clock = std::chrono::steady_clock;
    // Not on every call: a missing library would otherwise be searched for twenty times a
    // second.
    static constexpr std::chrono::seconds kRetryInterval{2};

    // now is the clock that paces the retries (tests pass one they move by hand).
    explicit LoadedRemoteLibrary(QString programDirectory,
                                 std::function<Clock::time_point()> now = Clock::now);
    ~LoadedRemoteLibrary() override;

    LoadedRemoteLibrary(const LoadedRemoteLibrary&) = delete;
    LoadedRemoteLibrary& operator=(const LoadedRemoteLibrary&) = delete;

    static QString fileName();

    int32_t tsrGetLastError(char* buffer, int32_t size) override;
    int32_t tsrGetVersion(uint8_t* record) override;
    int32_t tsrGetUserInfo(uint8_t* record) override;
    int32_t tsrGetServerInfo(uint8_t* record) override;
    int32_t tsrGetPlayers(uint8_t* records, int32_t* count) override;
    int32_t tsrGetSpeakers(int32_t* ids, int32_t* count) override;

private:
    struct Functions;
    // Loads the library when it is not loaded and a look is due.
    void load();
    // The function in slot, or the failure that calling it raises.
    template <typename Function> Function resolved(Function Functions::*slot, const char* name);

    QString path_;
    std::function<Clock::time_point()> now_;
    void* handle_ = nullptr;
    std::unique_ptr<Functions> functions_;
    bool looked_ = false;
    Clock::time_point lastLook_;
    QString notFound_;
};
