#pragma once

#include "app/Failure.h"
#include "teamspeak/RemoteLibrary.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// An in-process remote-control library: the client's state as plain fields, written into the
// caller's buffers byte for byte in the library's packed layouts.
class FakeRemoteLibrary : public RemoteLibrary {
public:
    struct Player {
        int32_t id = 0;
        int32_t channel = 1;
        std::string nickname; // bytes; 30 bytes fill the field without a zero byte
        int32_t channelPrivileges = 0;
        int32_t playerPrivileges = 0;
        int32_t flags = 0;
    };
    struct Server {
        std::string name = "Test Server";
        std::string welcome = "Welcome";
        int32_t version[4] = {2, 0, 20, 1};
        std::string platform = "Linux";
        std::string address = "127.0.0.1:8767";
        std::string hostName = "127.0.0.1";
        int32_t type = 6;
        int32_t maximumUsers = 32;
        int32_t codecs = 33;
        int32_t channels = 1;
        int32_t playerCount = 0;
    };

    // The client's state.
    std::vector<Player> players;
    std::vector<int32_t> speakers;
    Player self{1, 1, "Observer"};
    Server server;
    int32_t version[4] = {2, 0, 32, 60};
    std::string lastError = "fake error";

    // Result codes: speakers 0 connected, -1 not connected, -1000 not running.
    int32_t playersResult = 0;
    int32_t speakersResult = 0;
    int32_t userInfoResult = 0;
    bool serverInfoFails = false; // leaves the record zeroed
    // Counts to report instead of the real ones (to return nonsense).
    std::optional<int32_t> playersCount;
    std::optional<int32_t> speakersCount;
    // Every call raises this, as a library that cannot be loaded does.
    std::optional<Failure> unusable;
    // Calls, by name, that raise a failure.
    std::map<std::string, Failure> raises;
    // Runs inside tsrGetPlayers, before the records are filled.
    std::function<void()> duringGetPlayers;

    // The calls made, by name, in order (benchmarks switch this off).
    std::vector<std::string> calls;
    bool recordCalls = true;

    int count(const std::string& name) const {
        return int(std::count(calls.begin(), calls.end(), name));
    }

    static void putInt(uint8_t* at, int32_t value) {
        const uint32_t v = uint32_t(value);
        for (int i = 0; i < 4; ++i) {
            at[i] = uint8_t(v >> (8 * i));
        }
    }
    static void putText(uint8_t* at, size_t width, const std::string& text) {
        std::memcpy(at, text.data(), std::min(width, text.size()));
    }
    static void putPlayer(uint8_t* r, const Player& p) {
        putInt(r, p.id);
        putInt(r + 4, p.channel);
        putText(r + 8, 30, p.nickname);
        putInt(r + 38, p.channelPrivileges);
        putInt(r + 42, p.playerPrivileges);
        putInt(r + 46, p.flags);
    }

    int32_t tsrGetLastError(char* buffer, int32_t size) override {
        enter("tsrGetLastError");
        const size_t n = std::min(lastError.size(), size_t(size) - 1);
        std::memcpy(buffer, lastError.data(), n);
        buffer[n] = 0;
        return 0;
    }

    int32_t tsrGetVersion(uint8_t* record) override {
        enter("tsrGetVersion");
        for (int i = 0; i < 4; ++i) {
            putInt(record + 4 * i, version[i]);
        }
        return 0;
    }

    int32_t tsrGetUserInfo(uint8_t* record) override {
        enter("tsrGetUserInfo");
        if (userInfoResult != 0) {
            return userInfoResult;
        }
        putPlayer(record, self);
        return 0;
    }

    int32_t tsrGetServerInfo(uint8_t* r) override {
        enter("tsrGetServerInfo");
        if (serverInfoFails) {
            return -1;
        }
        putText(r, 30, server.name);
        putText(r + 30, 256, server.welcome);
        for (int i = 0; i < 4; ++i) {
            putInt(r + 286 + 4 * i, server.version[i]);
        }
        putText(r + 302, 30, server.platform);
        putText(r + 332, 30, server.address);
        putText(r + 362, 100, server.hostName);
        putInt(r + 462, server.type);
        putInt(r + 466, server.maximumUsers);
        putInt(r + 470, server.codecs);
        putInt(r + 474, server.channels);
        putInt(r + 478, server.playerCount);
        return 0;
    }

    int32_t tsrGetPlayers(uint8_t* records, int32_t* count) override {
        enter("tsrGetPlayers");
        if (duringGetPlayers) {
            duringGetPlayers();
        }
        if (playersResult != 0) {
            return playersResult;
        }
        const size_t n = std::min(players.size(), size_t(*count));
        for (size_t i = 0; i < n; ++i) {
            putPlayer(records + 50 * i, players[i]);
        }
        *count = playersCount.value_or(int32_t(n));
        return 0;
    }

    int32_t tsrGetSpeakers(int32_t* ids, int32_t* count) override {
        enter("tsrGetSpeakers");
        if (speakersResult != 0) {
            return speakersResult;
        }
        const size_t n = std::min(speakers.size(), size_t(*count));
        for (size_t i = 0; i < n; ++i) {
            putInt(reinterpret_cast<uint8_t*>(ids + i), speakers[i]);
        }
        *count = speakersCount.value_or(int32_t(n));
        return 0;
    }

private:
    void enter(const char* name) {
        if (recordCalls) {
            calls.emplace_back(name);
        }
        if (unusable) {
            throw *unusable;
        }
        if (const auto raised = raises.find(name); raised != raises.end()) {
            throw raised->second;
        }
    }
};
