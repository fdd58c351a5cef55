#include "ClientQueryFace.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tsremote {
namespace {

using query::kLineEnd;
using query::pair;

constexpr int kHandler = 1;
constexpr size_t kMaxPeers = 256;
// Past this much unsent, a peer's further commands wait; past the limit it is dropped, as a
// peer that never reads would otherwise hold ever more notifications.
constexpr size_t kPauseUnsentBytes = 4 << 20;
constexpr size_t kMaxUnsentBytes = 64 << 20;
// A peer's commands waiting behind a stalled reply: past this, it is not read from.
constexpr size_t kMaxBufferedBytes = 1 << 20;
constexpr const char* kServerVersion = "3.13.7 [Build: 1655727713]";
constexpr int kMaxClients = 1024;

// The error ids and texts the client answers with.
struct Error {
    int id;
    const char* message;
};
constexpr Error kOk{0, "ok"};
constexpr Error kCommandNotFound{256, "command not found"};
constexpr Error kInvalidClientId{512, "invalid clientID"};
constexpr Error kInvalidParameter{1538, "invalid parameter"};
constexpr Error kMissingParameter{1542, "missing required parameter"};
constexpr Error kNotConnectedError{1794, "not connected"};
constexpr Error kNotPossible{1796, "currently not possible"};
constexpr Error kInvalidHandler{1799, "invalid server connection handler ID"};

const char* const kCommands[] = {
    "auth",
    "clientlist",
    "clientnotifyregister",
    "clientnotifyunregister",
    "clientvariable",
    "currentschandlerid",
    "help",
    "quit",
    "serverconnectinfo",
    "servervariable",
    "use",
    "whoami",
};

// The events a peer may register for; the simulated client sends the first six.
const char* const kEvents[] = {
    "notifytalkstatuschange",    "notifycliententerview",  "notifyclientleftview",
    "notifyclientmoved",         "notifyclientupdated",    "notifyconnectstatuschange",
    "notifytextmessage",         "notifyclientpoke",       "notifychannelcreated",
    "notifychanneldeleted",      "notifychanneledited",    "notifychannelmoved",
    "notifyserveredited",        "notifyserverupdated",    "notifycurrentserverconnectionchanged",
    "notifyclientchatcomposing", "notifyclientchatclosed", "channellist",
    "channellistfinished",       "notifymessage",          "notifymessagelist",
    "notifyclientids",           "notifyconnectioninfo",   "notifychannelsubscribed",
    "notifychannelunsubscribed",
};

bool listed(const std::string& name, const char* const* begin, const char* const* end) {
    return std::any_of(begin, end, [&](const char* n) { return name == n; });
}

std::string line(const std::string& text) {
    return text + std::string(kLineEnd);
}

std::string reply(const Error& e) {
    return line(query::errorLine(e.id, e.message));
}

std::string handlerPair() {
    return pair("schandlerid", kHandler);
}

std::string clientVersion(const ClientState& state) {
    const int32_t* v = state.version();
    return std::to_string(v[0]) + '.' + std::to_string(v[1]) + '.' + std::to_string(v[2]) +
           " [Build: " + std::to_string(v[3]) + ']';
}

std::string uniqueId(int32_t id) {
    return "simulated" + std::to_string(id) + "AAAAAAAAAAA=";
}

// What the query face sees of the state.
struct View {
    bool connected = false;
    std::vector<int32_t> order; // as the client lists them, itself first
    std::map<int32_t, ClientState::Player> clients;
    std::vector<int32_t> talking; // in the order they started
};

View viewOf(const ClientState& state) {
    View v;
    v.connected = state.connected();
    for (const ClientState::Player& p : state.allPlayers()) {
        if (v.clients.emplace(p.id, p).second) {
            v.order.push_back(p.id);
        }
    }
    // Only those the client sees can be heard.
    for (const int32_t id : state.speakers()) {
        if (v.clients.count(id)) {
            v.talking.push_back(id);
        }
    }
    return v;
}

bool isTalking(const View& v, int32_t id) {
    return std::find(v.talking.begin(), v.talking.end(), id) != v.talking.end();
}

std::string voiceFields(bool talking) {
    return pair("client_flag_talking", talking ? 1 : 0) +
           " client_input_muted=0 client_output_muted=0 client_outputonly_muted=0"
           " client_input_hardware=1 client_output_hardware=1 client_talk_power=0"
           " client_is_talker=0 client_is_priority_speaker=0 client_is_recording=0"
           " client_is_channel_commander=0";
}

std::string enterView(const ClientState::Player& p) {
    return "notifycliententerview " + handlerPair() + " cfid=0 " + pair("ctid", p.channel) +
           " reasonid=0 " + pair("clid", p.id) + ' ' +
           pair("client_unique_identifier", uniqueId(p.id)) + ' ' +
           pair("client_nickname", p.nickname) +
           " client_input_muted=0 client_output_muted=0 client_outputonly_muted=0"
           " client_input_hardware=1 client_output_hardware=1 client_meta_data"
           " client_is_recording=0 " +
           pair("client_database_id", p.id) +
           " client_channel_group_id=8 client_servergroups=8 client_away=0"
           " client_away_message client_type=0 client_talk_power=0 client_is_talker=0"
           " client_is_priority_speaker=0 client_is_channel_commander=0 client_country";
}

} // namespace

