// The device list in Combo1, and start-up choosing the configured device from it.

#include "sound/DeviceList.h"

#include "SoundFixture.h"
#include "app/Program.h"
#include "teamspeak/RemoteLibrary.h"

#include <QRegularExpression>

namespace {

class DeviceListTest : public SoundFixture {
protected:
    DeviceListTest() {
        fake.devices = {{QStringLiteral("Primary Sound Driver"), QStringLiteral("{a}")},
                        {QStringLiteral("USB Headset"), QStringLiteral("{b}")},
                        {QStringLiteral("HDMI Output"), QStringLiteral("{c}")}};
    }
    void getDevices() { DeviceList::GetDevices(main, engine, log); }
    QStringList listed() const {
        QStringList out;
        for (int i = 0; i < main.Combo1->count(); ++i) {
            out.append(main.Combo1->itemText(i));
        }
        return out;
    }
};

TEST_F(DeviceListTest, ListsEveryDeviceInOrderSelectsTheFirstAndKeepsTheList) {
    main.logErrors->setValue(1);
    getDevices();
    EXPECT_EQ(listed(), (QStringList{"Primary Sound Driver", "USB Headset", "HDMI Output"}));
    EXPECT_EQ(main.Combo1->listIndex(), 0);
    ASSERT_NE(engine.enumeration(), nullptr);
    EXPECT_EQ(logLines(), (QStringList{entry("Count Device: 3", 0),
                                       entry("Found Device: Primary Sound Driver", 0),
                                       entry("Found Device: USB Headset", 0),
                                       entry("Found Device: HDMI Output", 0)}));

    // Set-up turns list position p into entry p + 1 of the same list.
    main.Combo1->setListIndex(2);
    fake.calls.clear();
    engine.SetupDX7Sound(main);
    EXPECT_EQ(fake.takeCalls(), (QStringList{"guid 3", "create {c}", "cooperative 2"}));
}

TEST_F(DeviceListTest, TraceEntriesAreWrittenForSwitchValuesAboveZeroOnly) {
    getDevices();
    EXPECT_FALSE(dir.exists("errorlog.txt"));
    main.logErrors->setValue(2);
    getDevices();
    EXPECT_EQ(logLines().size(), 4);
    EXPECT_EQ(main.Combo1->count(), 6); // appended, never emptied first
}

TEST_F(DeviceListTest, WithoutAnEnumerationTheListStaysEmptyAndNothingIsStored) {
    fake.failEnum = true;
    main.logErrors->setValue(1);
    getDevices();
    EXPECT_EQ(main.Combo1->count(), 0);
    EXPECT_EQ(engine.enumeration(), nullptr);
    EXPECT_EQ(logLines(), QStringList{entry("GetDevices: No driver ", dsound::kErrNoDriver)});
}

TEST_F(DeviceListTest, AnEmptyEnumerationFailsToSelectTheFirstEntry) {
    fake.devices.clear();
    main.logErrors->setValue(1);
    getDevices();
    EXPECT_EQ(main.Combo1->listIndex(), -1);
    EXPECT_EQ(logLines(), (QStringList{entry("Count Device: 0", 0),
                                       entry("GetDevices: Invalid property value ", 380)}));
}

TEST_F(DeviceListTest, AnUnreadableDescriptionKeepsTheEntriesSoFarAndSelectsNothing) {
    fake.failDescription.insert(2);
    main.logErrors->setValue(1);
    getDevices();
    EXPECT_EQ(listed(), QStringList{"Primary Sound Driver"});
    EXPECT_EQ(main.Combo1->listIndex(), -1);
    EXPECT_EQ(logLines().last(), entry("GetDevices: No such device ", dsound::kErrInvalidParam));
    EXPECT_EQ(logLines().size(), 3);
}

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
    // The messages of errorlog.txt, each after its date/time/number prefix (the time holds
    // colons too, but only digits follow them).
    QStringList logged() const {
        static const QRegularExpression number(QStringLiteral("/-?\\d+:(?=\\D)"));
        QStringList out;
        for (const QByteArray& line : dir.lines("errorlog.txt")) {
            const QString text = QString::fromLatin1(line);
            const QRegularExpressionMatch match = number.match(text);
            out.append(match.hasMatch() ? text.mid(match.capturedEnd()) : text);
        }
        return out;
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
    EXPECT_EQ(logged(),
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
    const QStringList entries = logged();
    ASSERT_GE(entries.size(), 5);
    EXPECT_EQ(entries[0], "Selected Device: 2 ");
    EXPECT_EQ(entries[4], "OnLoad: Invalid property value ");
    EXPECT_TRUE(dir.read("errorlog.txt").contains("/380:OnLoad: Invalid property value \r\n"));
    EXPECT_EQ(program->main().MainTimer->interval(), 50);
    EXPECT_TRUE(messages.isEmpty());
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
    EXPECT_EQ(logged().mid(3), (QStringList{"DX7LoadSound: File not found ",
                                            "CreateBuffers: Object variable or With block "
                                            "variable not set ",
                                            "OnLoad: Object variable or With block variable "
                                            "not set "}));
    EXPECT_TRUE(dir.read("errorlog.txt").contains("/91:OnLoad: "));
    // Apply ended at the click: no polling.
    EXPECT_EQ(program->main().MainTimer->interval(), 0);
}

} // namespace
