#include "ClientState.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace tsremote {
namespace {

template <typename Player> void writePlayer(uint8_t* record, const Player& p) {
    records::writePlayer(
        record, {p.id, p.channel, p.nickname, p.channelPrivileges, p.playerPrivileges, p.flags});
}

const char* functionName(uint32_t operation) {
    switch (operation) {
    case OpVersion:
        return "tsrGetVersion";
    case OpUserInfo:
        return "tsrGetUserInfo";
    case OpServerInfo:
        return "tsrGetServerInfo";
    case OpPlayers:
        return "tsrGetPlayers";
    case OpSpeakers:
        return "tsrGetSpeakers";
    }
    return "";
}

// Lays out a reply in out: header, a zeroed payload of payloadSize bytes for the caller to
// fill, then the error text. Returns where the payload starts. out keeps its room from one
// reply to the next.
uint8_t* reply(std::vector<uint8_t>& out, int32_t result, int32_t count, size_t payloadSize,
               std::string_view error) {
    const std::string_view text = error.substr(0, kMaxErrorSize);
    const ReplyHeader header{kReplyMagic, result, count, uint32_t(payloadSize),
                             uint32_t(text.size())};
    out.assign(sizeof(header) + payloadSize + text.size(), 0);
    std::memcpy(out.data(), &header, sizeof(header));
    std::copy(text.begin(), text.end(), out.begin() + std::ptrdiff_t(sizeof(header) + payloadSize));
    return out.data() + sizeof(header);
}

} // namespace

ClientState::ClientState() {
    self_.id = 1;
    self_.nickname = "Observer";
}

std::vector<ClientState::Player> ClientState::allPlayers() const {
    std::vector<Player> all;
    if (!connected_) {
        return all;
    }
    all.reserve(players_.size() + 1);
    all.push_back(self_);
    for (const Player& p : players_) {
        if (p.id != self_.id) {
            all.push_back(p);
        }
    }
    return all;
}

void ClientState::removeSpeaker(int32_t id) {
    speakers_.erase(std::remove(speakers_.begin(), speakers_.end(), id), speakers_.end());
}

bool ClientState::apply(const Command& c) {
    switch (c.kind) {
    case Command::Connect:
        connected_ = true;
        address_ = c.texts[0];
        serverName_ = c.texts[1];
        break;
    case Command::Disconnect:
        connected_ = false;
        players_.clear();
        speakers_.clear();
        break;
    case Command::Self:
        self_.id = c.numbers[0];
        self_.nickname = c.texts[0];
        break;
    case Command::Join: {
        Player p{c.numbers[0], c.numbers[1], c.texts[0], c.numbers[2], c.numbers[3], c.numbers[4]};
        const auto known = std::find_if(players_.begin(), players_.end(),
                                        [&](const Player& q) { return q.id == p.id; });
        if (known != players_.end()) {
            *known = p; // joining again under the same ID updates the player
        } else {
            players_.push_back(p);
        }
        break;
    }
    case Command::Leave:
        players_.erase(std::remove_if(players_.begin(), players_.end(),
                                      [&](const Player& q) { return q.id == c.numbers[0]; }),
                       players_.end());
        removeSpeaker(c.numbers[0]);
        break;
    case Command::Talk:
        if (std::find(speakers_.begin(), speakers_.end(), c.numbers[0]) == speakers_.end()) {
            speakers_.push_back(c.numbers[0]);
        }
        break;
    case Command::Stop:
        removeSpeaker(c.numbers[0]);
        break;
    case Command::Crowd:
        for (int32_t i = 0; i < c.numbers[0]; ++i) {
            char name[16];
            std::snprintf(name, sizeof(name), "PLAYER%04d", nextCrowdNumber_++);
            players_.push_back({nextCrowdId_++, 1, name, 0, 0, 0});
        }
        break;
    case Command::Version:
        std::copy(c.numbers.begin(), c.numbers.end(), version_);
        break;
    case Command::Server:
        platform_ = c.texts[0];
        welcome_ = c.texts[1];
        break;
    case Command::Fail:
        if (c.numbers[0] == 0) {
            failing_.erase(c.texts[0]);
        } else {
            failing_[c.texts[0]] = {c.numbers[0], c.texts[1]};
        }
        break;
    case Command::Stall:
        stallMs_ = c.numbers[0];
        break;
    case Command::Quit:
        return false;
    }
    return true;
}

