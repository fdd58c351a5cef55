#pragma once

#include "ClientQueryFace.h"
#include "ClientState.h"
#include "Scenario.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tsremote {

// Serves the client state on the socket while it runs the scenario or the typed commands.
// Everything happens on one thread: requests, scenario lines and typed lines take turns.
class SimServer {
public:
    SimServer() = default;
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Creates the socket (mode 0600), replacing a stale one. Empty on success, else why not.
    std::string listen(const std::string& path);
    // Also serves the state as a TeamSpeak 3 client's query interface on 127.0.0.1:port
    // (0: a free one), to peers that authenticate with apiKey. Empty on success, else why not.
    std::string listenClientQuery(uint16_t port, const std::string& apiKey);
    // The port the query interface listens on, once it does.
    uint16_t clientQueryPort() const { return clientQuery_ ? clientQuery_->port() : 0; }

    // Plays the scenario (from the start again after its last line when looping), or reads
    // commands from standard input when there is none. Returns when told to quit, on SIGTERM
    // or SIGINT, or at the end of input without a scenario.
    void run(const std::optional<Scenario>& scenario, bool loop);

private:
    using Clock = std::chrono::steady_clock;
    struct Connection {
        int fd = -1;
        Clock::time_point waitingSince; // for a request: since opened or last answered
        std::vector<uint8_t> in;
        std::vector<uint8_t> out;
        size_t sent = 0;
        bool answered = false;
        Clock::time_point due;
    };

    void acceptConnections();
    // False when the connection is done with (closed or failed).
    bool serviceConnection(Connection& connection, short events, Clock::time_point now);
    // False on quit or end of input.
    bool readStandardInput();
    // Runs a command and tells the query face's peers what it changed. False for quit.
    bool apply(const Command& command);
    void replaceState(ClientState state);
    void prompt() const;

    ClientState state_;
    std::unique_ptr<ClientQueryFace> clientQuery_;
    std::string path_;
    int listenFd_ = -1;
    dev_t socketDevice_ = 0;
    ino_t socketInode_ = 0;
    std::vector<Connection> connections_;
    std::string inputLine_;
    int inputLineNumber_ = 0;
    bool interactivePrompt_ = false;
};

} // namespace tsremote
