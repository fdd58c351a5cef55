#pragma once

class MainWindow;
class modTSRemote;

// Rebuilds lstUsers from the players on the server and lstSpeakers from the players talking
// now, and makes the status labels follow the connection state. Every failing step is
// skipped silently; the library reports its own failures.
class ListRefresh {
public:
    ListRefresh(MainWindow& main, modTSRemote& remote);

    void RefreshUsrList();
    void RefreshSpeakerList();

    // Whether pending window events run before each row of the user list.
    void setYieldPerRow(bool yield) { yieldPerRow_ = yield; }

private:
    void applyState(int state);

    MainWindow& main_;
    modTSRemote& remote_;
    bool yieldPerRow_ = true;
};
