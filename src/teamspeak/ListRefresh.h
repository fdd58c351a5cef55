#pragma once

#include "window/ListView.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <cstdint>
#include <vector>

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
    // How many IDs' keys are remembered at most.
    static constexpr int kRememberedKeys = 4096;

    void RefreshUsrList();
    void RefreshSpeakerList();

private:
    void applyState(int state);
    // Whether ",," + the excluded callsigns + ",," holds "," + the upper-cased nickname + ",".
    // What the search needs is made again only when the list has changed, and each nickname's
    // answer is kept until then, by the user row it was last asked for and by name.
    bool isExcluded(int row, const QString& nickname);
    // Makes what isExcluded searches again when the list has changed since.
    void followExclusions();
    bool isListed(const QString& upperName) const;

    // "PID" + the ID with its hash, and the ID alone, made once for each ID: a full server
    // needs a thousand of each twenty times a second.
    struct PlayerKey {
        int32_t id = 0;
        bool made = false;
        ListView::Key key;
        QString number;
    };
    // Valid until the next call.
    const PlayerKey& keyOf(int32_t id) {
        static_assert((kRememberedKeys & (kRememberedKeys - 1)) == 0, "a power of two");
        if (!keys_.empty()) {
            const PlayerKey& place = keys_[uint32_t(id) & (kRememberedKeys - 1)];
            if (place.made && place.id == id) {
                return place;
            }
        }
        return makeKey(id);
    }
    const PlayerKey& makeKey(int32_t id);

    // A row's nickname with its answer; the name shares the row's text while it is unchanged.
    struct RowVerdict {
        bool made = false;
        QString name;
        bool excluded = false;
    };

    MainWindow& main_;
    modTSRemote& remote_;
    QString excludedSeen_;
    QString haystack_;
    QSet<QString> excludedEntries_;
    bool excludedReady_ = false;
    QHash<QString, bool> verdicts_;
    std::vector<RowVerdict> rowVerdicts_;
    // Each ID has one place, by its lowest bits: IDs given out one after another never meet
    // there, and those that do just make their key again.
    std::vector<PlayerKey> keys_;
};
