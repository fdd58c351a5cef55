#pragma once

#include <QSet>
#include <QString>

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
    // Whether ",," + the excluded callsigns + ",," holds "," + name + ",". What the search
    // needs is made again only when the list has changed.
    bool isExcluded(const QString& name);

    MainWindow& main_;
    modTSRemote& remote_;
    QString excludedSeen_;
    QString haystack_;
    QSet<QString> excludedEntries_;
    bool excludedReady_ = false;
};