std::vector<Notification> notificationsBetween(const ClientState& before,
                                               const ClientState& after) {
    std::vector<Notification> out;
    if (!before.connected() && !after.connected()) {
        return out;
    }
    const View b = viewOf(before);
    const View a = viewOf(after);
    const auto add = [&](const char* event, const std::string& rest) {
        out.push_back({event, std::string(event) + ' ' + handlerPair() + ' ' + rest});
    };
    const auto status = [&](const char* s) {
        add("notifyconnectstatuschange", std::string("status=") + s + " error=0");
    };
    const auto talk = [&](int32_t id, bool on) {
        add("notifytalkstatuschange",
            pair("status", on ? 1 : 0) + " isreceivedwhisper=0 " + pair("clid", id));
    };
    const auto enter = [&](const ClientState::Player& p) {
        out.push_back({"notifycliententerview", enterView(p)});
    };

    if (!b.connected) {
        status("connecting");
        status("connected");
        status("connection_establishing");
        for (const int32_t id : a.order) {
            if (id != after.self().id) { // the client does not see itself enter
                enter(a.clients.at(id));
            }
        }
        status("connection_established");
        for (const int32_t id : a.talking) {
            talk(id, true);
        }
        return out;
    }
    if (!a.connected) {
        status("disconnected");
        return out;
    }

    for (const int32_t id : b.order) {
        if (!a.clients.count(id)) {
            add("notifyclientleftview", pair("cfid", b.clients.at(id).channel) +
                                            " ctid=0 reasonid=8 reasonmsg=leaving " +
                                            pair("clid", id));
        }
    }
    for (const int32_t id : a.order) {
        if (!b.clients.count(id)) {
            enter(a.clients.at(id));
        }
    }
    for (const int32_t id : a.order) {
        const auto was = b.clients.find(id);
        if (was != b.clients.end() && was->second.channel != a.clients.at(id).channel) {
            add("notifyclientmoved",
                pair("ctid", a.clients.at(id).channel) + " reasonid=0 " + pair("clid", id));
        }
    }
    for (const int32_t id : a.order) {
        const auto was = b.clients.find(id);
        if (was != b.clients.end() && was->second.nickname != a.clients.at(id).nickname) {
            add("notifyclientupdated",
                pair("clid", id) + ' ' + pair("client_nickname", a.clients.at(id).nickname));
        }
    }
    for (const int32_t id : b.talking) {
        if (a.clients.count(id) && !isTalking(a, id)) {
            talk(id, false);
        }
    }
    for (const int32_t id : a.talking) {
        if (!isTalking(b, id)) {
            talk(id, true);
        }
    }
    return out;
}

