#include "ClientCall.h"

#include "SocketPath.h"
#include "WaitBudget.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace tsremote {
namespace {

using Clock = std::chrono::steady_clock;

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

uint32_t expectedPayload(Operation operation, int32_t count) {
    switch (operation) {
    case OpVersion:
        return records::version::kSize;
    case OpUserInfo:
        return records::userInfo::kSize;
    case OpServerInfo:
        return records::serverInfo::kSize;
    case OpPlayers:
        return uint32_t(count) * records::player::kSize;
    case OpSpeakers:
        return uint32_t(count) * 4;
    }
    return 0;
}

const std::string kNotRunningText = "The TeamSpeak client is not running";
const char* const kNoAnswerText = "The TeamSpeak client did not answer in time";
const char* const kGarbledText = "The TeamSpeak client sent a reply that could not be read";

// The connection to the client, kept from call to call: a new one for every call would cost
// more than the call itself at twenty refreshes a second. Any doubt about where the stream
// stands (a timeout, a garbled reply, bytes beyond a reply) ends it; the next call makes a
// new one.
class Link {
public:
    ~Link() { drop(); }

    // The connection to path, made now when there is none. -1 with failure filled when
    // the client cannot be reached.
    int to(const std::string& path, Clock::time_point deadline, CallResult& failure) {
        if (fd_ >= 0 && path != path_) {
            drop();
        }
        if (fd_ < 0) {
            fd_ = connectTo(path, deadline, failure);
            path_ = path;
            reused_ = false;
            readLimit_ = std::chrono::milliseconds(-1);
        } else {
            reused_ = true;
        }
        return fd_;
    }
    // Whether the current connection has served a call before this one.
    bool reused() const { return reused_; }

    // How long the first read of a reply may block, for a call that must end by deadline;
    // zero when it must not block. The connection blocks in reads only (everything else
    // passes MSG_DONTWAIT), so a reply that comes in time costs one read and no poll.
    // The read gives up a little before the deadline, to the poll that waits out the rest:
    // the limit, a whole number of milliseconds, then stays the same from call to call and
    // is set on the connection once.
    Clock::duration firstReadLimit(Clock::time_point deadline) {
        using std::chrono::milliseconds;
        const milliseconds limit =
            std::chrono::floor<milliseconds>(deadline - Clock::now()) - milliseconds(1);
        if (limit <= milliseconds(0)) {
            return Clock::duration::zero();
        }
        if (limit != readLimit_) {
            const timeval timeout{time_t(limit.count() / 1000),
                                  suseconds_t(limit.count() % 1000 * 1000)};
            if (setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout)) != 0) {
                readLimit_ = milliseconds(-1);
                return Clock::duration::zero();
            }
            readLimit_ = limit;
        }
        return limit;
    }
    // Where replies are read to, kept at the largest size a call has needed.
    std::vector<uint8_t>& replyBuffer() { return reply_; }

    // Between calls nothing may be waiting: a client that closed, or sent more than its
    // replies, has left a connection on which no reply could be trusted to be the answer.
    bool idle() const {
        uint8_t byte;
        const ssize_t n = recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }

    void drop() {
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }

