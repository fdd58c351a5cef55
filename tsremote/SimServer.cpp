#include "SimServer.h"

#include "SocketPath.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tsremote {
namespace {

// A connection that sends no request for this long is dropped.
constexpr auto kIdleLimit = std::chrono::seconds(5);

int wakePipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(wakePipe[1], &byte, 1);
}

void installSignalHandlers() {
    if (wakePipe[0] < 0 && pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("ts2-client-sim: pipe");
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // a caller that gave up must not end the client
}

bool sameSocket(const std::string& path, dev_t device, ino_t inode) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && info.st_dev == device && info.st_ino == inode;
}

} // namespace

SimServer::~SimServer() {
    for (Connection& c : connections_) {
        close(c.fd);
    }
    if (listenFd_ >= 0) {
        close(listenFd_);
        // Only our own socket: another client may have taken the path since.
        if (sameSocket(path_, socketDevice_, socketInode_)) {
            unlink(path_.c_str());
        }
    }
}

std::string SimServer::listen(const std::string& path) {
    const std::string directoryProblem = preparePrivateDirectory(path);
    if (!directoryProblem.empty()) {
        return directoryProblem;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        return path + ": path too long for a socket";
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            return path + ": exists and is not a socket";
        }
        const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool alive =
            connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
        close(probe);
        if (alive) {
            return path + ": another simulated client is running there";
        }
        unlink(path.c_str()); // left behind by a client that died
    }

    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        return std::string("socket: ") + std::strerror(errno);
    }
    // The socket is born 0600: no moment in which others could connect.
    const mode_t previous = umask(0177);
    const int bound = bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    const int bindError = errno;
    umask(previous);
    if (bound != 0) {
        close(listenFd_);
        listenFd_ = -1;
        return path + ": " + std::strerror(bindError);
    }
    struct stat info {};
    lstat(path.c_str(), &info);
    socketDevice_ = info.st_dev;
    socketInode_ = info.st_ino;
    path_ = path;
    if (::listen(listenFd_, 64) != 0) {
        return path + ": " + std::strerror(errno);
    }
    return {};
}

std::string SimServer::listenClientQuery(uint16_t port, const std::string& apiKey) {
    auto face = std::make_unique<ClientQueryFace>(apiKey);
    std::string problem = face->listen(port);
    if (problem.empty()) {
        clientQuery_ = std::move(face);
    }
    return problem;
}

bool SimServer::apply(const Command& command) {
    if (!clientQuery_ || !clientQuery_->hasPeers()) {
        return state_.apply(command);
    }
    const ClientState before = state_;
    const bool running = state_.apply(command);
    clientQuery_->stateChanged(before, state_);
    return running;
}

void SimServer::replaceState(ClientState state) {
    std::swap(state, state_);
    if (clientQuery_) {
        clientQuery_->stateChanged(state, state_);
    }
}

void SimServer::acceptConnections() {
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        Connection c;
        c.fd = fd;
        c.waitingSince = Clock::now();
        connections_.push_back(std::move(c));
    }
}

bool SimServer::serviceConnection(Connection& c, short events, Clock::time_point now) {
    if (!c.answered) {
        if (events & (POLLIN | POLLHUP | POLLERR)) {
            uint8_t buffer[64];
            const ssize_t n = recv(c.fd, buffer, sizeof(buffer), 0);
            if (n <= 0 && !(n < 0 && (errno == EAGAIN || errno == EINTR))) {
                return false;
            }
            if (n > 0) {
                c.in.insert(c.in.end(), buffer, buffer + n);
            }
        }
        if (c.in.size() >= sizeof(Request)) {
            Request request{};
            std::memcpy(&request, c.in.data(), sizeof(request));
            if (request.magic != kRequestMagic) {
                return false;
            }
            state_.answer(request, c.out);
            c.answered = true;
            c.due = now + std::chrono::milliseconds(state_.stallMs());
        } else if (now - c.waitingSince > kIdleLimit) {
            return false;
        }
    }
    if (c.answered && (events & (POLLHUP | POLLERR)) && c.sent < c.out.size() && now < c.due) {
        return false; // the caller gave up waiting
    }
    if (c.answered && now >= c.due) {
        while (c.sent < c.out.size()) {
            const ssize_t n =
                send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
            if (n < 0) {
                // Full: wait for room. Anything else: the caller has gone.
                return errno == EAGAIN || errno == EINTR;
            }
            c.sent += size_t(n);
        }
        // All sent: the connection waits for the caller's next request.
        c.in.erase(c.in.begin(), c.in.begin() + sizeof(Request));
        c.out.clear();
        c.sent = 0;
        c.answered = false;
        c.waitingSince = now;
        return serviceConnection(c, 0, now); // a request that came with the first one
    }
    return true;
}

