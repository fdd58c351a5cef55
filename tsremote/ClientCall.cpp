#include "ClientCall.h"

#include "SocketPath.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tsremote {
namespace {

using Clock = std::chrono::steady_clock;

class Socket {
public:
    Socket() : fd_(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {}
    ~Socket() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

CallResult failed(int32_t code, std::string text) {
    CallResult r;
    r.result = code;
    r.error = std::move(text);
    return r;
}

// Waits for the socket to become ready for events, until the deadline.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return false;
        }
        const timespec timeout{time_t(left / 1000000000), long(left % 1000000000)};
        pollfd p{fd, events, 0};
        const int n = ppoll(&p, 1, &timeout, nullptr);
        if (n > 0) {
            return true;
        }
        if (n < 0 && errno != EINTR) {
            return false;
        }
    }
}

// Reads exactly size bytes. 0: done; 1: the client closed early; 2: out of time or error.
int readAll(int fd, uint8_t* data, size_t size, Clock::time_point deadline) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = recv(fd, data + done, size - done, 0);
        if (n > 0) {
            done += size_t(n);
        } else if (n == 0) {
            return 1;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            if (!waitFor(fd, POLLIN, deadline)) {
                return 2;
            }
        } else {
            return 1;
        }
    }
    return 0;
}

uint32_t expectedPayload(Operation operation, int32_t count) {
    switch (operation) {
    case OpVersion:
        return kVersionSize;
    case OpUserInfo:
        return kUserInfoSize;
    case OpServerInfo:
        return kServerInfoSize;
    case OpPlayers:
        return uint32_t(count) * kPlayerSize;
    case OpSpeakers:
        return uint32_t(count) * 4;
    }
    return 0;
}

const char* const kNotRunningText = "The TeamSpeak client is not running";
const char* const kNoAnswerText = "The TeamSpeak client did not answer in time";
const char* const kGarbledText = "The TeamSpeak client sent a reply that could not be read";

} // namespace

CallResult callClient(Operation operation, int32_t capacity) {
    // Bounds what a reply may make us allocate, whatever buffer the caller claims to have.
    capacity = std::min(capacity, kMaxRecords);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
    const std::string path = socketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        return failed(kNotRunning, kNotRunningText);
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    Socket socket;
    if (socket.fd() < 0) {
        return failed(kNotRunning, kNotRunningText);
    }
    if (connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        // A full backlog means a client that is there but busy: wait for it, briefly.
        if (errno != EAGAIN && errno != EINPROGRESS) {
            return failed(kNotRunning, kNotRunningText);
        }
        if (!waitFor(socket.fd(), POLLOUT, deadline)) {
            return failed(kNoAnswer, kNoAnswerText);
        }
        int error = 0;
        socklen_t length = sizeof(error);
        getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != 0) {
            return failed(kNotRunning, kNotRunningText);
        }
    }

    const Request request{kRequestMagic, operation, capacity};
    // The request is far smaller than any socket buffer: it goes in one piece or not at all.
    if (send(socket.fd(), &request, sizeof(request), MSG_NOSIGNAL) != ssize_t(sizeof(request))) {
        return failed(kNotRunning, kNotRunningText);
    }

    ReplyHeader header{};
    int status =
        readAll(socket.fd(), reinterpret_cast<uint8_t*>(&header), sizeof(header), deadline);
    if (status == 2) {
        return failed(kNoAnswer, kNoAnswerText);
    }
    if (status == 1 || header.magic != kReplyMagic || header.errorSize > kMaxErrorSize) {
        return failed(kGarbledReply, kGarbledText);
    }
    // Never more records than the caller has room for, and exactly the bytes they take.
    bool consistent = false;
    if (operation == OpPlayers || operation == OpSpeakers) {
        consistent = (header.result != 0 && header.payloadSize == 0) ||
                     (header.count >= 0 && header.count <= capacity &&
                      header.payloadSize == expectedPayload(operation, header.count));
    } else {
        consistent = header.payloadSize == 0 || header.payloadSize == expectedPayload(operation, 0);
    }
    if (!consistent) {
        return failed(kGarbledReply, kGarbledText);
    }
    CallResult r;
    r.result = header.result;
    r.count = header.count;
    r.payload.resize(header.payloadSize);
    std::string error(header.errorSize, '\0');
    status = readAll(socket.fd(), r.payload.data(), r.payload.size(), deadline);
    if (status == 0) {
        status =
            readAll(socket.fd(), reinterpret_cast<uint8_t*>(error.data()), error.size(), deadline);
    }
    if (status == 2) {
        return failed(kNoAnswer, kNoAnswerText);
    }
    if (status == 1) {
        return failed(kGarbledReply, kGarbledText);
    }
    r.error = error.c_str();
    return r;
}

} // namespace tsremote
