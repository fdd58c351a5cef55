#include "ClientState.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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

std::vector<uint8_t> reply(int32_t result, int32_t count, const std::vector<uint8_t>& payload,
                           const std::string& error) {
    const std::string text = error.substr(0, kMaxErrorSize);
    const ReplyHeader header{kReplyMagic, result, count, uint32_t(payload.size()),
                             uint32_t(text.size())};
    std::vector<uint8_t> bytes(sizeof(header) + payload.size() + text.size());
    std::memcpy(bytes.data(), &header, sizeof(header));
    std::copy(payload.begin(), payload.end(), bytes.begin() + sizeof(header));
    std::copy(text.begin(), text.end(), bytes.begin() + sizeof(header) + payload.size());
    return bytes;
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
    const auto failing = failing_.find(functionName(request.operation));
    if (failing != failing_.end()) {
        return reply(failing->second.code, 0, {}, failing->second.text);
    }
    switch (request.operation) {
    case OpVersion: {
        std::vector<uint8_t> record(records::version::kSize);
        for (size_t i = 0; i < 4; ++i) {
            records::writeInt32(record.data() + records::version::kNumbers + 4 * i, version_[i]);
        }
        return reply(0, 1, record, {});
    }
    case OpUserInfo: {
        if (!connected_) {
            return reply(kNotConnected, 0, {}, "Not connected to a server");
        }
        std::vector<uint8_t> record(records::userInfo::kSize);
        writePlayer(record.data(), self_);
        return reply(0, 1, record, {});
    }
    case OpServerInfo: {
        if (!connected_) {
            return reply(kNotConnected, 0, {}, "Not connected to a server");
        }
        std::vector<uint8_t> record(records::serverInfo::kSize);
        namespace s = records::serverInfo;
        uint8_t* r = record.data();
        records::writeText(r, s::kName, serverName_);
        records::writeText(r, s::kWelcome, welcome_);
        const int32_t serverVersion[4] = {2, 0, 20, 1};
        for (size_t i = 0; i < 4; ++i) {
            records::writeInt32(r + s::kVersion + 4 * i, serverVersion[i]);
        }
        records::writeText(r, s::kPlatform, platform_);
        records::writeText(r, s::kAddress, address_);
        records::writeText(r, s::kHostName, address_.substr(0, address_.find(':')));
        records::writeInt32(r + s::kType, 4 | 2); // freeware, public
        records::writeInt32(r + s::kMaximumUsers, 1024);
        records::writeInt32(r + s::kCodecs, 0x1FFF); // every codec
        records::writeInt32(r + s::kChannels, 1);
        records::writeInt32(r + s::kPlayers, int32_t(playerCount()));
        return reply(0, 1, record, {});
    }
    case OpPlayers: {
        // Never more records than the caller has room for.
        const std::vector<Player> all = allPlayers();
        const size_t count = std::min(all.size(), size_t(std::max(request.capacity, 0)));
        std::vector<uint8_t> rows(count * records::player::kSize);
        for (size_t i = 0; i < count; ++i) {
            writePlayer(rows.data() + i * records::player::kSize, all[i]);
        }
        return reply(0, int32_t(count), rows, {});
    }
    case OpSpeakers: {
        if (!connected_) {
            return reply(kNotConnected, 0, {}, "Not connected to a server");
        }
        const size_t count = std::min(speakers_.size(), size_t(std::max(request.capacity, 0)));
        std::vector<uint8_t> ids(count * 4);
        for (size_t i = 0; i < count; ++i) {
            records::writeInt32(ids.data() + 4 * i, speakers_[i]);
        }
        return reply(0, int32_t(count), ids, {});
    }
    }
    return reply(kBadArgument, 0, {}, "Unknown request");
}

} // namespace tsremote
