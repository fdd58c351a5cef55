// The TeamSpeak 3 back-end fed arbitrary replies and events after a greeting, in arbitrary
// pieces: it must never crash, and its snapshot must stay within the library's capacity with
// every speaker among the players and every nickname within its field.

#include "ByteStream.h"
#include "FuzzSupport.h"
#include "clients/SnapshotLibrary.h"
#include "clients/TeamSpeak3Client.h"

#include <vector>

namespace {

void check(const ClientSnapshot& s) {
    if (s.players.size() > size_t(records::kCapacity) ||
        s.speakers.size() > size_t(records::kCapacity)) {
        fuzz::violated("more players or speakers than the library's capacity");
    }
    for (const int32_t id : s.speakers) {
        bool known = false;
        for (const auto& p : s.players) {
            known = known || p.id == id;
        }
        if (!known) {
            fuzz::violated("a speaker who is not a player");
        }
    }
    for (const auto& p : s.players) {
        if (p.nickname.size() > 29) {
            fuzz::violated("a nickname longer than its field");
        }
    }
    if (s.connected && !s.running) {
        fuzz::violated("connected but not running");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::initApplication();
    TeamSpeak3Client backend(QStringLiteral("127.0.0.1"), 25639, [] { return QByteArray("K"); });
    int commands = 0;
    backend.writer = [&](const QByteArray&) { ++commands; };
    backend.start();
    backend.receive("TS3 Client\n\rselected schandlerid=1\n\r");

    // Pieces of the input, each as long as its first byte says, so that lines and replies
    // are cut anywhere.
    fuzz::ByteStream stream(data, size);
    std::vector<uint8_t> piece;
    while (!stream.empty()) {
        piece.resize(stream.byte() + 1u);
        piece.resize(stream.fill(piece.data(), piece.size()));
        backend.receive(QByteArrayView(piece.data(), qsizetype(piece.size())));
        check(backend.snapshot());
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
    char text[1024];
    library.tsrGetLastError(text, sizeof(text));
    fuzz::flushDeferredDeletes();
    return 0;
}
