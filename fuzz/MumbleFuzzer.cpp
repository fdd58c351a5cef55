// The Mumble back-end fed arbitrary addresses and lists of talking names, with Mumble coming
// and going in between: it must never crash, and its snapshot must stay within the library's
// capacity, the local user first with ID 1, every ID once, in the order they were given.

#include "ByteStream.h"
#include "FuzzSupport.h"
#include "SnapshotCheck.h"
#include "clients/MumbleClient.h"

#include <QDBusConnection>

namespace {

void check(const ClientSnapshot& s) {
    fuzz::checkSnapshot(s);
    if (!s.connected && !s.players.empty()) {
        fuzz::violated("players while not connected");
    }
    if (s.connected &&
        (s.players.front().id != MumbleClient::kSelfId || s.self.id != MumbleClient::kSelfId)) {
        fuzz::violated("the local user is not the first player with ID 1");
    }
    for (size_t i = 1; i < s.players.size(); ++i) {
        if (s.players[i].id <= s.players[i - 1].id) {
            fuzz::violated("player IDs not unique and in order");
        }
    }
    for (size_t i = 0; i < s.speakers.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (s.speakers[i] == s.speakers[j]) {
                fuzz::violated("a speaker listed twice");
            }
        }
    }
}

QString textOf(const std::vector<uint8_t>& bytes) {
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::initApplication();
    MumbleClient backend([] { return QDBusConnection(QStringLiteral("no bus")); });
    backend.appeared();

    // Each step: what happens, then its text, as long as two bytes say. Talking names are the
    // text's lines; a step may repeat its list many times, to reach the library's capacity.
    fuzz::ByteStream stream(data, size);
    std::vector<uint8_t> text;
    while (!stream.empty()) {
        const uint8_t step = stream.byte();
        text.resize(size_t(stream.byte()) << 8 | stream.byte());
        text.resize(stream.fill(text.data(), text.size()));
        switch (step % 8) {
        case 0:
            backend.appeared();
            break;
        case 1:
            backend.vanished();
            break;
        case 2:
            backend.answeredUrl(textOf(text));
            break;
        case 3: {
            // Many distinct names: numbered copies of the text.
            QStringList names;
            for (int i = 0; i < (step >> 3) * 64; ++i) {
                names << textOf(text) + QString::number(i);
            }
            backend.answeredTalking(names);
            break;
        }
        default:
            backend.answeredTalking(textOf(text).split(QLatin1Char('\n')));
        }
        check(backend.snapshot());
        fuzz::askSixOperations(backend.snapshot());
    }
    return 0;
}
