#include "ListRefresh.h"

#include "modTSRemote.h"
#include "window/Failure.h"
#include "window/MainWindow.h"
#include "window/SharedText.h"

#include <QCoreApplication>
#include <QStringList>
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

// "PID" and the ID in decimal, built in one allocation: this runs for every row and speaker.
QString playerKey(int32_t id) {
    char16_t key[16] = {u'P', u'I', u'D'};
    int length = 3;
    uint32_t magnitude = id < 0 ? 0u - uint32_t(id) : uint32_t(id);
    if (id < 0) {
        key[length++] = u'-';
    }
    char16_t digits[10];
    int count = 0;
    do {
        digits[count++] = char16_t(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count > 0) {
        key[length++] = digits[--count];
    }
    return QString(reinterpret_cast<const QChar*>(key), length);
}

// Whether ",," + list + ",," holds "," + name + ",", searched without building the needle.
bool isListedIn(const QString& haystack, const QString& name) {
    if (name.isEmpty()) {
        return true; // ",," is always there
    }
    for (qsizetype at = haystack.indexOf(name); at >= 0; at = haystack.indexOf(name, at + 1)) {
        const qsizetype after = at + name.size();
        if (at > 0 && haystack[at - 1] == QLatin1Char(',') && after < haystack.size() &&
            haystack[after] == QLatin1Char(',')) {
            return true;
        }
    }
    return false;
}

// Beyond this many remembered answers (names come and go over a long session) they are
// forgotten and made again as needed.
constexpr qsizetype kRemembered = 4 * 1024;

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
    int index = 0;
    for (const PlayerEntry& player : remote_.players()) {
        // Letting pending events run costs about 2 us a time: before every row that would be
        // most of a full server's refresh, so they run before every 256th row instead.
        if (index++ % kRowsPerYield == 0) {
            QCoreApplication::processEvents();
        }
        int row = -1;
        skipOnFailure([&] { row = users.addRow(player.nickname); });
        if (row < 0) {
            continue;
        }
        const PlayerKey& key = keyOf(player.playerId);
        // Two players under one ID: the second row keeps no key, as the list refuses it.
        skipOnFailure([&] { users.setKey(row, key.key); });
        skipOnFailure([&] { users.setSubItem(row, 1, key.number); });
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
        followExclusions();
        const QString localUser = main_.lblPID->caption();
        for (const int32_t id : remote_.speakerIds()) {
            if (users.rowCount() == 0 || id < 1) {
                continue;
            }
            const int row = users.findKey(keyOf(id).key);
            if (row < 0) {
                continue;
            }
            const QString& name = users.rowText(row);
            if (name == localUser) {
                continue;
            }
            if (isExcluded(row, name)) {
                continue;
            }
            speakers.addItem(name);
        }
    }
    if (state != main_.vars.lastConnectionState) {
        applyState(state);
    }
}

const ListRefresh::PlayerKey& ListRefresh::makeKey(int32_t id) {
    if (keys_.empty()) {
        keys_.resize(kRememberedKeys);
    }
    PlayerKey& place = keys_[uint32_t(id) & (kRememberedKeys - 1)];
    const QString key = playerKey(id);
    place = {id, true, ListView::Key(key), key.mid(3)};
    return place;
}

void ListRefresh::followExclusions() {
    const QString& excluded = main_.vars.excludedCallsigns;
    // A list that was not assigned again still shares its text with the copy kept here:
    // nothing to compare, however long it is.
    if (excludedReady_ && excluded.isSharedWith(excludedSeen_)) {
        return;
    }
    if (!excludedReady_ || excluded != excludedSeen_) {
        haystack_ = QLatin1String(",,") + excluded + QLatin1String(",,");
        const QStringList entries = haystack_.split(QLatin1Char(','));
        excludedEntries_ = QSet<QString>(entries.begin(), entries.end());
        excludedReady_ = true;
        verdicts_.clear();
        rowVerdicts_.clear();
    }
    excludedSeen_ = excluded;
}

bool ListRefresh::isExcluded(int row, const QString& nickname) {
    // The same row with the same text as last time: by far the most common case.
    if (size_t(row) >= rowVerdicts_.size()) {
        rowVerdicts_.resize(size_t(row) + 1);
    }
    RowVerdict& seen = rowVerdicts_[size_t(row)];
    if (seen.made && sameData(seen.name, nickname)) {
        return seen.excluded;
    }
    bool listed;
    const auto known = verdicts_.constFind(nickname);
    if (known != verdicts_.cend()) {
        listed = *known;
    } else {
        if (verdicts_.size() >= kRemembered) {
            verdicts_.clear();
        }
        listed = isListed(nickname.toUpper());
        verdicts_.insert(nickname, listed);
    }
    seen = {true, nickname, listed};
    return listed;
}

bool ListRefresh::isListed(const QString& name) const {
    // "," + name + "," stands in the text exactly when a name without a comma is one of its
    // entries; a name with commas in it is looked for in the text itself.
    if (!name.contains(QLatin1Char(','))) {
        return excludedEntries_.contains(name);
    }
    return isListedIn(haystack_, name);
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