private:
    static int connectTo(const std::string& path, Clock::time_point deadline, CallResult& failure) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof(address.sun_path)) {
            failure = failed(kNotRunning, kNotRunningText);
            return -1;
        }
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const std::string distrusted = untrustedSocketDirectory(path);
        if (!distrusted.empty()) {
            failure = failed(kNotRunning, kNotRunningText + ": " + distrusted);
            return -1;
        }
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            failure = failed(kNotRunning, kNotRunningText);
            return -1;
        }
        bool connected =
            connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
        const int connectError = errno;
        // A full backlog means a client that is there but busy: wait for it, briefly.
        failure = failed(kNotRunning, kNotRunningText);
        if (!connected && (connectError == EAGAIN || connectError == EINPROGRESS)) {
            int error = 0;
            socklen_t length = sizeof(error);
            if (!waitFor(fd, POLLOUT, deadline)) {
                failure = failed(kNoAnswer, kNoAnswerText);
            } else {
                connected =
                    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
            }
        }
        if (connected && !sameUser(fd, path, failure)) {
            connected = false;
        }
        // Connected: from now on only the first read of a reply blocks (see firstReadLimit).
        if (!connected || fcntl(fd, F_SETFL, 0) != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }

    // Whether the one who listens on the socket is this user: anyone else could answer
    // whatever they like, whichever directory the socket is in.
    static bool sameUser(int fd, const std::string& path, CallResult& failure) {
        ucred peer{};
        socklen_t length = sizeof(peer);
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) {
            failure =
                failed(kNotRunning, kNotRunningText + ": " + path + ": " + std::strerror(errno));
            return false;
        }
        if (peer.uid != geteuid()) {
            failure = failed(kNotRunning, kNotRunningText + ": " + path +
                                              " is served by another user (uid " +
                                              std::to_string(peer.uid) + ")");
            return false;
        }
        return true;
    }

    int fd_ = -1;
    std::string path_;
    bool reused_ = false;
    std::chrono::milliseconds readLimit_{-1}; // the SO_RCVTIMEO set, -1 for none
    std::vector<uint8_t> reply_;
};

std::mutex linkMutex;
Link link;
// The calls of a caller's tick wait kTimeoutMs together, not each.
WaitBudget budget{std::chrono::milliseconds(kTimeoutMs),
                  std::chrono::milliseconds(kHealthyAnswerMs)};

enum class Outcome {
    Answered,
    AnsweredWithMore, // a whole reply, and then bytes nobody asked for
    NotSent,
    ClosedUnanswered,
    TimedOut,
    Garbled
};

// Whether a reply with this header may be taken: never more records than the caller has
// room for, and exactly the bytes they take.
bool acceptable(const ReplyHeader& header, Operation operation, int32_t capacity) {
    if (header.magic != kReplyMagic || header.errorSize > kMaxErrorSize) {
        return false;
    }
    if (operation == OpPlayers || operation == OpSpeakers) {
        return (header.result != 0 && header.payloadSize == 0) ||
               (header.count >= 0 && header.count <= capacity &&
                header.payloadSize == expectedPayload(operation, header.count));
    }
    return header.payloadSize == 0 || header.payloadSize == expectedPayload(operation, 0);
}

// One request and its reply on an open connection. The reply is read with as few calls as
// the client's writes allow, into a buffer one byte larger than the largest acceptable
// reply, so that anything sent beyond the reply shows.
Outcome exchange(int fd, Operation operation, int32_t capacity, Clock::time_point deadline,
                 bool firstReadBlocks, std::vector<uint8_t>& in, std::span<uint8_t> into,
                 CallResult& r) {
    const Request request{kRequestMagic, operation, capacity};
    // The request is far smaller than any socket buffer: it goes in one piece or not at all.
    if (send(fd, &request, sizeof(request), MSG_NOSIGNAL | MSG_DONTWAIT) !=
        ssize_t(sizeof(request))) {
        return Outcome::NotSent;
    }

    const bool lists = operation == OpPlayers || operation == OpSpeakers;
    const size_t largest =
        sizeof(ReplyHeader) + expectedPayload(operation, lists ? capacity : 0) + kMaxErrorSize;
    if (in.size() < largest + 1) {
        in.resize(largest + 1);
    }
    ReplyHeader header{};
    size_t have = 0;
    size_t total = 0; // known once the header is
    // The first read waits for the answer itself, within the connection's read limit; a
    // reply that is not whole by then is waited for by poll, up to the deadline.
    int flags = firstReadBlocks ? 0 : MSG_DONTWAIT;
    while (total == 0 || have < total) {
        const ssize_t n = recv(fd, in.data() + have, largest + 1 - have, flags);
        flags = MSG_DONTWAIT;
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            return have == 0 ? Outcome::ClosedUnanswered : Outcome::Garbled;
        }
        if (n < 0) {
            if (!waitFor(fd, POLLIN, deadline)) {
                return Outcome::TimedOut;
            }
            continue;
        }
        have += size_t(n);
        if (total == 0 && have >= sizeof(header)) {
            std::memcpy(&header, in.data(), sizeof(header));
            if (!acceptable(header, operation, capacity)) {
                return Outcome::Garbled;
            }
            total = sizeof(header) + header.payloadSize + header.errorSize;
        }
        if (total != 0 && have > total) {
            break;
        }
    }
    r.result = header.result;
    r.count = header.count;
    const uint8_t* payload = in.data() + sizeof(header);
    if (into.data() == nullptr) {
        r.payload.assign(payload, payload + header.payloadSize);
    } else if (header.result == 0 && header.payloadSize <= into.size()) {
        std::memcpy(into.data(), payload, header.payloadSize);
    }
    // Up to its first zero byte, as a C string.
    const char* error = reinterpret_cast<const char*>(payload + header.payloadSize);
    r.error.assign(error, strnlen(error, header.errorSize));
    return have > total ? Outcome::AnsweredWithMore : Outcome::Answered;
}

