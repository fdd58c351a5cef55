#include "Program.h"

#include "app/Version.h"
#include "config/ConfigFile.h"
#include "dialogs/frmAbout.h"
#include "dialogs/frmHelp.h"
#include "dialogs/frmOptions.h"
#include "radio/EffectTimers.h"
#include "radio/PlayTheSounds.h"
#include "sound/DX7Sound.h"
#include "sound/DeviceList.h"
#include "sound/SoundSet.h"
#include "sound/SoundSystem.h"
#include "sound/openal/OpenALSoundSystem.h"
#include "teamspeak/ConnectionStatus.h"
#include "teamspeak/ListRefresh.h"
#include "teamspeak/RemoteLibrary.h"
#include "teamspeak/modTSRemote.h"
#include "window/Failure.h"
#include "window/SystrayMod.h"

#include <QAction>
#include <QPushButton>
#include <cstdio>

Program::Program(const QString& programDirectory, const ClientOptions& options)
    : Program(programDirectory, nullptr, nullptr, options) {}

Program::Program(const QString& programDirectory, std::unique_ptr<RemoteLibrary> remote,
                 std::unique_ptr<SoundSystem> sound, const ClientOptions& options)
    : main_(std::make_unique<MainWindow>()), log_(programDirectory), remote_(std::move(remote)),
      soundSystem_(std::move(sound)) {
    main_->setProgramDirectory(programDirectory);
    if (!soundSystem_) {
        soundSystem_ = std::make_unique<OpenALSoundSystem>();
    }
    sound_ = std::make_unique<DX7Sound>(*main_, *soundSystem_, log_);
    if (!remote_) {
        // Which client is found, and a refused key, are trace entries like "STAT ".
        remote_ = makeClientLayer(options, programDirectory, [this](const QString& text) {
            if (logsTrace(*main_)) {
                log_.WriteErrorLog(QStringLiteral("CLIENT ") + text, 0);
            }
        });
    }
    tsRemote_ = std::make_unique<modTSRemote>(*main_, *remote_, log_);
    listRefresh_ = std::make_unique<ListRefresh>(*main_, *tsRemote_);
    connectionStatus_ = std::make_unique<ConnectionStatus>(*main_, *tsRemote_, log_);
    clicks_ = std::make_unique<PlayTheSounds>(*main_, *sound_);
    effect_ = std::make_unique<EffectTimers>(*main_, *sound_, *clicks_, log_);
    connectEvents();
}

Program::~Program() = default;

void Program::connectEvents() {
    MainWindow& m = *main_;
    connect(&m, &MainWindow::unloadRequested, this, [this] { dispatch([this] { Unload(); }); });
    // What the user starts from the window may open a modal window (a dialog, or the sound
    // device's failure box); started from inside a list refresh, the refresh would wait for it
    // and no tick would poll until it closed. So it runs once the refresh is over.
    connect(m.Command1, &QPushButton::clicked, this,
            [this] { dispatchOutsideRefresh([this] { Apply(); }); });
    connect(m.mnuDebug, &QAction::triggered, this, [this] {
        dispatchOutsideRefresh([this] {
            main_->setHeightTwips(MainWindow::kDebugInformationSize.height);
            main_->setWidthTwips(MainWindow::kDebugInformationSize.width);
        });
    });
    connect(m.mnuPreferences, &QAction::triggered, this,
            [this] { dispatchOutsideRefresh([this] { frmOptions(*main_).showModal(); }); });
    connect(m.mnuTopics, &QAction::triggered, this,
            [this] { dispatchOutsideRefresh([this] { frmHelp(*main_).showModal(); }); });
    connect(m.mnuAbout, &QAction::triggered, this, [this] {
        dispatchOutsideRefresh([this] { frmAbout(*main_, kProgramVersion.text()).showModal(); });
    });

    connect(m.MainTimer, &Timer::tick, this, [this] { dispatch([this] { MainTimer_Timer(); }); });
    connect(m.CheckTimer, &Timer::tick, this,
            [this] { dispatch([this] { effect_->CheckTimer_Timer(); }); });
    connect(m.NoiseTimer, &Timer::tick, this,
            [this] { dispatch([this] { effect_->NoiseTimer_Timer(); }); });
    connect(m.MicClickTimer, &Timer::tick, this,
            [this] { dispatch([this] { effect_->MicClickTimer_Timer(); }); });
    connect(m.Sense, &Slider::valueChanged, this,
            [this] { dispatch([this] { effect_->Sense_Change(); }); });
    connect(m.lblStatus, &Label::changed, this,
            [this] { dispatch([this] { lblStatus_Change(); }); });

    tray_ = new SystrayMod(m);
    connect(&m, &MainWindow::resized, this, [this] { dispatch([this] { tray_->Resize(); }); });
}

