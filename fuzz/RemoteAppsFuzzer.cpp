// The TeamSpeak 5 back-end fed arbitrary messages, with the connection opening, closing and
// failing in between: it must never crash, its snapshot must stay within the library's
// capacity with every speaker and the local user among the players, and the key file, when
// there is one, must be the owner's alone.

#include "ByteStream.h"
#include "FuzzSupport.h"
#include "SnapshotCheck.h"
#include "clients/TeamSpeak5Client.h"

#include <QFile>
#include <sys/stat.h>
#include <vector>

namespace {

void check(const ClientSnapshot& s, const QString& keyFile) {
    fuzz::checkSnapshot(s);
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

    fuzz::askSixOperations(backend.snapshot());
    fuzz::flushDeferredDeletes();
    return 0;
}
