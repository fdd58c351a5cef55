// The remote-control library answering with arbitrary result codes, counts and records:
// the decoding and both list refreshes must never crash, never read past a buffer, and the
// lists must stay consistent with each other.

#include "FuzzSupport.h"
#include "FuzzedRemoteLibrary.h"
#include "config/ErrorLog.h"
#include "teamspeak/ListRefresh.h"
#include "teamspeak/modTSRemote.h"
#include "window/MainWindow.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStringList>

namespace {

// Catches only the library's own Failure, as the program's handlers do.
template <typename Step> void trapped(Step&& step) {
    try {
        step();
    } catch (const Failure&) {
    }
}

void checkLists(const MainWindow& main) {
    const ListView& users = *main.lstUsers;
    if (users.rowCount() > modTSRemote::kCapacity) {
        fuzz::violated("more user rows than the buffer holds");
    }
    QStringList names;
    for (int row = 0; row < users.rowCount(); ++row) {
        names << users.rowText(row);
    }
    const ListBox& speakers = *main.lstSpeakers;
    for (int i = 0; i < speakers.listCount(); ++i) {
        if (!names.contains(speakers.list(i))) {
            fuzz::violated("a speaker who is not among the users");
        }
    }
    static const QStringList states{"-", "Unknown", "Not Running", "Running", "Connected"};
    if (!states.contains(main.lblStatus->caption())) {
        fuzz::violated("a status caption the program never sets");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::initApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ByteStream bytes(data, size);
    fuzz::FuzzedRemoteLibrary library(bytes);
    const QString directory = fuzz::scratchDirectory();
    QFile::remove(QDir(directory).filePath(QStringLiteral("errorlog.txt")));

    MainWindow main;
    main.setProgramDirectory(directory);
    const uint8_t setup = bytes.byte();
    main.logErrors->setValue(setup & 1); // the last-error text is logged only when on
    main.vars.excludedCallsigns = (setup & 2) ? QStringLiteral("DLH1,,X") : QString();
    ErrorLog log(directory, QLocale::c());
    modTSRemote remote(main, library, log);
    ListRefresh refresh(main, remote);

    // A few ticks, with the queries the status handler makes mixed in as the bytes say.
    for (int tick = 0; tick < 4 && !bytes.empty(); ++tick) {
        const uint8_t extra = bytes.byte();
        if (extra & 1) {
            trapped([&] { remote.DetectNickname(); });
        }
        if (extra & 2) {
            trapped([&] { remote.GetServerDescription(); });
        }
        refresh.RefreshUsrList();
        refresh.RefreshSpeakerList();
        checkLists(main);
        if (int(remote.speakerIds().size()) > modTSRemote::kCapacity) {
            fuzz::violated("more speaker IDs than the buffer holds");
        }
    }
    fuzz::flushDeferredDeletes();
    return 0;
}
