// The simulated client's query face as a hostile peer sees it: arbitrary bytes as commands,
// in arbitrary pieces, while the state changes between them. Every reply must be whole lines
// ending in LF CR, closed by an error line; a line too long must be refused, and nothing
// shorter; after any input that was not refused, the peer must still be served correctly.

#include "ByteStream.h"
#include "ClientQueryFace.h"
#include "Scenario.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void violated(const char* what, const std::string& text = {}) {
    std::fprintf(stderr, "property violated: %s\n%s\n", what, text.c_str());
    std::abort();
}

const char* const kChanges[] = {
    "connect 127.0.0.1:8767 \"Fuzz Server\"",
    "disconnect",
    "join 17 \"Ann Lee\"",
    "join 17 Ann|Lee 4",
    "leave 17",
    "talk 17",
    "stop 17",
    "talk 1",
    "self 1 \"New\\Name\"",
    "crowd 3",
    "stall 5",
};

tsremote::Command change(uint8_t which) {
    std::string error;
    const std::optional<tsremote::Command> c = tsremote::parseInteractiveLine(
        kChanges[which % (sizeof(kChanges) / sizeof(kChanges[0]))], error);
    if (!c) {
        violated("a change does not parse", error);
    }
    return *c;
}

// Whole lines ending in LF CR, with no line break inside one.
void checkLines(const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\n\r", start);
        if (end == std::string::npos) {
            violated("output does not end in LF CR", text);
        }
        if (text.substr(start, end - start).find_first_of("\r\n") != std::string::npos) {
            violated("a line break inside a line", text);
        }
        start = end + 2;
    }
}

void checkReply(const std::string& reply, bool authenticated) {
    if (reply.empty()) {
        return; // a blank command
    }
    checkLines(reply);
    const size_t last = reply.rfind("\n\r", reply.size() - 3);
    const std::string error = reply.substr(last == std::string::npos ? 0 : last + 2);
    if (error.rfind("error id=", 0) != 0) {
        violated("a reply without its error line", reply);
    }
    if (!authenticated && error.rfind("error id=0 ", 0) == 0 &&
        reply.find("clid=") != std::string::npos) {
        violated("client data given out before auth", reply);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ByteStream bytes(data, size);
    tsremote::ClientState state;
    tsremote::ClientQuerySession session("K");

    const auto serve = [&] {
        while (const std::optional<std::string> line = session.nextLine()) {
            const bool authenticated = session.authenticated();
            checkReply(session.answer(*line, state), authenticated);
        }
    };

    while (!bytes.empty()) {
        const uint8_t header = bytes.byte();
        if (header < 16) {
            const tsremote::ClientState before = state;
            state.apply(change(header));
            for (const tsremote::Notification& n : tsremote::notificationsBetween(before, state)) {
                checkLines(n.line + "\n\r");
                if (n.line.rfind(n.event + " schandlerid=1 ", 0) != 0) {
                    violated("a notification without its event and handler", n.line);
                }
            }
            continue;
        }
        uint8_t piece[64];
        const size_t n = bytes.fill(piece, 1 + header % sizeof(piece));
        // Now and then the same piece many times, so that a line can outgrow the limit.
        const int times = header >= 250 ? 2048 : 1;
        for (int i = 0; i < times; ++i) {
            const bool kept = session.receive(reinterpret_cast<const char*>(piece), n);
            const bool tooLong = session.buffered() > tsremote::kMaxQueryLineBytes;
            if (!kept) {
                if (!tooLong) {
                    violated("a peer was cut off for less than the line limit");
                }
                return 0; // the face closes such a peer
            }
            serve();
        }
    }

    // Whatever came before, a well-behaved peer is still served.
    const std::string wellBehaved = "\nauth apikey=K\ncurrentschandlerid\n";
    session.receive(wellBehaved.data(), wellBehaved.size());
    std::string last;
    while (const std::optional<std::string> line = session.nextLine()) {
        last = session.answer(*line, state);
        checkReply(last, true);
    }
    if (last != "schandlerid=1\n\rerror id=0 msg=ok\n\r") {
        violated("a well-behaved command went unanswered after a hostile peer", last);
    }
    return 0;
}
