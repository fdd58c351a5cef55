// Start-up as a whole: the configured device chosen from the list, then Apply; and the
// program polling on without a remote-control library.

#include "app/Program.h"
#include "support/FakeSoundSystem.h"
#include "support/LogEntries.h"
#include "support/TempDir.h"
#include "teamspeak/LoadedRemoteLibrary.h"
#include "teamspeak/RemoteLibrary.h"
#include "window/MainWindow.h"

#include <QTcpServer>
#include <gtest/gtest.h>

namespace {

// Start-up as a whole on the fake: the configured device, then Apply.
class StartUpTest : public ::testing::Test {
protected:
    void start(const QByteArray& config) {
        dir.write("config.cfg", config);
        auto sound = std::make_unique<FakeSoundSystem>();
        fake = sound.get();
        fake->devices = {{QStringLiteral("Primary Sound Driver"), QStringLiteral("{a}")},
                         {QStringLiteral("USB Headset"), QStringLiteral("{b}")}};
        program = std::make_unique<Program>(dir.path(), nullptr, std::move(sound));
        fake->attach(program->sound());
        program->main().messageBox = [this](const QString&, const QString& text,
                                            QMessageBox::Icon) { messages.append(text); };
        program->Load();
    }

    TempDir dir;
    FakeSoundSystem* fake = nullptr;
    std::unique_ptr<Program> program;
    QStringList messages;
};

TEST_F(StartUpTest, TheConfiguredDeviceIsSelectedBeforeApplyOpensIt) {
    start("SOUNDDEVICE = 1\r\nBUGTRACKING = 1\r\nCLICKSOUND = click.wav\r\n");
    EXPECT_EQ(program->main().Combo1->listIndex(), 1);
    EXPECT_TRUE(fake->calls.contains("create {b}"));
    EXPECT_FALSE(fake->calls.contains("create {a}"));
    EXPECT_EQ(logMessagesIn(dir.path()),
              (QStringList{"Selected Device: 1 ", "Count Device: 2",
                           "Found Device: Primary Sound Driver", "Found Device: USB Headset",
                           // no TX or noise sound configured
                           "DX7LoadSound: File not found ", "DX7LoadSound: File not found "}));
    EXPECT_EQ(program->main().MainTimer->interval(), 50);
    EXPECT_TRUE(FakeSoundSystem::bufferIn(program->sound(), 0)->playing);
}

TEST_F(StartUpTest, ADevicePastTheEndIsLoggedAndTheFirstDeviceIsUsed) {
    start("SOUNDDEVICE = 2\r\nBUGTRACKING = 1\r\n");
    EXPECT_EQ(program->main().Combo1->listIndex(), 0);
    EXPECT_TRUE(fake->calls.contains("create {a}"));
    const QStringList entries = logMessagesIn(dir.path());
    ASSERT_GE(entries.size(), 5);
    EXPECT_EQ(entries[0], "Selected Device: 2 ");
    EXPECT_EQ(entries[4], "OnLoad: Invalid property value ");
    EXPECT_TRUE(dir.read("errorlog.txt").contains("/380:OnLoad: Invalid property value \r\n"));
    EXPECT_EQ(program->main().MainTimer->interval(), 50);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(StartUpTest, TheGreyedLoggingSwitchStillWritesStartUpFailures) {
    start("SOUNDDEVICE = 2\r\nBUGTRACKING = 2\r\n");
    const QStringList entries = logMessagesIn(dir.path());
    EXPECT_TRUE(entries.contains("Selected Device: 2 "));
    EXPECT_TRUE(entries.contains("OnLoad: Invalid property value "));
}

TEST_F(StartUpTest, ALogoutWhileTheFailureBoxWaitsEndsWithoutWritingTheSettings) {
    dir.write("config.cfg", "SOUNDDEVICE = -1\r\n");
    program = std::make_unique<Program>(dir.path(), nullptr, std::make_unique<FakeSoundSystem>());
    int endedWith = -1;
    QObject::connect(program.get(), &Program::ended, [&](int code) { endedWith = code; });
    // The termination signal closes the window as its close box does, while the box waits.
    program->main().messageBox = [&](const QString&, const QString&, QMessageBox::Icon) {
        program->main().close();
    };
    EXPECT_THROW(program->Load(), EndProgram);
    EXPECT_EQ(dir.read("config.cfg"), "SOUNDDEVICE = -1\r\n");
    EXPECT_EQ(endedWith, 1);
}

TEST_F(StartUpTest, ADeviceOfMinusOneClearsTheSelectionAndEndsTheProgram) {
    EXPECT_THROW(start("SOUNDDEVICE = -1\r\n"), EndProgram);
    EXPECT_EQ(messages.size(), 1);
    EXPECT_FALSE(dir.exists("errorlog.txt"));
    // No orderly shutdown: the configuration is not rewritten.
    EXPECT_EQ(dir.read("config.cfg"), "SOUNDDEVICE = -1\r\n");
}

TEST_F(StartUpTest, AMissingFillSoundEndsApplyAndStartUpLogsIt) {
    dir.write("config.cfg", "BUGTRACKING = 1\r\n");
    auto sound = std::make_unique<FakeSoundSystem>();
    sound->missingFiles.insert("info.wav");
    program = std::make_unique<Program>(dir.path(), nullptr, std::move(sound));
    program->Load();
    EXPECT_EQ(logMessagesIn(dir.path()).mid(3),
              (QStringList{"DX7LoadSound: File not found ",
                           "CreateBuffers: Object variable or With block "
                           "variable not set ",
                           "OnLoad: Object variable or With block variable "
                           "not set "}));
    EXPECT_TRUE(dir.read("errorlog.txt").contains("/91:OnLoad: "));
    // Apply ended at the click: no polling.
    EXPECT_EQ(program->main().MainTimer->interval(), 0);
}

TEST(ProgramWithoutLibrary, PollsOnWithEmptyListsAndLogsNothing) {
    TempDir dir;
    ClientOptions teamSpeak2;
    teamSpeak2.client = ClientOptions::Client::TeamSpeak2;
    Program program(dir.path(), teamSpeak2);
    MainWindow& m = program.main();
    m.logErrors->setValue(1);
    for (int i = 0; i < 3; ++i) {
        emit m.MainTimer->tick();
    }
    EXPECT_EQ(m.lstUsers->rowCount(), 0);
    EXPECT_EQ(m.lstSpeakers->listCount(), 0);
    EXPECT_EQ(m.lblStatus->caption(), "-");
    EXPECT_EQ(m.lblVer->caption(), "-");
    EXPECT_FALSE(dir.exists("errorlog.txt")) << "the refreshes report nothing themselves";
}

} // namespace

TEST(ProgramWithoutAClient, SaysWhatItLookedForAsTheLibraryDoesWithoutAClient) {
    TempDir dir;
    ClientOptions options; // auto
    // No session bus, so no Mumble there either.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("XDG_RUNTIME_DIR");
    // Ports where nothing listens.
    {
        QTcpServer ts3;
        QTcpServer ts5;
        ASSERT_TRUE(ts3.listen(QHostAddress::LocalHost) && ts5.listen(QHostAddress::LocalHost));
        options.ts3Port = ts3.serverPort();
        options.ts5Port = ts5.serverPort();
    }
    Program program(dir.path(), options);
    MainWindow& m = program.main();
    m.logErrors->setValue(1);
    emit m.MainTimer->tick();
    EXPECT_EQ(m.lstUsers->rowCount(), 0);
    const QString lookedFor =
        QStringLiteral("No voice client found (looked for TeamSpeak 2 %1, TeamSpeak 3 ClientQuery "
                       "127.0.0.1:%2, TeamSpeak 5 127.0.0.1:%3, Mumble D-Bus)")
            .arg(LoadedRemoteLibrary::fileName())
            .arg(options.ts3Port)
            .arg(options.ts5Port);
    EXPECT_TRUE(logMessagesIn(dir.path()).contains(lookedFor))
        << logMessagesIn(dir.path()).join('\n').toStdString();
    // No client found, none named.
    for (const QString& message : logMessagesIn(dir.path())) {
        EXPECT_FALSE(message.startsWith("CLIENT ")) << message.toStdString();
    }
}