std::vector<uint8_t> ClientState::answer(const Request& request) const {
    std::vector<uint8_t> out;
    answer(request, out);
    return out;
}

void ClientState::answer(const Request& request, std::vector<uint8_t>& out) const {
    const auto failing = failing_.find(functionName(request.operation));
    if (failing != failing_.end()) {
        reply(out, failing->second.code, 0, 0, failing->second.text);
        return;
    }
    switch (request.operation) {
    case OpVersion: {
        uint8_t* record = reply(out, 0, 1, records::version::kSize, {});
        for (size_t i = 0; i < 4; ++i) {
            records::writeInt32(record + records::version::kNumbers + 4 * i, version_[i]);
        }
        return;
    }
    case OpUserInfo: {
        if (!connected_) {
            reply(out, kNotConnected, 0, 0, "Not connected to a server");
            return;
        }
        writePlayer(reply(out, 0, 1, records::userInfo::kSize, {}), self_);
        return;
    }
    case OpServerInfo: {
        if (!connected_) {
            reply(out, kNotConnected, 0, 0, "Not connected to a server");
            return;
        }
        namespace s = records::serverInfo;
        uint8_t* r = reply(out, 0, 1, s::kSize, {});
        records::writeText(r, s::kName, serverName_);
        records::writeText(r, s::kWelcome, welcome_);
        const int32_t serverVersion[4] = {2, 0, 20, 1};
        for (size_t i = 0; i < 4; ++i) {
            records::writeInt32(r + s::kVersion + 4 * i, serverVersion[i]);
        }
        records::writeText(r, s::kPlatform, platform_);
        records::writeText(r, s::kAddress, address_);
        records::writeText(r, s::kHostName,
                           std::string_view(address_).substr(0, address_.find(':')));
        records::writeInt32(r + s::kType, 4 | 2); // freeware, public
        records::writeInt32(r + s::kMaximumUsers, 1024);
        records::writeInt32(r + s::kCodecs, 0x1FFF); // every codec
        records::writeInt32(r + s::kChannels, 1);
        records::writeInt32(r + s::kPlayers, int32_t(playerCount()));
        return;
    }
    case OpPlayers: {
        // The players allPlayers() lists, written straight into the reply; never more
        // records than the caller has room for.
        size_t all = 0;
        if (connected_) {
            all = 1 + size_t(std::count_if(players_.begin(), players_.end(),
                                           [&](const Player& p) { return p.id != self_.id; }));
        }
        const size_t count = std::min(all, size_t(std::max(request.capacity, 0)));
        uint8_t* rows = reply(out, 0, int32_t(count), count * records::player::kSize, {});
        size_t written = 0;
        auto write = [&](const Player& p) {
            writePlayer(rows + written++ * records::player::kSize, p);
        };
        if (written < count) {
            write(self_);
        }
        for (auto p = players_.begin(); p != players_.end() && written < count; ++p) {
            if (p->id != self_.id) {
                write(*p);
            }
        }
        return;
    }
    case OpSpeakers: {
        if (!connected_) {
            reply(out, kNotConnected, 0, 0, "Not connected to a server");
            return;
        }
        const size_t count = std::min(speakers_.size(), size_t(std::max(request.capacity, 0)));
        uint8_t* ids = reply(out, 0, int32_t(count), count * 4, {});
        for (size_t i = 0; i < count; ++i) {
            records::writeInt32(ids + 4 * i, speakers_[i]);
        }
        return;
    }
    }
    reply(out, kBadArgument, 0, 0, "Unknown request");
}

} // namespace tsremote