void Program::dispatch(const std::function<void()>& handler) {
    if (ended_) {
        return;
    }
    try {
        handler();
    } catch (const Failure& failure) {
        // Unexpected in a handler that traps nothing: abandon the rest of it. The next
        // event or tick runs normally.
        std::fprintf(stderr, "staticor: %d: %s\n", failure.number(),
                     failure.description().toLocal8Bit().constData());
    } catch (const EndProgram& endProgram) {
        end(endProgram.exitCode);
    }
}

void Program::dispatchOutsideRefresh(std::function<void()> handler) {
    if (!refreshingLists_) {
        dispatch(handler);
        return;
    }
    afterRefresh_.push_back(std::move(handler));
}

void Program::MainTimer_Timer() {
    if (refreshingLists_) {
        return;
    }
    refreshingLists_ = true;
    struct Done {
        Program& program;
        ~Done() {
            program.refreshingLists_ = false;
            program.runDeferred();
        }
    } done{*this};
    RefreshUsrList();
    RefreshSpeakerList();
}

void Program::runDeferred() {
    if (afterRefresh_.empty()) {
        return;
    }
    // From the event loop, not from inside this tick's handler: a modal window opened here
    // would otherwise hold up whoever called the tick.
    std::vector<std::function<void()>> handlers;
    handlers.swap(afterRefresh_);
    QMetaObject::invokeMethod(
        this,
        [this, handlers = std::move(handlers)] {
            for (const auto& handler : handlers) {
                dispatchOutsideRefresh(handler);
            }
        },
        Qt::QueuedConnection);
}

void Program::RefreshUsrList() {
    listRefresh_->RefreshUsrList();
}
void Program::RefreshSpeakerList() {
    listRefresh_->RefreshSpeakerList();
}
void Program::lblStatus_Change() {
    connectionStatus_->lblStatus_Change();
}

void Program::logFailure(const QString& label, const Failure& failure) const {
    if (logsFailures(*main_)) {
        log_.WriteErrorLog(label + failure.description() + QLatin1Char(' '), failure.number());
    }
}

void Program::trapOnLoad(const std::function<void()>& step) {
    try {
        step();
    } catch (const Failure& failure) {
        logFailure(QStringLiteral("OnLoad: "), failure);
    }
}

void Program::Load() {
    loading_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{loading_};
    MainWindow& m = *main_;
    Vars& vars = m.vars;
    m.setHeightTwips(MainWindow::kCompactSize.height);
    m.setWidthTwips(MainWindow::kCompactSize.width);

    trapOnLoad([&] { m.setWindowTitle(mainWindowTitle()); });
    trapOnLoad([&] { ConfigFile::Read(m); });
    trapOnLoad([&] { m.logErrors->setValue(vars.bugTracking); });
    trapOnLoad([&] {
        if (logsFailures(m)) {
            log_.WriteErrorLog(QStringLiteral("Selected Device: %1 ").arg(vars.soundDeviceIndex),
                               0);
        }
    });
    trapOnLoad([&] {
        if (vars.sensitivity > 600) {
            vars.sensitivity = 600;
        }
    });
    trapOnLoad([&] { m.Sense->setValueChecked(vars.sensitivity); });
    trapOnLoad([&] { m.NoiseTimer->setInterval(vars.sensitivity); });
    trapOnLoad([&] { m.CheckTimer->setInterval(vars.sensitivity); });
    trapOnLoad([&] { GetDevices(); });
    trapOnLoad([&] {
        if (vars.soundDeviceIndex != 0) {
            m.Combo1->setListIndex(vars.soundDeviceIndex);
        }
    });
    trapOnLoad([&] { Apply(); });
}

void Program::Unload() {
    // During start-up the window is not shown yet: a close can only come from a termination
    // signal while the sound device's failure box waits, and after that box the program ends
    // without the orderly shutdown. Writing the settings then would store the device that
    // failed for every later start.
    if (loading_) {
        end(1);
        return;
    }
    if (!ConfigFile::Write(*main_)) {
        std::fprintf(stderr, "staticor: could not write %s\n",
                     ConfigFile::path(*main_).toLocal8Bit().constData());
    }
    end(0);
}

void Program::end(int exitCode) {
    if (ended_) {
        return;
    }
    ended_ = true;
    // No tick may run after the end.
    main_->MainTimer->setInterval(0);
    main_->CheckTimer->setInterval(0);
    main_->NoiseTimer->setInterval(0);
    main_->MicClickTimer->setInterval(0);
    emit ended(exitCode);
}

void Program::GetDevices() {
    DeviceList::GetDevices(*main_, *sound_, log_);
}

void Program::Apply() {
    SoundSet::Apply(*main_, *sound_);
}
