// The simulated client's socket as a hostile peer sees it: arbitrary bytes sent in arbitrary
// pieces, the connection closed early or half-closed, the reply never read. After each such
// peer the client must still answer a well-behaved call correctly.

#include "ByteStream.h"
#include "ClientCall.h"
#include "Scenario.h"
#include "SimServer.h"

#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

[[noreturn]] void violated(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

std::string socketFile;

// The client runs for the whole fuzzing run on its own thread, as it would in its own process.
void startClient() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/staticor-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        violated("no scratch directory");
    }
    socketFile = pattern + "/socket";
    setenv("TS2_CLIENT_SIM_SOCKET", socketFile.c_str(), 1);
    // Never destroyed: its thread still serves while the fuzzer's exit runs static destructors.
    static tsremote::SimServer* server = new tsremote::SimServer;
    const std::string problem = server->listen(socketFile);
    if (!problem.empty()) {
        violated(problem.c_str());
    }
    std::string error;
    static const std::optional<tsremote::Scenario> scenario = tsremote::parseScenario(
        "connect 127.0.0.1:8767 \"Fuzz Server\"\nself 1 Observer\njoin 17 DLH123\n"
        "talk 17\nat 86400 quit\n",
        error);
    if (!scenario) {
        violated(error.c_str());
    }
    std::thread([] { server->run(scenario, false); }).detach();
    // The socket was directory-private from the start; it is removed with the process.
    std::atexit([] {
        unlink(socketFile.c_str());
        rmdir(socketFile.substr(0, socketFile.rfind('/')).c_str());
    });
}

int connectToClient() {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", socketFile.c_str());
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        violated("the client no longer accepts connections");
    }
    return fd;
}

// The peer: the bytes in pieces whose sizes come from the input, then one way of leaving.
void hostilePeer(fuzz::ByteStream& bytes) {
    const int fd = connectToClient();
    const uint8_t manner = bytes.byte();
    while (!bytes.empty()) {
        uint8_t piece[64];
        const size_t n = bytes.fill(piece, 1 + bytes.byte() % sizeof(piece));
        if (send(fd, piece, n, MSG_NOSIGNAL) < 0) {
            break; // the client hung up on us, which it may
        }
    }
    if (manner & 1) {
        shutdown(fd, SHUT_WR);
    }
    if (manner & 2) {
        // Read a little of whatever comes, never waiting long for it.
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5) > 0) {
            uint8_t sink[256];
            [[maybe_unused]] const ssize_t n = recv(fd, sink, sizeof(sink), MSG_DONTWAIT);
        }
    }
    close(fd);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    startClient();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ByteStream bytes(data, size);
    hostilePeer(bytes);

    const tsremote::CallResult players = tsremote::callClient(tsremote::OpPlayers, 1024);
    if (players.result != 0 || players.count != 2 ||
        players.payload.size() != size_t(2 * records::player::kSize)) {
        std::fprintf(stderr, "result %d count %d: %s\n", players.result, players.count,
                     players.error.c_str());
        violated("a well-behaved call went unanswered after a hostile peer");
    }
    return 0;
}
