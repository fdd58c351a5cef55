#pragma once

#include "ClientBackend.h"
#include "teamspeak/RemoteLibrary.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <vector>

// The remote-control library that the program sees: the six operations of whichever client
// back-end is in use. Looks for a running client in the back-ends' order, preferring a
// connected one: while the client in use is not connected it keeps looking and moves to a
// connected one. The back-ends start at the first call, never before.
//
// Whenever the client in use, or the server tab it follows, changes, the next tsrGetSpeakers
// answers -1000 (the old client is gone) or -1 (another tab: running, not connected) once
// before the new state, so that the status line changes and the local nickname is detected
// again. While no client is found every call fails as the library does when no client
// listens (-1000), with a last-error text that names what was looked for.
class ClientChooser : public RemoteLibrary {
public:
    static constexpr int32_t kNotRunning = -1000;
    static constexpr int32_t kNotConnected = -1;
    // How often a back-end not in use is looked at.
    static constexpr int kLookIntervalMs = 2000;

    // trace receives "CLIENT " entries' texts (without the prefix).
    ClientChooser(std::vector<std::unique_ptr<ClientBackend>> backends,
                  std::function<void(const QString&)> trace);
    ~ClientChooser() override;

    int32_t tsrGetLastError(char* buffer, int32_t size) override;
    int32_t tsrGetVersion(uint8_t* record) override;
    int32_t tsrGetUserInfo(uint8_t* record) override;
    int32_t tsrGetServerInfo(uint8_t* record) override;
    int32_t tsrGetPlayers(uint8_t* records, int32_t* count) override;
    int32_t tsrGetSpeakers(int32_t* ids, int32_t* count) override;

    // The back-end in use; nullptr while none is found.
    ClientBackend* current() const { return current_; }

private:
    struct Candidate {
        ClientBackend* backend;
        QElapsedTimer lastLook;
    };

    void startOnce();
    // A back-end's tsrGetSpeakers; -1000 for a library that cannot be used.
    static int32_t ask(ClientBackend& backend, int32_t* ids, int32_t* count);
    // A call that needs the client in use: its library, or the not-found failure.
    template <typename Call> int32_t forward(Call call);
    int32_t failed(int32_t code, QByteArray text);
    void use(ClientBackend* backend);

    std::vector<std::unique_ptr<ClientBackend>> backends_;
    std::vector<Candidate> candidates_;
    std::function<void(const QString&)> trace_;
    bool started_ = false;
    ClientBackend* current_ = nullptr;
    uint64_t currentTab_ = 0;
    // The last failure was the chooser's own, not the back-end's.
    bool ownError_ = true;
    QByteArray lastError_;
    QByteArray notFoundText_;
    std::vector<int32_t> scratch_;
};
