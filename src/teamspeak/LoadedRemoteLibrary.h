#pragma once

#include "RemoteLibrary.h"

#include <QString>
#include <memory>

// The remote-control library loaded from the program directory at its first call and kept
// loaded: libTSRemote.so (C linkage), or TSRemote.dll (32-bit, __stdcall) on Windows.
// When it cannot be loaded, or lacks one of the six functions, every call raises the same
// Failure, so the program runs on with empty lists.
class LoadedRemoteLibrary : public RemoteLibrary {
public:
    explicit LoadedRemoteLibrary(QString programDirectory);
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
    const Functions& functions();

    QString path_;
    void* handle_ = nullptr;
    std::unique_ptr<Functions> functions_;
    bool tried_ = false;
    int32_t failureNumber_ = 0;
    QString failureDescription_;
};
