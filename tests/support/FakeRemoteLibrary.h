#pragma once

#include "teamspeak/RemoteLibrary.h"
#include "window/Failure.h"

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

    static void putPlayer(uint8_t* r, const Player& p) {
        records::writePlayer(
            r, {p.id, p.channel, p.nickname, p.channelPrivileges, p.playerPrivileges, p.flags});
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
        for (size_t i = 0; i < 4; ++i) {
            records::writeInt32(record + records::version::kNumbers + 4 * i, version[i]);
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
        namespace info = records::serverInfo;
        records::writeText(r, info::kName, server.name);
        records::writeText(r, info::kWelcome, server.welcome);
        for (size_t i = 0; i < 4; ++i) {
            records::writeInt32(r + info::kVersion + 4 * i, server.version[i]);
        }
        records::writeText(r, info::kPlatform, server.platform);
        records::writeText(r, info::kAddress, server.address);
        records::writeText(r, info::kHostName, server.hostName);
        records::writeInt32(r + info::kType, server.type);
        records::writeInt32(r + info::kMaximumUsers, server.maximumUsers);
        records::writeInt32(r + info::kCodecs, server.codecs);
        records::writeInt32(r + info::kChannels, server.channels);
        records::writeInt32(r + info::kPlayers, server.playerCount);
        return 0;
    }

    int32_t tsrGetPlayers(uint8_t* rows, int32_t* count) override {
        enter("tsrGetPlayers");
        if (duringGetPlayers) {
            duringGetPlayers();
        }
        if (playersResult != 0) {
            return playersResult;
        }
        const size_t n = std::min(players.size(), size_t(*count));
        for (size_t i = 0; i < n; ++i) {
            putPlayer(rows + records::player::kSize * i, players[i]);
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
            records::writeInt32(reinterpret_cast<uint8_t*>(ids + i), speakers[i]);
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
