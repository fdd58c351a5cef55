#include "modTSRemote.h"

#include "DescriptionTexts.h"
#include "config/Blanks.h"
#include "config/ErrorLog.h"
#include "window/MainWindow.h"
#include "window/SharedText.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cstring>

namespace {

namespace player = records::player;
namespace server = records::serverInfo;

// The nickname detection reads one byte less than the field holds.
constexpr int kDetectedNicknameWidth = int(player::kNickname.width) - 1;

QString textOf(const uint8_t* record, records::TextField field) {
    return modTSRemote::fieldText(record + field.offset, int(field.width));
}

// Four integers, as in the version record.
QString versionText(const uint8_t* fields) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(modTSRemote::decodeInt32(fields))
        .arg(modTSRemote::decodeInt32(fields + 4))
        .arg(modTSRemote::decodeInt32(fields + 8))
        .arg(modTSRemote::decodeInt32(fields + 12));
}

// The texts depend only on a few bits of each mask; building them once per combination keeps
// the per-tick decoding of a full server cheap (copies of a QString share its data).
template <size_t N> class TextCache {
public:
    explicit TextCache(QString (*build)(int32_t)) {
        for (size_t bits = 0; bits < N; ++bits) {
            texts_[bits] = build(static_cast<int32_t>(bits));
        }
    }
    const QString& operator()(int32_t mask) const { return texts_[mask & (N - 1)]; }

private:
    std::array<QString, N> texts_;
};

const QString& channelPrivilegesText(int32_t mask) {
    static const TextCache<32> cache(&DescriptionTexts::ChannelPrivileges);
    return cache(mask);
}
const QString& playerPrivilegesText(int32_t mask) {
    static const TextCache<16> cache(&DescriptionTexts::PlayerPrivileges);
    return cache(mask);
}
const QString& playerFlagsText(int32_t mask) {
    static const TextCache<128> cache(&DescriptionTexts::PlayerFlags);
    return cache(mask);
}

} // namespace

modTSRemote::modTSRemote(MainWindow& main, RemoteLibrary& library, const ErrorLog& log)
    : main_(main), library_(library), log_(log),
      playerRecords_(size_t(kCapacity) * records::player::kSize),
      decodedRecords_(size_t(kCapacity) * records::player::kSize) {
    players_.reserve(kCapacity);
    speakerIds_.reserve(kCapacity);
}

int32_t modTSRemote::decodeInt32(const uint8_t* bytes) {
    const uint32_t value = uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) |
                           (uint32_t(bytes[2]) << 16) | (uint32_t(bytes[3]) << 24);
    return static_cast<int32_t>(value);
}

QString modTSRemote::fieldText(const uint8_t* field, int width) {
    const void* zero = std::memchr(field, 0, size_t(width));
    const qsizetype length = zero ? static_cast<const uint8_t*>(zero) - field : width;
    return decodeText(QByteArrayView(field, length), zero == nullptr);
}