ClientQuerySession::ClientQuerySession(std::string apiKey) : apiKey_(std::move(apiKey)) {}

std::string ClientQuerySession::greeting() {
    return line("TS3 Client") +
           line("Welcome to the TeamSpeak 3 ClientQuery interface of the simulated client, "
                "type \"help\" for a list of commands and \"help <command>\" for information "
                "on a specific command.") +
           line("Use the \"auth\" command to authenticate yourself. The API key is the one "
                "given with --apikey.") +
           line("selected " + handlerPair());
}

bool ClientQuerySession::receive(const char* data, size_t size) {
    reader_.append(data, size);
    return !reader_.overlong();
}

bool ClientQuerySession::wants(const std::string& event) const {
    return authenticated_ && (events_.count("any") || events_.count(event));
}

std::string ClientQuerySession::answer(const std::string& text, const ClientState& state) {
    const query::Request r = query::parseRequest(text);
    if (r.name.empty()) {
        return {};
    }
    if (!listed(r.name, std::begin(kCommands), std::end(kCommands))) {
        return reply(kCommandNotFound);
    }
    if (r.name == "quit") {
        quitting_ = true;
        return reply(kOk);
    }
    if (r.name == "help") {
        std::string out = line("The simulated client answers these commands:");
        for (const char* c : kCommands) {
            out += line(std::string("  ") + c);
        }
        return out + reply(kOk);
    }
    if (r.name == "auth") {
        const std::optional<std::string> key = r.value("apikey");
        if (!key) {
            return reply(kMissingParameter);
        }
        if (*key != apiKey_) {
            return reply(kInvalidParameter);
        }
        authenticated_ = true;
        return reply(kOk);
    }
    if (!authenticated_) {
        return reply(kNotPossible);
    }

    // Commands about the handler itself work without a server connection.
    const std::optional<std::string> handler = r.value("schandlerid");
    if (r.name == "currentschandlerid") {
        return line(handlerPair()) + reply(kOk);
    }
    if (r.name == "use") {
        if (handler && *handler != std::to_string(kHandler)) {
            return reply(kInvalidHandler);
        }
        return line("selected " + handlerPair()) + reply(kOk);
    }
    if (r.name == "clientnotifyregister") {
        const std::optional<std::string> event = r.value("event");
        if (!handler || !event) {
            return reply(kMissingParameter);
        }
        if (*handler != "0" && *handler != std::to_string(kHandler)) {
            return reply(kInvalidHandler);
        }
        if (*event != "any" && !listed(*event, std::begin(kEvents), std::end(kEvents))) {
            return reply(kInvalidParameter);
        }
        events_.insert(*event);
        return reply(kOk);
    }
    if (r.name == "clientnotifyunregister") {
        events_.clear();
        return reply(kOk);
    }

    if (!state.connected()) {
        return reply(kNotConnectedError);
    }
    const View v = viewOf(state);
    if (r.name == "whoami") {
        return line(pair("clid", state.self().id) + ' ' + pair("cid", state.self().channel)) +
               reply(kOk);
    }
    if (r.name == "clientlist") {
        std::string items;
        for (const int32_t id : v.order) {
            const ClientState::Player& p = v.clients.at(id);
            if (!items.empty()) {
                items += '|';
            }
            items += pair("clid", p.id) + ' ' + pair("cid", p.channel) + ' ' +
                     pair("client_database_id", p.id) + ' ' + pair("client_nickname", p.nickname) +
                     " client_type=0";
            if (r.hasOption("uid")) {
                items += ' ' + pair("client_unique_identifier", uniqueId(p.id));
            }
            if (r.hasOption("away")) {
                items += " client_away=0 client_away_message";
            }
            if (r.hasOption("voice")) {
                items += ' ' + voiceFields(isTalking(v, p.id));
            }
            if (r.hasOption("groups")) {
                items += " client_servergroups=8 client_channel_group_id=8 " +
                         pair("client_channel_group_inherited_channel_id", p.channel);
            }
            if (r.hasOption("info")) {
                items +=
                    ' ' + pair("client_version", clientVersion(state)) + " client_platform=Linux";
            }
            if (r.hasOption("icon")) {
                items += " client_icon_id=0";
            }
            if (r.hasOption("country")) {
                items += " client_country";
            }
        }
        return line(items) + reply(kOk);
    }
    if (r.name == "servervariable") {
        const std::vector<std::string> names = r.bareWords();
        if (names.empty()) {
            return reply(kMissingParameter);
        }
        std::set<int32_t> channels;
        for (const auto& [id, p] : v.clients) {
            channels.insert(p.channel);
        }
        std::string out;
        for (const std::string& name : names) {
            std::string field;
            if (name == "virtualserver_name") {
                field = pair(name, state.serverName());
            } else if (name == "virtualserver_welcomemessage") {
                field = pair(name, state.welcome());
            } else if (name == "virtualserver_platform") {
                field = pair(name, state.platform());
            } else if (name == "virtualserver_version") {
                field = pair(name, kServerVersion);
            } else if (name == "virtualserver_maxclients") {
                field = pair(name, kMaxClients);
            } else if (name == "virtualserver_clientsonline") {
                field = pair(name, static_cast<long long>(v.clients.size()));
            } else if (name == "virtualserver_channelsonline") {
                field = pair(name, static_cast<long long>(channels.size()));
            } else {
                return reply(kInvalidParameter);
            }
            out += (out.empty() ? "" : " ") + field;
        }
        return line(out) + reply(kOk);
    }
    if (r.name == "serverconnectinfo") {
        const std::string& address = state.address();
        const size_t colon = address.rfind(':');
        const std::string host = address.substr(0, colon);
        const std::string port = colon == std::string::npos ? "9987" : address.substr(colon + 1);
        return line(pair("ip", host) + ' ' + pair("port", port) + " password") + reply(kOk);
    }
    if (r.name == "clientvariable") {
        const std::vector<std::string> ids = r.values("clid");
        const std::vector<std::string> names = r.bareWords();
        if (ids.empty()) {
            return reply(kMissingParameter);
        }
        std::string items;
        for (const std::string& idText : ids) {
            const auto found = std::find_if(v.clients.begin(), v.clients.end(), [&](const auto& c) {
                return std::to_string(c.first) == idText;
            });
            if (found == v.clients.end()) {
                return reply(kInvalidClientId);
            }
            const ClientState::Player& p = found->second;
            std::string item = pair("clid", p.id);
            for (const std::string& name : names) {
                if (name == "client_version") {
                    item += ' ' + pair(name, clientVersion(state));
                } else if (name == "client_platform") {
                    item += ' ' + pair(name, "Linux");
                } else if (name == "client_nickname") {
                    item += ' ' + pair(name, p.nickname);
                } else if (name == "client_type") {
                    item += ' ' + pair(name, 0);
                } else if (name == "client_database_id") {
                    item += ' ' + pair(name, p.id);
                } else if (name == "client_unique_identifier") {
                    item += ' ' + pair(name, uniqueId(p.id));
                } else if (name == "client_flag_talking") {
                    item += ' ' + pair(name, isTalking(v, p.id) ? 1 : 0);
                } else if (name == "client_input_muted" || name == "client_output_muted" ||
                           name == "client_away") {
                    item += ' ' + pair(name, 0);
                } else {
                    return reply(kInvalidParameter);
                }
            }
            items += (items.empty() ? "" : "|") + item;
        }
        return line(items) + reply(kOk);
    }
    return reply(kCommandNotFound); // listed but not served: cannot happen
}

