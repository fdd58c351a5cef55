#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// The packed records of the remote-control library: little-endian 32-bit integers and
// fixed-width 8-bit text fields with no gaps between them. The one definition that the
// library, the simulated client, the program's decoder and the test fakes all use.
namespace records {

// A text field: up to its first zero byte, or its whole width when it has none.
struct TextField {
    std::size_t offset;
    std::size_t width;
    constexpr std::size_t end() const { return offset + width; }
};

inline constexpr int kCapacity = 1024;      // player records and speaker IDs per call
inline constexpr int kErrorTextSize = 1024; // the last-error text buffer

namespace version {
inline constexpr std::size_t kSize = 16;
// major, minor, release and build, one 32-bit integer each.
inline constexpr std::size_t kNumbers = 0;
} // namespace version

namespace player {
inline constexpr std::size_t kSize = 50;
inline constexpr std::size_t kId = 0;
inline constexpr std::size_t kChannel = 4;
inline constexpr TextField kNickname{8, 30};
inline constexpr std::size_t kChannelPrivileges = 38;
inline constexpr std::size_t kPlayerPrivileges = 42;
inline constexpr std::size_t kFlags = 46;
static_assert(kNickname.end() == kChannelPrivileges && kFlags + 4 == kSize);
} // namespace player

// The local user as a player record, then two further player records nobody reads.
namespace userInfo {
inline constexpr std::size_t kSize = 150;
static_assert(kSize == 3 * player::kSize);
} // namespace userInfo

namespace serverInfo {
inline constexpr std::size_t kSize = 482;
inline constexpr TextField kName{0, 30};
inline constexpr TextField kWelcome{30, 256};
inline constexpr std::size_t kVersion = 286; // four integers, as in the version record
inline constexpr TextField kPlatform{302, 30};
inline constexpr TextField kAddress{332, 30};
inline constexpr TextField kHostName{362, 100};
inline constexpr std::size_t kType = 462;
inline constexpr std::size_t kMaximumUsers = 466;
inline constexpr std::size_t kCodecs = 470;
inline constexpr std::size_t kChannels = 474;
inline constexpr std::size_t kPlayers = 478;
static_assert(kName.end() == kWelcome.offset && kWelcome.end() == kVersion &&
              kVersion + version::kSize == kPlatform.offset && kPlatform.end() == kAddress.offset &&
              kAddress.end() == kHostName.offset && kHostName.end() == kType &&
              kPlayers + 4 == kSize);
} // namespace serverInfo

// A 32-bit little-endian field at any offset.
inline int32_t readInt32(const uint8_t* at) {
    uint32_t value;
    std::memcpy(&value, at, sizeof(value));
    if constexpr (std::endian::native == std::endian::big) {
        value = __builtin_bswap32(value);
    }
    return std::bit_cast<int32_t>(value);
}

inline void writeInt32(uint8_t* at, int32_t value) {
    uint32_t bits = std::bit_cast<uint32_t>(value);
    if constexpr (std::endian::native == std::endian::big) {
        bits = __builtin_bswap32(bits);
    }
    std::memcpy(at, &bits, sizeof(bits));
}

// The bytes of a text field of a record.
inline std::string_view readText(const uint8_t* record, TextField field) {
    const char* text = reinterpret_cast<const char*>(record + field.offset);
    const void* zero = std::memchr(text, 0, field.width);
    return {text, zero ? std::size_t(static_cast<const char*>(zero) - text) : field.width};
}

// Writes a text into a zeroed field: a shorter text ends with a zero byte, a longer one is
// cut to the field's width and has none.
inline void writeText(uint8_t* record, TextField field, std::string_view text) {
    std::memcpy(record + field.offset, text.data(), std::min(field.width, text.size()));
}

// A whole player record, written into a zeroed one.
struct PlayerFields {
    int32_t id;
    int32_t channel;
    std::string_view nickname;
    int32_t channelPrivileges;
    int32_t playerPrivileges;
    int32_t flags;
};

inline void writePlayer(uint8_t* record, const PlayerFields& p) {
    writeInt32(record + player::kId, p.id);
    writeInt32(record + player::kChannel, p.channel);
    writeText(record, player::kNickname, p.nickname);
    writeInt32(record + player::kChannelPrivileges, p.channelPrivileges);
    writeInt32(record + player::kPlayerPrivileges, p.playerPrivileges);
    writeInt32(record + player::kFlags, p.flags);
}

} // namespace records
