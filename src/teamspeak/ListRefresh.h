#pragma once

#include "window/ListView.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <cstdint>

class MainWindow;
class modTSRemote;

// Rebuilds lstUsers from the players on the server and lstSpeakers from the players talking
// now, and makes the status labels follow the connection state. Every failing step is
// skipped silently; the library reports its own failures.
class ListRefresh {
public:
    ListRefresh(MainWindow& main, modTSRemote& remote);

    // Pending window events run before the first row of the user list and every
    // kRowsPerYield rows after it, so other handlers may see it partly filled.
    static constexpr int kRowsPerYield = 256;

    void RefreshUsrList();
    void RefreshSpeakerList();

private:
    void applyState(int state);
    // Whether ",," + the excluded callsigns + ",," holds "," + the upper-cased nickname + ",".
    // What the search needs is made again only when the list has changed, and each nickname's
    // answer is kept until then.
    bool isExcluded(const QString& nickname);
    bool isListed(const QString& upperName) const;

    // "PID" + the ID with its hash, and the ID alone, made once for each ID: a full server
    // needs a thousand of each twenty times a second.
    struct PlayerKey {
        ListView::Key key;
        QString number;
    };
    // Valid until the next call.
    const PlayerKey& keyOf(int32_t id);

    MainWindow& main_;
    modTSRemote& remote_;
    QString excludedSeen_;
    QString haystack_;
    QSet<QString> excludedEntries_;
    bool excludedReady_ = false;
    QHash<QString, bool> verdicts_;
    QHash<int32_t, PlayerKey> keys_;
};