ClientQueryFace::~ClientQueryFace() {
    for (const Peer& p : peers_) {
        close(p.fd);
    }
    if (listenFd_ >= 0) {
        close(listenFd_);
    }
}

std::string ClientQueryFace::listen(uint16_t port) {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        return std::string("socket: ") + std::strerror(errno);
    }
    const int on = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // never reachable from elsewhere
    const std::string where = "127.0.0.1:" + std::to_string(port);
    if (bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listenFd_, 64) != 0) {
        const std::string why = where + ": " + std::strerror(errno);
        close(listenFd_);
        listenFd_ = -1;
        return why;
    }
    socklen_t length = sizeof(address);
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    return {};
}

void ClientQueryFace::queue(Peer& peer, const std::string& text) {
    peer.out += text;
}

void ClientQueryFace::acceptPeers() {
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        if (peers_.size() >= kMaxPeers) {
            close(fd);
            continue;
        }
        Peer peer{fd, ClientQuerySession(apiKey_)};
        peer.out = ClientQuerySession::greeting();
        peers_.push_back(std::move(peer));
    }
}

void ClientQueryFace::prepare(std::vector<pollfd>& fds, Clock::time_point now,
                              Clock::time_point& wake) {
    fds.push_back({listenFd_, POLLIN, 0});
    for (const Peer& p : peers_) {
        short events = 0;
        if (!p.closing && p.session.buffered() < kMaxBufferedBytes) {
            events |= POLLIN;
        }
        if (p.sent < p.out.size()) {
            events |= POLLOUT;
        }
        if (p.held) {
            wake = std::min(wake, std::max(p.due, now));
        }
        fds.push_back({p.fd, events, 0});
    }
    polledPeers_ = peers_.size();
}