void SimServer::prompt() const {
    if (interactivePrompt_) {
        std::fputs("ts2-client-sim> ", stdout);
        std::fflush(stdout);
    }
}

bool SimServer::readStandardInput() {
    char buffer[4096];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof(buffer));
    if (n < 0) {
        return errno == EAGAIN || errno == EINTR;
    }
    if (n == 0) {
        return false;
    }
    inputLine_.append(buffer, size_t(n));
    size_t end;
    while ((end = inputLine_.find('\n')) != std::string::npos) {
        const std::string line = inputLine_.substr(0, end);
        inputLine_.erase(0, end + 1);
        ++inputLineNumber_;
        std::string error;
        const std::optional<Command> command = parseInteractiveLine(line, error);
        if (command) {
            if (!apply(*command)) {
                return false;
            }
        } else if (!error.empty()) {
            std::fprintf(stderr, "ts2-client-sim: line %d: %s (ignored)\n", inputLineNumber_,
                         error.c_str());
        }
        prompt();
    }
    return true;
}

void SimServer::run(const std::optional<Scenario>& scenario, bool loop) {
    installSignalHandlers();
    const bool interactive = !scenario;
    interactivePrompt_ = interactive && isatty(STDIN_FILENO);
    if (interactive) {
        prompt();
    }
    Clock::time_point start = Clock::now();
    size_t next = 0;
    bool running = true;
    std::vector<pollfd> fds;
    while (running) {
        Clock::time_point now = Clock::now();
        if (scenario) {
            while (running && next < scenario->lines.size() &&
                   start + scenario->lines[next].at <= now) {
                running = apply(scenario->lines[next].command);
                ++next;
                if (next == scenario->lines.size() && loop) {
                    // Again from the start, as it began.
                    start += scenario->duration();
                    next = 0;
                    replaceState(ClientState());
                }
            }
            if (!running) {
                break;
            }
        }

        Clock::time_point wake = Clock::time_point::max();
        if (scenario && next < scenario->lines.size()) {
            wake = start + scenario->lines[next].at;
        }
        fds.clear();
        fds.push_back({wakePipe[0], POLLIN, 0});
        fds.push_back({listenFd_, POLLIN, 0});
        fds.push_back({interactive ? STDIN_FILENO : -1, POLLIN, 0});
        for (const Connection& c : connections_) {
            short events = POLLIN;
            if (c.answered) {
                if (c.due <= now) {
                    events = POLLOUT;
                } else {
                    events = 0;
                    wake = std::min(wake, c.due);
                }
            } else {
                wake = std::min(wake, c.waitingSince + kIdleLimit);
            }
            fds.push_back({c.fd, events, 0});
        }
        const size_t clientQueryFds = fds.size();
        if (clientQuery_) {
            clientQuery_->prepare(fds, now, wake);
        }
        timespec timeout{};
        timespec* timeoutPointer = nullptr;
        if (wake != Clock::time_point::max()) {
            const auto left = std::max(Clock::duration::zero(), wake - now);
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = ns / 1000000000;
            timeout.tv_nsec = ns % 1000000000;
            timeoutPointer = &timeout;
        }
        if (ppoll(fds.data(), fds.size(), timeoutPointer, nullptr) < 0 && errno != EINTR) {
            std::perror("ts2-client-sim: poll");
            break;
        }
        now = Clock::now();
        if (fds[0].revents) {
            break; // SIGTERM or SIGINT
        }
        if (fds[2].revents && !readStandardInput()) {
            break;
        }
        // Serve the connections known before this poll, then take the new ones. Those kept
        // move up in place, with their buffers.
        size_t kept = 0;
        for (size_t i = 0; i < connections_.size(); ++i) {
            if (serviceConnection(connections_[i], fds[3 + i].revents, now)) {
                if (kept != i) {
                    connections_[kept] = std::move(connections_[i]);
                }
                ++kept;
            } else {
                close(connections_[i].fd);
            }
        }
        connections_.resize(kept);
        if (fds[1].revents) {
            acceptConnections();
        }
        if (clientQuery_) {
            clientQuery_->service(fds.data() + clientQueryFds, now, state_);
        }
    }
}

} // namespace tsremote