// One call on the kept connection, made anew when needed, until the deadline.
CallResult callOnLink(const std::string& path, Operation operation, int32_t capacity,
                      Clock::time_point deadline, std::span<uint8_t> into, bool& timedOut) {
    // A kept connection may have been closed by the client since (it restarted, or let an
    // idle connection go): then once more on a new one.
    for (;;) {
        CallResult failure;
        const int fd = link.to(path, deadline, failure);
        if (fd < 0) {
            timedOut = failure.result == kNoAnswer;
            return failure;
        }
        if (link.reused() && !link.idle()) {
            link.drop();
            continue;
        }
        CallResult r;
        const bool firstReadBlocks = link.firstReadLimit(deadline) > Clock::duration::zero();
        const Outcome outcome = exchange(fd, operation, capacity, deadline, firstReadBlocks,
                                         link.replyBuffer(), into, r);
        if (outcome == Outcome::Answered) {
            return r;
        }
        const bool reused = link.reused();
        link.drop();
        if (outcome == Outcome::AnsweredWithMore) {
            return r;
        }
        if ((outcome == Outcome::NotSent || outcome == Outcome::ClosedUnanswered) && reused) {
            continue;
        }
        switch (outcome) {
        case Outcome::NotSent:
            return failed(kNotRunning, kNotRunningText);
        case Outcome::TimedOut:
            timedOut = true;
            return failed(kNoAnswer, kNoAnswerText);
        default: // taken, then closed without a word, counts as garbled too
            return failed(kGarbledReply, kGarbledText);
        }
    }
}

} // namespace

CallResult callClient(Operation operation, int32_t capacity) {
    return callClient(operation, capacity, {});
}

CallResult callClient(Operation operation, int32_t capacity, std::span<uint8_t> into) {
    // Bounds what a reply may make us allocate, whatever buffer the caller claims to have.
    capacity = std::clamp(capacity, 0, kMaxRecords);
    const std::lock_guard<std::mutex> lock(linkMutex);
    // Read again at every call, as the environment may change, into room kept for it.
    static std::string path;
    assignSocketPath(path);
    const Clock::time_point start = Clock::now();
    const Clock::duration allowed = budget.allowance(start);
    if (allowed <= Clock::duration::zero()) {
        return failed(kNoAnswer, kNoAnswerText);
    }
    bool timedOut = false;
    CallResult r = callOnLink(path, operation, capacity, start + allowed, into, timedOut);
    budget.spend(start, Clock::now(), timedOut);
    return r;
}

} // namespace tsremote
