// The TeamSpeak 5 back-end fed arbitrary messages, with the connection opening, closing and
// failing in between: it must never crash, its snapshot must stay within the library's
// capacity with every speaker and the local user among the players, and the key file, when
// there is one, must be the owner's alone.

#include "ByteStream.h"
#include "FuzzSupport.h"
#include "clients/SnapshotLibrary.h"
#include "clients/TeamSpeak5Client.h"

#include <QFile>
#include <sys/stat.h>
#include <vector>

namespace {

void check(const ClientSnapshot& s, const QString& keyFile) {
    if (s.players.size() > size_t(records::kCapacity) ||
        s.speakers.size() > size_t(records::kCapacity)) {
        fuzz::violated("more players or speakers than the library's capacity");
    }
    auto isPlayer = [&](int32_t id) {
        for (const auto& p : s.players) {
            if (p.id == id) {
                return true;
            }
        }
        return false;
    };
    for (const int32_t id : s.speakers) {
        if (!isPlayer(id)) {
            fuzz::violated("a speaker who is not a player");
        }
    }
    for (const auto& p : s.players) {
        if (p.nickname.size() > 29) {
            fuzz::violated("a nickname longer than its field");
        }
    }
    if (s.connected && (!s.running || !isPlayer(s.self.id))) {
        fuzz::violated("connected but not running, or without the local user");
    }
    struct stat st {};
    if (::stat(QFile::encodeName(keyFile).constData(), &st) == 0 && (st.st_mode & 077) != 0) {
        fuzz::violated("a key file others may read");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::initApplication();
    const QString keyFile = fuzz::scratchDirectory() + QStringLiteral("/ts5-remote-key");
    QFile::remove(keyFile);
    TeamSpeak5Client backend(QStringLiteral("127.0.0.1"), 5899, keyFile);
    int sent = 0;
    backend.writer = [&](const QByteArray&) { ++sent; };
    backend.start();
    backend.opened();

    // Each step: what happens (mostly a message), then the message, as long as two bytes say.
    fuzz::ByteStream stream(data, size);
    std::vector<uint8_t> message;
    while (!stream.empty()) {
        const uint8_t step = stream.byte();
        switch (step % 16) {
        case 13:
            backend.connectionLost();
            break;
        case 14:
            backend.connectNow();
            backend.opened();
            break;
        case 15:
            backend.connectNow();
            backend.unreachable();
            break;
        default: {
            message.resize(size_t(stream.byte()) << 8 | stream.byte());
            message.resize(stream.fill(message.data(), message.size()));
            backend.receive(QByteArrayView(message.data(), qsizetype(message.size())));
        }
        }
        check(backend.snapshot(), keyFile);
    }

    // The six operations on whatever snapshot is left.
    SnapshotLibrary library(backend.snapshot());
    std::vector<uint8_t> rows(records::kCapacity * records::player::kSize);
    std::vector<int32_t> ids(records::kCapacity);
    uint8_t record[records::serverInfo::kSize];
    int32_t count = records::kCapacity;
    library.tsrGetPlayers(rows.data(), &count);
    count = records::kCapacity;
    library.tsrGetSpeakers(ids.data(), &count);
    library.tsrGetServerInfo(record);
    library.tsrGetUserInfo(record);
    library.tsrGetVersion(record);
    char text[1024];
    library.tsrGetLastError(text, sizeof(text));
    fuzz::flushDeferredDeletes();
    return 0;
}
