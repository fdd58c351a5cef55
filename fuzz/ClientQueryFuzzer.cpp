// The TeamSpeak 3 back-end fed arbitrary replies and events after a greeting, in arbitrary
// pieces: it must never crash, and its snapshot must hold what every back-end's holds
// (SnapshotCheck.h).

#include "ByteStream.h"
#include "FuzzSupport.h"
#include "SnapshotCheck.h"
#include "clients/TeamSpeak3Client.h"

#include <vector>

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
        fuzz::checkSnapshot(backend.snapshot());
    }

    fuzz::askSixOperations(backend.snapshot());
    fuzz::flushDeferredDeletes();
    return 0;
}