QString modTSRemote::decodeText(QByteArrayView bytes, bool filled) {
    // The client cuts a longer text at the field's width, possibly inside a character: a
    // decoder that keeps state holds back such an unfinished end, and it is dropped, so that
    // the name shows as far as it goes. Any other byte that is no text in the locale's
    // encoding (an older client's Latin-1) becomes a replacement character.
    QStringDecoder decoder(QStringDecoder::System, filled ? QStringDecoder::Flag::Default
                                                          : QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

void modTSRemote::ReportLastError() {
    std::array<char, kErrorTextSize> buffer{};
    library_.tsrGetLastError(buffer.data(), kErrorTextSize);
    if (logsTrace(main_)) {
        log_.WriteErrorLog(
            fieldText(reinterpret_cast<const uint8_t*>(buffer.data()), kErrorTextSize), 0);
    }
}

QString modTSRemote::GetClientVersion() {
    std::array<uint8_t, records::version::kSize> record{};
    library_.tsrGetVersion(record.data());
    return versionText(record.data() + records::version::kNumbers);
}

void modTSRemote::DetectNickname() {
    main_.lblPID->setCaption(QString());
    std::array<uint8_t, records::userInfo::kSize> record{};
    if (library_.tsrGetUserInfo(record.data()) != 0) {
        ReportLastError();
    }
    main_.lblPID->setCaption(
        fieldText(record.data() + player::kNickname.offset, kDetectedNicknameWidth));
    main_.lblPID->setCaption(trimBlanks(main_.lblPID->caption()));
}

ServerDescription modTSRemote::GetServerDescription() {
    std::array<uint8_t, records::serverInfo::kSize> record{};
    library_.tsrGetServerInfo(record.data());
    const uint8_t* r = record.data();
    ServerDescription d;
    d.serverName = textOf(r, server::kName);
    d.welcomeMessage = textOf(r, server::kWelcome);
    d.version = versionText(r + server::kVersion);
    d.platform = textOf(r, server::kPlatform);
    d.serverAddress = textOf(r, server::kAddress);
    d.hostName = textOf(r, server::kHostName);
    d.serverType = DescriptionTexts::ServerType(decodeInt32(r + server::kType));
    d.maximumUsers = decodeInt32(r + server::kMaximumUsers);
    d.codecs = DescriptionTexts::Codecs(decodeInt32(r + server::kCodecs));
    d.channelCount = decodeInt32(r + server::kChannels);
    d.playerCount = decodeInt32(r + server::kPlayers);
    return d;
}

bool modTSRemote::GetPlayers() {
    std::fill(playerRecords_.begin(), playerRecords_.end(), uint8_t(0));
    int32_t count = kCapacity;
    if (library_.tsrGetPlayers(playerRecords_.data(), &count) != 0) {
        ReportLastError();
        return false;
    }
    // A count outside the buffer given would have us read past it: a failed call.
    if (count < 0 || count > kCapacity) {
        return false;
    }
    // The rows are rewritten in place, and only where the record's bytes differ from those
    // it was decoded from: a full server whose players stay is a thousand comparisons of 50
    // bytes. A nickname whose bytes stay is kept even when the rest of its record changes,
    // which spares a decoding and an allocation.
    constexpr size_t kSize = records::player::kSize;
    const size_t kept = players_.size();
    players_.resize(size_t(count));
    for (size_t i = 0; i < size_t(count); ++i) {
        const uint8_t* record = playerRecords_.data() + i * kSize;
        uint8_t* seen = decodedRecords_.data() + i * kSize;
        const bool known = i < kept;
        if (known && std::memcmp(record, seen, kSize) == 0) {
            continue;
        }
        PlayerEntry& entry = players_[i];
        entry.playerId = decodeInt32(record + player::kId);
        entry.channelId = decodeInt32(record + player::kChannel);
        // A new row starts from no name at all.
        const std::string_view nickname = records::readText(record, player::kNickname);
        const std::string_view before =
            known ? records::readText(seen, player::kNickname) : std::string_view();
        if (nickname != before) {
            entry.nickname = decodeText(QByteArrayView(nickname.data(), qsizetype(nickname.size())),
                                        nickname.size() == player::kNickname.width);
        }
        keepText(entry.channelPrivileges,
                 channelPrivilegesText(decodeInt32(record + player::kChannelPrivileges)));
        keepText(entry.playerPrivileges,
                 playerPrivilegesText(decodeInt32(record + player::kPlayerPrivileges)));
        keepText(entry.playerFlags, playerFlagsText(decodeInt32(record + player::kFlags)));
        std::memcpy(seen, record, kSize);
    }
    return true;
}

int modTSRemote::GetSpeakers() {
    speakerIds_.assign(kCapacity, 0);
    int32_t count = kCapacity;
    const int32_t result = library_.tsrGetSpeakers(speakerIds_.data(), &count);
    switch (result) {
    case -1000:
        return NotRunning;
    case -1:
        return Running;
    case 0:
        // A count outside the buffer given is no answer we can read.
        if (count < 0 || count > kCapacity) {
            speakerIds_.assign(kCapacity, 0);
            return Unknown;
        }
        if (count != 0) {
            speakerIds_.resize(size_t(count));
        }
        return Connected;
    default:
        ReportLastError();
        return Unknown;
    }
}
