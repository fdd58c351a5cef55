// Scenario files as arbitrary text: the parser either names the faulty line or returns
// lines in time order, and whatever it accepts the simulated client can run and answer.

#include "ClientState.h"
#include "ReplyCheck.h"
#include "Scenario.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void violated(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

// A crowd adds up to 65536 players by design; many of them would only measure memory.
constexpr int32_t kLargestCrowdRun = 512;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::optional<tsremote::Scenario> scenario = tsremote::parseScenario(text, error);
    if (!scenario) {
        if (error.rfind("line ", 0) != 0) {
            violated("a refusal that names no line");
        }
        return 0;
    }
    tsremote::ClientState state;
    std::chrono::microseconds previous{0};
    for (const tsremote::Scenario::Line& line : scenario->lines) {
        if (line.at < previous) {
            violated("a line earlier than the one before it");
        }
        previous = line.at;
        if (line.command.kind == tsremote::Command::Crowd &&
            line.command.numbers.at(0) > kLargestCrowdRun) {
            continue;
        }
        if (!state.apply(line.command)) {
            break; // quit
        }
    }
    for (uint32_t operation = 0; operation <= 6; ++operation) {
        for (const int32_t capacity : {-1, 0, 1, 7, 1024}) {
            const tsremote::Request request{tsremote::kRequestMagic, operation, capacity};
            if (!fuzz::wellFormedReply(state.answer(request))) {
                violated("a malformed reply");
            }
        }
    }
    return 0;
}
