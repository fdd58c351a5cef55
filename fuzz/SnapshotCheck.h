#pragma once

#include "FuzzSupport.h"
#include "clients/SnapshotLibrary.h"

#include <vector>

// What every client back-end's snapshot must hold, whatever the client sent, and the six
// operations asked of it as the program asks them.
namespace fuzz {

inline void checkSnapshot(const ClientSnapshot& s) {
    if (s.players.size() > size_t(records::kCapacity) ||
        s.speakers.size() > size_t(records::kCapacity)) {
        violated("more players or speakers than the library's capacity");
    }
    auto isPlayer = [&](int32_t id) {
        for (const auto& p : s.players) {
            if (p.id == id) {
                return true;
            }
        }
        return false;
    };
    for (const int32_t id : s.speakers) {
        if (!isPlayer(id)) {
            violated("a speaker who is not a player");
        }
    }
    for (const auto& p : s.players) {
        if (p.nickname.size() > 29) {
            violated("a nickname longer than its field");
        }
    }
    if (s.connected && (!s.running || !isPlayer(s.self.id))) {
        violated("connected but not running, or without the local user");
    }
}

inline void askSixOperations(const ClientSnapshot& s) {
    SnapshotLibrary library(s);
    std::vector<uint8_t> rows(records::kCapacity * records::player::kSize);
    std::vector<int32_t> ids(records::kCapacity);
    uint8_t record[records::serverInfo::kSize];
    int32_t count = records::kCapacity;
    library.tsrGetPlayers(rows.data(), &count);
    count = records::kCapacity;
    library.tsrGetSpeakers(ids.data(), &count);
    library.tsrGetServerInfo(record);
    library.tsrGetUserInfo(record);
    library.tsrGetVersion(record);
    char text[records::kErrorTextSize];
    library.tsrGetLastError(text, sizeof(text));
}

} // namespace fuzz
