#pragma once

#include "records/Records.h"

#include <QByteArray>
#include <array>
#include <cstdint>
#include <vector>

// What a voice client last told us, ready to be encoded as the remote-control library's
// records. Texts are held in the locale's 8-bit encoding, already cut to their fields' widths.
// A back-end replaces it whole, so its players and speakers always agree.
struct ClientSnapshot {
    using Version = std::array<int32_t, 4>; // major, minor, release, build

    struct Player {
        int32_t id = 0;
        int32_t channel = 0;
        QByteArray nickname;
        int32_t channelPrivileges = 0;
        int32_t playerPrivileges = 0;
        int32_t flags = 0;
    };

    struct Server {
        QByteArray name;
        QByteArray welcome;
        Version version{};
        QByteArray platform;
        QByteArray address; // host:port
        QByteArray hostName;
        int32_t maximumUsers = 0;
        int32_t channels = 0;
        int32_t players = 0;
    };

    bool running = false;
    bool connected = false;
    Server server;
    Player self;
    std::vector<Player> players;   // at most records::kCapacity, the local user among them
    std::vector<int32_t> speakers; // at most records::kCapacity
    Version clientVersion{};
    QByteArray lastError;
};
