#pragma once

#include "Command.h"
#include "Protocol.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tsremote {

// What the simulated client knows: connection, server, local user, players and speakers,
// and the failures it has been told to give. Answers each request from that state.
class ClientState {
public:
    struct Player {
        int32_t id = 0;
        int32_t channel = 1;
        std::string nickname;
        int32_t channelPrivileges = 0;
        int32_t playerPrivileges = 0;
        int32_t flags = 0;
    };

    ClientState();

    // Runs a command; false for quit.
    bool apply(const Command& command);
    // The reply to one request: header, records, error text.
    std::vector<uint8_t> answer(const Request& request) const;
    // The same, written over out, whose room is kept: a full server's players are fifty
    // kilobytes, asked for twenty times a second.
    void answer(const Request& request, std::vector<uint8_t>& out) const;

    int stallMs() const { return stallMs_; }
    bool connected() const { return connected_; }
    size_t playerCount() const { return players_.size() + (connected_ ? 1 : 0); }
    const std::vector<int32_t>& speakers() const { return speakers_; }

    // For the query face, which shows the same state in its own words.
    // The players a connected client sees, itself first; none when not connected.
    std::vector<Player> allPlayers() const;
    const Player& self() const { return self_; }
    const std::string& address() const { return address_; }
    const std::string& serverName() const { return serverName_; }
    const std::string& platform() const { return platform_; }
    const std::string& welcome() const { return welcome_; }
    const int32_t* version() const { return version_; } // major, minor, release, build

private:
    struct Failing {
        int32_t code;
        std::string text;
    };

    void removeSpeaker(int32_t id);

    bool connected_ = false;
    std::string address_;
    std::string serverName_;
    std::string platform_ = "Linux";
    std::string welcome_ = "Welcome to the simulated server";
    Player self_;
    std::vector<Player> players_; // the others, in the order they joined
    std::vector<int32_t> speakers_;
    int32_t version_[4] = {2, 0, 32, 60};
    std::map<std::string, Failing> failing_;
    int stallMs_ = 0;
    int32_t nextCrowdId_ = 1000;
    int nextCrowdNumber_ = 1;
};

} // namespace tsremote
