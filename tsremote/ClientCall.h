#pragma once

#include "Protocol.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tsremote {

// One request to the client and its reply, within kTimeoutMs less what the calls just before
// it waited (WaitBudget): with none of that time left it fails at once, as a call that timed
// out. The reply is checked before anything is handed back: its payload must be exactly what
// the operation and count imply.
struct CallResult {
    int32_t result = 0;
    int32_t count = 0;
    std::vector<uint8_t> payload;
    std::string error; // the client's error text, or why the call failed
};

CallResult callClient(Operation operation, int32_t capacity);
// The same, with a successful reply's payload written to into (which has room for capacity
// records) rather than to CallResult::payload, which stays empty: the library hands the
// records over without a copy of its own. A failed call leaves into as it was.
CallResult callClient(Operation operation, int32_t capacity, std::span<uint8_t> into);

} // namespace tsremote
