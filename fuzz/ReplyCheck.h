#pragma once

#include "Protocol.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace fuzz {

// Whether a reply of the simulated client is well formed: the header, then exactly the
// payload and error text it announces, the error within its limit.
inline bool wellFormedReply(const std::vector<uint8_t>& reply) {
    tsremote::ReplyHeader header{};
    if (reply.size() < sizeof(header)) {
        return false;
    }
    std::memcpy(&header, reply.data(), sizeof(header));
    return header.magic == tsremote::kReplyMagic && header.errorSize <= tsremote::kMaxErrorSize &&
           reply.size() == sizeof(header) + size_t(header.payloadSize) + header.errorSize;
}

} // namespace fuzz