bool ClientQueryFace::servicePeer(Peer& p, short events, Clock::time_point now,
                                  const ClientState& state) {
    if (events & (POLLIN | POLLHUP | POLLERR)) {
        if (p.closing) {
            return false; // gone before the last reply was read
        }
        char buffer[16384];
        const ssize_t n = recv(p.fd, buffer, sizeof(buffer), 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            return false;
        }
        if (n > 0 && !p.session.receive(buffer, size_t(n))) {
            return false;
        }
    }
    for (;;) {
        if (p.held) {
            if (now < p.due) {
                break;
            }
            queue(p, *p.held);
            p.held.reset();
        }
        if (p.closing || p.out.size() - p.sent > kPauseUnsentBytes) {
            break;
        }
        const std::optional<std::string> command = p.session.nextLine();
        if (!command) {
            break;
        }
        std::string answer = p.session.answer(*command, state);
        p.closing = p.session.quitting();
        if (state.stallMs() > 0 && !answer.empty()) {
            p.held = std::move(answer);
            p.due = now + std::chrono::milliseconds(state.stallMs());
        } else {
            queue(p, answer);
        }
    }
    while (p.sent < p.out.size()) {
        const ssize_t n = send(p.fd, p.out.data() + p.sent, p.out.size() - p.sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                break;
            }
            return false;
        }
        p.sent += size_t(n);
    }
    if (p.sent == p.out.size()) {
        p.out.clear();
        p.sent = 0;
    }
    if (p.closing && !p.held && p.out.empty()) {
        return false;
    }
    return p.out.size() - p.sent <= kMaxUnsentBytes;
}

void ClientQueryFace::service(const pollfd* fds, Clock::time_point now, const ClientState& state) {
    std::vector<Peer> kept;
    kept.reserve(peers_.size());
    for (size_t i = 0; i < peers_.size(); ++i) {
        const short events = i < polledPeers_ ? fds[1 + i].revents : 0;
        if (servicePeer(peers_[i], events, now, state)) {
            kept.push_back(std::move(peers_[i]));
        } else {
            close(peers_[i].fd);
        }
    }
    peers_ = std::move(kept);
    if (fds[0].revents & POLLIN) {
        acceptPeers();
    }
}

void ClientQueryFace::stateChanged(const ClientState& before, const ClientState& after) {
    if (peers_.empty()) {
        return;
    }
    const std::vector<Notification> notifications = notificationsBetween(before, after);
    for (Peer& p : peers_) {
        for (const Notification& n : notifications) {
            if (p.session.wants(n.event)) {
                queue(p, line(n.line));
            }
        }
    }
}

} // namespace tsremote
