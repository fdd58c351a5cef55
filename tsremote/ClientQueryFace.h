#pragma once

#include "ClientState.h"
#include "QueryLine.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <poll.h>
#include <set>
#include <string>
#include <vector>

// The simulated client's second face: the line-based query interface of a TeamSpeak 3
// client, on TCP, showing the same state as the TeamSpeak 2 face. One server connection
// handler (schandlerid=1) holds the state's server connection.
namespace tsremote {

// The key auth must present when none is given.
inline constexpr const char* kDefaultApiKey = "SIMU-LATE-DCLI-ENTQ-UERY-APIK";
// A peer that sends more than this without ending its line is cut off.
inline constexpr size_t kMaxQueryLineBytes = 64 * 1024;

struct Notification {
    std::string event; // what a peer registers for, e.g. notifytalkstatuschange
    std::string line;  // without the line ending
};

// What a registered peer hears when the state goes from before to after, in this order:
// the connection's status; clients that left view (a talker's left-view is not preceded by
// a talk stop); clients that entered; clients that changed channel; nickname changes; talk
// stops; talk starts. On connecting, the clients already there enter view before
// connection_established and their talking is reported after it. On disconnecting only the
// status goes out, as the client itself drops everything on the server then.
std::vector<Notification> notificationsBetween(const ClientState& before, const ClientState& after);

// One peer's conversation, without the socket: the bytes it sent go in, the lines it gets
// come out.
class ClientQuerySession {
public:
    explicit ClientQuerySession(std::string apiKey);

    // The lines a peer is greeted with on connecting, line endings included.
    static std::string greeting();

    // The peer's bytes. False when it has overrun the line limit and must be cut off.
    bool receive(const char* data, size_t size);
    // The next command the peer sent, if a whole one has come.
    std::optional<std::string> nextLine() { return reader_.next(); }
    size_t buffered() const { return reader_.buffered(); }

    // The reply to one command line, ending with its error line, line endings included.
    std::string answer(const std::string& line, const ClientState& state);
    // Whether the peer asked to hear about event on the state's handler.
    bool wants(const std::string& event) const;
    // Whether the peer said quit: the connection ends once the reply has gone.
    bool quitting() const { return quitting_; }
    bool authenticated() const { return authenticated_; }

private:
    std::string apiKey_;
    query::LineReader reader_{kMaxQueryLineBytes};
    bool authenticated_ = false;
    bool quitting_ = false;
    std::set<std::string> events_;
};

// The TCP listener on 127.0.0.1 and its peers, served from the simulated client's poll loop.
class ClientQueryFace {
public:
    using Clock = std::chrono::steady_clock;

    explicit ClientQueryFace(std::string apiKey) : apiKey_(std::move(apiKey)) {}
    ~ClientQueryFace();
    ClientQueryFace(const ClientQueryFace&) = delete;
    ClientQueryFace& operator=(const ClientQueryFace&) = delete;

    // Listens on 127.0.0.1:port (0: a free port). Empty on success, else why not.
    std::string listen(uint16_t port);
    uint16_t port() const { return port_; }
    bool hasPeers() const { return !peers_.empty(); }

    // Adds the listener and the peers to the poll set, and lowers wake to the time a stalled
    // reply is due.
    void prepare(std::vector<pollfd>& fds, Clock::time_point now, Clock::time_point& wake);
    // Serves what poll reported; fds points at the entries prepare added.
    void service(const pollfd* fds, Clock::time_point now, const ClientState& state);
    // Tells the registered peers what changed.
    void stateChanged(const ClientState& before, const ClientState& after);

private:
    struct Peer {
        Peer(int fd, ClientQuerySession session) : fd(fd), session(std::move(session)) {}
        int fd = -1;
        ClientQuerySession session;
        std::string out;
        size_t sent = 0;
        std::optional<std::string> held; // a reply that a stall holds back
        Clock::time_point due;
        bool closing = false; // quit: close once out has gone
    };

    void acceptPeers();
    // False when the peer is done with.
    bool servicePeer(Peer& peer, short events, Clock::time_point now, const ClientState& state);
    static void queue(Peer& peer, const std::string& text);

    std::string apiKey_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::vector<Peer> peers_;
    size_t polledPeers_ = 0; // the peers prepare put in the poll set
};

} // namespace tsremote
