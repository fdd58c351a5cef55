#pragma once

class ErrorLog;
class MainWindow;
class modTSRemote;

// The reaction to a change of lblStatus: logs the new status and the version label as it was
// before the change, and on "Connected" the server address and the local user's nickname.
class ConnectionStatus {
public:
    ConnectionStatus(MainWindow& main, modTSRemote& remote, const ErrorLog& log);

    // Traps nothing: a failing step ends the handler.
    void lblStatus_Change();

private:
    MainWindow& main_;
    modTSRemote& remote_;
    const ErrorLog& log_;
};
