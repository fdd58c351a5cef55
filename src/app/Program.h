#pragma once

#include "clients/ClientOptions.h"
#include "config/ErrorLog.h"
#include "window/MainWindow.h"

#include <QCoreApplication>
#include <QObject>
#include <functional>
#include <memory>
#include <vector>

class ConnectionStatus;
class DX7Sound;
class EffectTimers;
class PlayTheSounds;
class ListRefresh;
class RemoteLibrary;
class modTSRemote;
class SoundSystem;
class SystrayMod;

// The running program: the window Main and the modules around it, wired together.
// Owns start-up (Load), shutdown (Unload) and the menu commands, and is the one place where
// window events enter the program's handlers.
class Program : public QObject {
    Q_OBJECT

public:
    // The program on the real platform, following the voice client that options choose. The
    // program directory holds config.cfg, errorlog.txt, the sounds and the remote-control
    // library.
    explicit Program(const QString& programDirectory = QCoreApplication::applicationDirPath(),
                     const ClientOptions& options = {});
    // The program on the given remote-control library and sound system (tests pass fakes; a
    // null one stands for the clients the default options choose).
    Program(const QString& programDirectory, std::unique_ptr<RemoteLibrary> remote,
            std::unique_ptr<SoundSystem> sound, const ClientOptions& options = {});
    ~Program() override;

    MainWindow& main() { return *main_; }
    const ErrorLog& log() const { return log_; }
    SystrayMod& tray() { return *tray_; }
    // The sound buffer engine on the program's sound system.
    DX7Sound& sound() { return *sound_; }

    // Start-up: runs once, before the window is first shown. Traps every failure after its
    // first step; only EndProgram (the sound device could not be started) passes.
    void Load();
    // Shutdown: writes config.cfg and ends the program.
    void Unload();
    bool hasEnded() const { return ended_; }

    // Runs a handler of a window event: a failure abandons the rest of that handler and
    // nothing else; EndProgram ends the event loop at once.
    void dispatch(const std::function<void()>& handler);
    // The same, but a handler that arrives while the lists are being rebuilt runs after the
    // rebuild, from the event loop.
    void dispatchOutsideRefresh(std::function<void()> handler);

    // The Apply action (the click of Command1).
    void Apply();
    // Fills Combo1 with the sound output devices.
    void GetDevices();

    // The MainTimer tick: rebuilds the user list, then the speaker list. A tick that arrives
    // while the lists are being rebuilt (pending events run per row) is dropped.
    void MainTimer_Timer();
    void RefreshUsrList();
    void RefreshSpeakerList();
    // The change handler of lblStatus.
    void lblStatus_Change();

    modTSRemote& tsRemote() { return *tsRemote_; }
    ListRefresh& listRefresh() { return *listRefresh_; }
    ConnectionStatus& connectionStatus() { return *connectionStatus_; }
    EffectTimers& effect() { return *effect_; }
    PlayTheSounds& clicks() { return *clicks_; }

    // Writes "Label: " + description + " " with the failure's number, when logErrors > 0.
    void logFailure(const QString& label, const class Failure& failure) const;

signals:
    // The program has ended: the event loop should stop with this code.
    void ended(int exitCode);

private:
    void trapOnLoad(const std::function<void()>& step);
    void end(int exitCode);
    void connectEvents();
    void runDeferred();

    std::unique_ptr<MainWindow> main_;
    ErrorLog log_;
    std::unique_ptr<RemoteLibrary> remote_;
    std::unique_ptr<SoundSystem> soundSystem_;
    std::unique_ptr<DX7Sound> sound_; // after soundSystem_, so it goes first
    SystrayMod* tray_ = nullptr;      // owned by the window
    std::unique_ptr<modTSRemote> tsRemote_;
    std::unique_ptr<ListRefresh> listRefresh_;
    std::unique_ptr<ConnectionStatus> connectionStatus_;
    std::unique_ptr<PlayTheSounds> clicks_;
    std::unique_ptr<EffectTimers> effect_;
    bool refreshingLists_ = false;
    bool loading_ = false;
    std::vector<std::function<void()>> afterRefresh_;
    bool ended_ = false;
};
