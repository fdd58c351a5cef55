#include "ListRefresh.h"

#include "app/Failure.h"
#include "app/MainWindow.h"
#include "modTSRemote.h"

#include <QCoreApplication>
#include <cstdint>

namespace {

// Runs one step of a refresh; a failure skips that step only.
template <typename Step> void skipOnFailure(Step&& step) {
    try {
        step();
    } catch (const Failure&) {
    }
}

struct StateRow {
    uint32_t colour; // 0x00BBGGRR
    const char* caption;
    bool readsVersion;
};

const StateRow& stateRow(int state) {
    static const StateRow kUnknown{0xC0, "Unknown", false};
    static const StateRow kNotRunning{0xC0, "Not Running", false};
    static const StateRow kRunning{0x80FF, "Running", true};
    static const StateRow kConnected{0xC000, "Connected", true};
    switch (state) {
    case modTSRemote::NotRunning:
        return kNotRunning;
    case modTSRemote::Running:
        return kRunning;
    case modTSRemote::Connected:
        return kConnected;
    default:
        return kUnknown;
    }
}

QString playerKey(int32_t id) {
    return QLatin1String("PID") + QString::number(id);
}

} // namespace

ListRefresh::ListRefresh(MainWindow& main, modTSRemote& remote) : main_(main), remote_(remote) {}

void ListRefresh::RefreshUsrList() {
    ListView& users = *main_.lstUsers;
    users.clear();
    bool ok = false;
    try {
        ok = remote_.GetPlayers();
    } catch (const Failure&) {
        return;
    }
    if (!ok) {
        return;
    }
    for (const PlayerEntry& player : remote_.players()) {
        if (yieldPerRow_) {
            QCoreApplication::processEvents();
        }
        int row = -1;
        skipOnFailure([&] { row = users.addRow(player.nickname); });
        if (row < 0) {
            continue;
        }
        const QString id = QString::number(player.playerId);
        // Two players under one ID: the second row keeps no key, as the list refuses it.
        skipOnFailure([&] { users.setKey(row, QLatin1String("PID") + id); });
        skipOnFailure([&] { users.setSubItem(row, 1, id); });
        skipOnFailure([&] { users.setSubItem(row, 3, player.channelPrivileges); });
        skipOnFailure([&] { users.setSubItem(row, 4, player.playerPrivileges); });
    }
}

void ListRefresh::RefreshSpeakerList() {
    ListBox& speakers = *main_.lstSpeakers;
    const ListView& users = *main_.lstUsers;
    speakers.clear();
    int state = modTSRemote::NotRunning;
    try {
        state = remote_.GetSpeakers();
    } catch (const Failure&) {
        state = modTSRemote::NotRunning;
    }
    if (state == modTSRemote::Connected) {
        const QString localUser = main_.lblPID->caption();
        const QString haystack =
            QLatin1String(",,") + main_.vars.excludedCallsigns + QLatin1String(",,");
        for (const int32_t id : remote_.speakerIds()) {
            if (users.rowCount() == 0 || id < 1) {
                continue;
            }
            const int row = users.findKey(playerKey(id));
            if (row < 0) {
                continue;
            }
            const QString name = users.rowText(row);
            if (name == localUser) {
                continue;
            }
            if (haystack.contains(QLatin1Char(',') + name.toUpper() + QLatin1Char(','))) {
                continue;
            }
            speakers.addItem(name);
        }
    }
    if (state != main_.vars.lastConnectionState) {
        applyState(state);
    }
}

void ListRefresh::applyState(int state) {
    const StateRow& row = stateRow(state);
    skipOnFailure([&] { main_.lblStatus->setForeColor(row.colour); });
    // Raises the status handler when the caption differs, before the version is shown.
    skipOnFailure([&] { main_.lblStatus->setCaption(QLatin1String(row.caption)); });
    skipOnFailure([&] {
        main_.lblVer->setCaption(row.readsVersion ? remote_.GetClientVersion()
                                                  : QStringLiteral("?.?.?.?"));
    });
    main_.vars.lastConnectionState = state;
}
