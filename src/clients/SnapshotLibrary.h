#pragma once

#include "ClientSnapshot.h"
#include "teamspeak/RemoteLibrary.h"

#include <functional>

// The six operations answered from a client snapshot, at once, as the stand-in library answers
// them: while the client is not running every call gives -1000; while it runs but is not
// connected the version and an empty player list are there and the rest gives -1; connected,
// everything. The snapshot is read at each call, so a back-end may replace it between calls.
class SnapshotLibrary : public RemoteLibrary {
public:
    static constexpr int32_t kNotRunning = -1000;
    static constexpr int32_t kNotConnected = -1;

    explicit SnapshotLibrary(const ClientSnapshot& snapshot) : snapshot_(snapshot) {}

    // Called at each tsrGetSpeakers before it answers, so that a back-end can ask its client
    // for the next answer when someone reads them, and not otherwise.
    void onSpeakersRead(std::function<void()> read) { speakersRead_ = std::move(read); }

    int32_t tsrGetLastError(char* buffer, int32_t size) override;
    int32_t tsrGetVersion(uint8_t* record) override;
    int32_t tsrGetUserInfo(uint8_t* record) override;
    int32_t tsrGetServerInfo(uint8_t* record) override;
    int32_t tsrGetPlayers(uint8_t* records, int32_t* count) override;
    int32_t tsrGetSpeakers(int32_t* ids, int32_t* count) override;

private:
    // The failure code of a call that needs the client to run (and be connected): 0 when it
    // can be answered.
    int32_t unavailable(bool needsConnection);

    const ClientSnapshot& snapshot_;
    QByteArray lastError_;
    std::function<void()> speakersRead_;
};

// Copies text into an error-text buffer of size bytes, always ending with a zero byte.
int32_t copyErrorText(const QByteArray& text, char* buffer, int32_t size);
