// The library's side of the socket: a client that answers a call with arbitrary bytes, in
// arbitrary pieces, and then hangs up or keeps the connection. Whatever it sends, a call
// must hand back only what it can vouch for, and the calls after it must recover: the next
// well-behaved reply, at the latest the one after, is taken whole and unchanged.

#include "ByteStream.h"
#include "ClientCall.h"
#include "Protocol.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

[[noreturn]] void violated(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

// What the client sends in answer to the next request.
struct Answer {
    std::vector<std::vector<uint8_t>> pieces;
    bool hangUp = false;
};

// A client on its own thread that answers each request with the answer it was given for it,
// and closes a connection on which a request comes with no answer waiting.
class ScriptedClient {
public:
    ScriptedClient() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/staticor-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            violated("no scratch directory");
        }
        directory_ = pattern;
        path_ = pattern + "/socket";
        setenv("TS2_CLIENT_SIM_SOCKET", path_.c_str(), 1);
        listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path_.c_str());
        if (bind(listen_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
            listen(listen_, 8) != 0) {
            violated("cannot listen");
        }
        std::thread([this] { serve(); }).detach();
    }

    void answerNextWith(Answer answer) {
        const std::lock_guard<std::mutex> lock(mutex_);
        next_ = std::move(answer);
    }

    void removeSocket() const {
        unlink(path_.c_str());
        rmdir(directory_.c_str());
    }

private:
    void serve() {
        int peer = -1;
        for (;;) {
            pollfd fds[2] = {{listen_, POLLIN, 0}, {peer, POLLIN, 0}};
            if (poll(fds, 2, -1) <= 0) {
                continue;
            }
            if (fds[0].revents) {
                // The library makes a new connection only when it gave up the old one.
                if (peer >= 0) {
                    close(peer);
                }
                peer = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                continue;
            }
            if (peer < 0 || !fds[1].revents) {
                continue;
            }
            tsremote::Request request{};
            if (recv(peer, &request, sizeof(request), MSG_WAITALL) != sizeof(request)) {
                close(peer);
                peer = -1;
                continue;
            }
            std::optional<Answer> answer;
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                answer.swap(next_);
            }
            if (!answer) {
                close(peer);
                peer = -1;
                continue;
            }
            for (const std::vector<uint8_t>& piece : answer->pieces) {
                if (send(peer, piece.data(), piece.size(), MSG_NOSIGNAL) < 0) {
                    break;
                }
            }
            if (answer->hangUp) {
                close(peer);
                peer = -1;
            }
        }
    }

    std::string directory_;
    std::string path_;
    int listen_ = -1;
    std::mutex mutex_;
    std::optional<Answer> next_;
};

ScriptedClient* client = nullptr;

size_t recordSize(tsremote::Operation operation) {
    switch (operation) {
    case tsremote::OpVersion:
        return records::version::kSize;
    case tsremote::OpUserInfo:
        return records::userInfo::kSize;
    case tsremote::OpServerInfo:
        return records::serverInfo::kSize;
    case tsremote::OpPlayers:
        return records::player::kSize;
    case tsremote::OpSpeakers:
        return 4;
    }
    return 0;
}

// Only what the library may hand back: records that fit the caller's buffer exactly, and
// an error text within its limit.
void checkResult(const tsremote::CallResult& r, tsremote::Operation operation, int32_t capacity) {
    if (r.error.size() > tsremote::kMaxErrorSize) {
        violated("an error text beyond its limit");
    }
    if (r.result != 0) {
        return;
    }
    const size_t size = recordSize(operation);
    if (operation == tsremote::OpPlayers || operation == tsremote::OpSpeakers) {
        if (r.count < 0 || r.count > std::max(capacity, 0) ||
            r.payload.size() != size_t(r.count) * size) {
            violated("records that do not fit the count or the buffer");
        }
    } else if (!r.payload.empty() && r.payload.size() != size) {
        violated("a record of the wrong size");
    }
}

std::vector<uint8_t> speakersReply(int32_t id) {
    const tsremote::ReplyHeader header{tsremote::kReplyMagic, 0, 1, 4, 0};
    std::vector<uint8_t> bytes(sizeof(header) + 4);
    std::memcpy(bytes.data(), &header, sizeof(header));
    std::memcpy(bytes.data() + sizeof(header), &id, 4);
    return bytes;
}

bool answeredWith(const tsremote::CallResult& r, int32_t id) {
    int32_t got = 0;
    if (r.result != 0 || r.count != 1 || r.payload.size() != 4) {
        return false;
    }
    std::memcpy(&got, r.payload.data(), 4);
    return got == id;
}

// A call that timed out has spent the time the calls right after it may wait: they would fail
// at once, without asking the client. The next call is made once that time is back.
void waitAfterTimeOut(const tsremote::CallResult& r) {
    if (r.result == tsremote::kNoAnswer) {
        std::this_thread::sleep_for(std::chrono::milliseconds(tsremote::kTimeoutMs));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    client = new ScriptedClient;
    std::atexit([] { client->removeSocket(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ByteStream bytes(data, size);
    const auto operation = tsremote::Operation(1 + bytes.byte() % 5);
    const int32_t capacity = bytes.int32() % 2048;
    const uint8_t manner = bytes.byte();
    Answer answer;
    answer.hangUp = (manner & 1) == 0;
    while (!bytes.empty()) {
        std::vector<uint8_t> piece(1 + bytes.byte() % 255);
        piece.resize(bytes.fill(piece.data(), piece.size()));
        answer.pieces.push_back(std::move(piece));
    }
    client->answerNextWith(std::move(answer));
    const tsremote::CallResult fuzzed = tsremote::callClient(operation, capacity);
    checkResult(fuzzed, operation, capacity);
    waitAfterTimeOut(fuzzed);

    // Bytes sent after a whole reply may still be on their way and spoil one more call;
    // never two.
    client->answerNextWith({{speakersReply(7)}, false});
    const tsremote::CallResult first = tsremote::callClient(tsremote::OpSpeakers, 16);
    if (!answeredWith(first, 7)) {
        waitAfterTimeOut(first);
        client->answerNextWith({{speakersReply(8)}, false});
        if (!answeredWith(tsremote::callClient(tsremote::OpSpeakers, 16), 8)) {
            violated("the calls after a bad reply did not recover");
        }
    }
    return 0;
}
