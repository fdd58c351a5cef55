#include "SnapshotLibrary.h"

#include <algorithm>
#include <cstring>

namespace {

const QByteArray kNotRunningText = "The client is not running";
const QByteArray kNotConnectedText = "Not connected to a server";

void writeVersion(uint8_t* at, const ClientSnapshot::Version& version) {
    for (size_t i = 0; i < version.size(); ++i) {
        records::writeInt32(at + 4 * i, version[i]);
    }
}

std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), size_t(bytes.size())};
}

void writePlayer(uint8_t* record, const ClientSnapshot::Player& p) {
    std::memset(record, 0, records::player::kSize);
    records::writePlayer(record, {p.id, p.channel, view(p.nickname), p.channelPrivileges,
                                  p.playerPrivileges, p.flags});
}

} // namespace

int32_t copyErrorText(const QByteArray& text, char* buffer, int32_t size) {
    if (buffer == nullptr || size <= 0) {
        return 0;
    }
    const qsizetype length = std::min<qsizetype>(text.size(), size - 1);
    std::memcpy(buffer, text.constData(), size_t(length));
    buffer[length] = '\0';
    return 0;
}

int32_t SnapshotLibrary::unavailable(bool needsConnection) {
    if (!snapshot_.running) {
        lastError_ = snapshot_.lastError.isEmpty() ? kNotRunningText : snapshot_.lastError;
        return kNotRunning;
    }
    if (needsConnection && !snapshot_.connected) {
        lastError_ = kNotConnectedText;
        return kNotConnected;
    }
    return 0;
}

int32_t SnapshotLibrary::tsrGetLastError(char* buffer, int32_t size) {
    return copyErrorText(lastError_, buffer, size);
}

int32_t SnapshotLibrary::tsrGetVersion(uint8_t* record) {
    if (const int32_t code = unavailable(false)) {
        return code;
    }
    std::memset(record, 0, records::version::kSize);
    writeVersion(record + records::version::kNumbers, snapshot_.clientVersion);
    return 0;
}

int32_t SnapshotLibrary::tsrGetUserInfo(uint8_t* record) {
    if (const int32_t code = unavailable(true)) {
        return code;
    }
    std::memset(record, 0, records::userInfo::kSize);
    writePlayer(record, snapshot_.self);
    return 0;
}

int32_t SnapshotLibrary::tsrGetServerInfo(uint8_t* record) {
    if (const int32_t code = unavailable(true)) {
        return code;
    }
    namespace s = records::serverInfo;
    const ClientSnapshot::Server& server = snapshot_.server;
    std::memset(record, 0, s::kSize);
    records::writeText(record, s::kName, view(server.name));
    records::writeText(record, s::kWelcome, view(server.welcome));
    writeVersion(record + s::kVersion, server.version);
    records::writeText(record, s::kPlatform, view(server.platform));
    records::writeText(record, s::kAddress, view(server.address));
    records::writeText(record, s::kHostName, view(server.hostName));
    records::writeInt32(record + s::kMaximumUsers, server.maximumUsers);
    records::writeInt32(record + s::kChannels, server.channels);
    records::writeInt32(record + s::kPlayers, server.players);
    return 0;
}

int32_t SnapshotLibrary::tsrGetPlayers(uint8_t* rows, int32_t* count) {
    if (const int32_t code = unavailable(false)) {
        *count = 0;
        return code;
    }
    const auto& players = snapshot_.players;
    const size_t n =
        snapshot_.connected ? std::min(players.size(), size_t(std::max(*count, 0))) : 0;
    for (size_t i = 0; i < n; ++i) {
        writePlayer(rows + i * records::player::kSize, players[i]);
    }
    *count = int32_t(n);
    return 0;
}

int32_t SnapshotLibrary::tsrGetSpeakers(int32_t* ids, int32_t* count) {
    if (speakersRead_) {
        speakersRead_();
    }
    if (const int32_t code = unavailable(true)) {
        *count = 0;
        return code;
    }
    const auto& speakers = snapshot_.speakers;
    const size_t n = std::min(speakers.size(), size_t(std::max(*count, 0)));
    std::copy_n(speakers.begin(), n, ids);
    *count = int32_t(n);
    return 0;
}
