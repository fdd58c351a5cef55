// The slot engine and Apply against the recording fake.

#include "SoundFixture.h"
#include "sound/DeviceList.h"
#include "sound/SoundSet.h"
#include "support/RaisesFailure.h"

using Buffer = FakeSoundSystem::Buffer;

namespace {

class EngineTest : public SoundFixture {
protected:
    EngineTest() {
        main.vars.clickSoundFile = QStringLiteral("click.wav");
        main.vars.noiseSoundFile = QStringLiteral("noise.wav");
        main.vars.txSoundFile = QStringLiteral("tx.wav");
        main.MicVol->setValueChecked(80);
        main.NoiseVol->setValueChecked(30);
    }

    void listAndApply() {
        DeviceList::GetDevices(main, engine, log);
        fake.calls.clear();
        SoundSet::Apply(main, engine);
    }

    QString fileIn(int slot) const {
        Buffer* buffer = FakeSoundSystem::bufferIn(engine, slot);
        return buffer ? buffer->file() : QString();
    }
    int volumeIn(int slot) const { return FakeSoundSystem::bufferIn(engine, slot)->volume; }
};

TEST_F(EngineTest, ApplyOpensTheSelectedDeviceFillsTheElevenSlotsAndPlaysTheClickOnce) {
    listAndApply();

    QStringList expected{"guid 1", "create {dev-1}", "cooperative 2"};
    for (int slot = 0; slot <= 10; ++slot) {
        expected << "load info.wav" << QStringLiteral("volume %1 -3000").arg(slot);
    }
    expected << "status 0"
             << "load click.wav"
             << "play 0 once"
             << "load click.wav"
             << "volume 4 -1200"
             << "load tx.wav"
             << "volume 6 -1200"
             << "load noise.wav"
             << "volume 5 -4200";
    EXPECT_EQ(fake.takeCalls(), expected);

    const QStringList files{"click.wav", "info.wav",  "info.wav", "info.wav",
                            "click.wav", "noise.wav", "tx.wav",   "info.wav",
                            "info.wav",  "info.wav",  "info.wav"};
    ASSERT_EQ(engine.buffers().size(), 11u);
    for (int slot = 0; slot <= 10; ++slot) {
        EXPECT_EQ(fileIn(slot), files[slot]) << "slot " << slot;
        EXPECT_TRUE(engine.buffers()[slot].Loaded);
    }
    // The Apply click is loaded fresh and left unattenuated and centred.
    EXPECT_EQ(volumeIn(0), 0);
    EXPECT_TRUE(FakeSoundSystem::bufferIn(engine, 0)->playing);
    EXPECT_EQ(engine.nextSlot(), 0);
    EXPECT_EQ(main.MainTimer->interval(), 50);

    // Every file comes from the program directory with the static, globally audible buffer.
    EXPECT_EQ(engine.soundPath(), dir.path() + "/");
    EXPECT_EQ(fake.fullPaths.last(), dir.path() + "/noise.wav");
    EXPECT_EQ(fake.lastFlags, 0x80E2);
}

TEST_F(EngineTest, ASecondApplyRebuildsTheTableOnTheNewlySelectedDeviceAndSilencesIt) {
    fake.devices.push_back({QStringLiteral("USB Headset"), QStringLiteral("{dev-2}")});
    listAndApply();
    engine.DX7PlayLooping(5);
    Buffer* oldNoise = FakeSoundSystem::bufferIn(engine, 5);
    ASSERT_TRUE(oldNoise->playing);
    EXPECT_EQ(fake.liveBuffers, 11);

    main.Combo1->setListIndex(1);
    main.MicVol->setValueChecked(0);
    fake.calls.clear();
    SoundSet::Apply(main, engine);

    const QStringList calls = fake.takeCalls();
    EXPECT_EQ(calls.mid(0, 2), (QStringList{"guid 2", "create {dev-2}"}));
    // The old buffers are gone with the old table: the noise loop no longer exists.
    EXPECT_EQ(fake.liveBuffers, 11);
    EXPECT_FALSE(FakeSoundSystem::bufferIn(engine, 5)->playing);
    EXPECT_EQ(main.Combo1->count(), 2);
    // A slider at 0 is -60 dB, not silence.
    EXPECT_EQ(volumeIn(4), -6000);
    EXPECT_EQ(volumeIn(6), -6000);
}

TEST_F(EngineTest, VolumeAndPanScales) {
    const std::pair<int, int> volumes[] = {
        {0, -6000}, {1, -5940}, {50, -3000}, {99, -60}, {100, 0}};
    for (auto [volume, hundredths] : volumes) {
        EXPECT_EQ(DX7Sound::volumeScale(static_cast<uint8_t>(volume)), hundredths) << volume;
    }
    const std::pair<int, int> pans[] = {{0, -10000}, {1, -4900},   {50, 0},
                                        {99, 4900},  {100, 10000}, {150, 10000}};
    for (auto [pan, value] : pans) {
        EXPECT_EQ(DX7Sound::panScale(static_cast<uint8_t>(pan)), value) << pan;
    }

    listAndApply();
    fake.calls.clear();
    engine.DX7SetVolume(3, 0);
    engine.DX7SetPan(3, 1);
    EXPECT_EQ(fake.takeCalls(), (QStringList{"volume 3 -6000", "pan 3 -4900"}));

    // Beyond the sliders' range the device refuses, and the failure reaches the caller.
    EXPECT_THROW(engine.DX7SetVolume(3, 101), Failure);
    EXPECT_THROW(engine.DX7SetPan(3, 151), Failure);
    EXPECT_EQ(FakeSoundSystem::bufferIn(engine, 3)->volume, -6000);
}

TEST_F(EngineTest, PlaySoundSearchesForASlotThatIsNotPlayingAOneShot) {
    listAndApply();
    // Slot 0 still plays the Apply click: the next sound goes to slot 1, which stays chosen.
    fake.calls.clear();
    engine.DX7PlaySound(QStringLiteral("tx.wav"), 100, 50, 0);
    EXPECT_EQ(fake.takeCalls(),
              (QStringList{"status 0", "status 1", "load tx.wav", "play 1 once"}));
    EXPECT_EQ(engine.nextSlot(), 1);

    // A looping slot counts as free and is loaded over.
    engine.DX7PlayLooping(1);
    fake.calls.clear();
    engine.DX7PlaySound(QStringLiteral("noise.wav"), 0, 0, 1);
    EXPECT_EQ(fake.takeCalls(), (QStringList{"status 1", "load noise.wav", "pan 1 -10000",
                                             "volume 1 -6000", "play 1 looping"}));
    EXPECT_EQ(fileIn(1), "noise.wav");
}

TEST_F(EngineTest, PlaySoundWrapsAroundAndNeverHangsWhenEverySlotIsBusy) {
    listAndApply();
    for (int slot = 1; slot <= 10; ++slot) {
        engine.DX7PlayOnce(static_cast<int16_t>(slot));
    }
    // Slots 0..10 all play one-shots except slot 2, which has ended.
    FakeSoundSystem::bufferIn(engine, 2)->finish();
    engine.DX7PlaySound(QStringLiteral("tx.wav"), 100, 50, 0); // 0 and 1 busy, lands on 2
    ASSERT_EQ(engine.nextSlot(), 2);
    FakeSoundSystem::bufferIn(engine, 0)->finish();
    fake.calls.clear();
    engine.DX7PlaySound(QStringLiteral("click.wav"), 100, 50, 0);
    const QStringList wrapped = fake.takeCalls();
    EXPECT_EQ(wrapped.filter("status").size(), 10) << wrapped.join(", ").toStdString();
    EXPECT_EQ(wrapped.filter("status").last(), "status 0");
    EXPECT_EQ(engine.nextSlot(), 0);

    // All eleven busy: one pass, then the slot where the search began.
    fake.calls.clear();
    engine.DX7PlaySound(QStringLiteral("tx.wav"), 100, 50, 0);
    const QStringList full = fake.takeCalls();
    EXPECT_EQ(full.filter("status").size(), 11);
    EXPECT_EQ(engine.nextSlot(), 0);
    EXPECT_EQ(fileIn(0), "tx.wav");
}

// A missing click, TX or noise file leaves the fill sound in its slot at the applied volume.
class MissingSoundTest : public EngineTest, public ::testing::WithParamInterface<int> {};

TEST_P(MissingSoundTest, TheSlotKeepsTheFillSoundAtTheAppliedVolume) {
    const int slot = GetParam();
    const QString file = slot == 4 ? "click.wav" : slot == 5 ? "noise.wav" : "tx.wav";
    fake.missingFiles.insert(file);
    main.logErrors->setValue(1);
    listAndApply();

    EXPECT_EQ(fileIn(slot), "info.wav");
    EXPECT_EQ(volumeIn(slot), slot == 5 ? -4200 : -1200);
    EXPECT_EQ(main.MainTimer->interval(), 50);
    const int failures = slot == 4 ? 2 : 1; // the click is also what Apply plays
    EXPECT_EQ(logLines().filter("DX7LoadSound: File not found ").size(), failures);
    if (slot == 4) {
        // The Apply click then sounds the fill sound at the fill volume.
        EXPECT_EQ(fileIn(0), "info.wav");
        EXPECT_EQ(volumeIn(0), -3000);
        EXPECT_TRUE(FakeSoundSystem::bufferIn(engine, 0)->playing);
    }
}

INSTANTIATE_TEST_SUITE_P(ClickTxNoise, MissingSoundTest, ::testing::Values(4, 5, 6));

TEST_F(EngineTest, AMissingFillSoundLeavesTheTableEmptyAndApplyStopsAtTheClick) {
    fake.missingFiles.insert("info.wav");
    main.logErrors->setValue(1);
    DeviceList::GetDevices(main, engine, log);
    // The click's status call has no buffer to ask.
    EXPECT_THAT([&] { SoundSet::Apply(main, engine); }, RaisesFailure(91));
    ASSERT_EQ(engine.buffers().size(), 11u);
    for (const DX7Sound::Slot& slot : engine.buffers()) {
        EXPECT_FALSE(slot.Loaded);
        EXPECT_EQ(slot.Buffer, nullptr);
    }
    EXPECT_EQ(main.MainTimer->interval(), 0);
    const QStringList lines = logLines();
    EXPECT_EQ(
        lines.mid(lines.size() - 2),
        (QStringList{entry("DX7LoadSound: File not found ", dsound::kErrFileNotFound),
                     entry("CreateBuffers: Object variable or With block variable not set ", 91)}));
}

TEST_F(EngineTest, ADeviceThatCannotBeOpenedShowsTheMessageAndEndsTheProgram) {
    fake.failCreate.insert("{dev-1}");
    main.logErrors->setValue(1);
    DeviceList::GetDevices(main, engine, log);
    EXPECT_THROW(SoundSet::Apply(main, engine), EndProgram);
    EXPECT_EQ(messages, QStringList{"Unable to start DirectSound. Check to see that your sound "
                                    "card is properly installed"});
    EXPECT_EQ(logLines().last(), entry("SetupDX7Sound: No driver ", dsound::kErrNoDriver));
    EXPECT_TRUE(engine.buffers().empty());
    EXPECT_EQ(main.MainTimer->interval(), 0);

    // Before any device list, or with nothing selected, there is no device to open either.
    DX7Sound unlisted(main, fake, log);
    EXPECT_THROW(unlisted.SetupDX7Sound(main), EndProgram);
    main.Combo1->setListIndex(-1);
    EXPECT_THROW(engine.SetupDX7Sound(main), EndProgram);
    EXPECT_EQ(messages.size(), 3);
}

TEST_F(EngineTest, ARefusedCooperativeLevelIsLoggedAndApplyGoesOn) {
    fake.failCooperativeLevel = true;
    DeviceList::GetDevices(main, engine, log);
    main.logErrors->setValue(2);
    SoundSet::Apply(main, engine);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(logLines(),
              QStringList{entry("SetupDX7Sound: Level refused ", dsound::kErrInvalidParam)});
    EXPECT_EQ(engine.buffers().size(), 11u);
    EXPECT_EQ(main.MainTimer->interval(), 50);
}

// Timer ticks can reach the engine while the start-up failure message waits, before any table.
TEST_F(EngineTest, SlotOperationsBeforeTheTableExistsDoNothingAndLogNothing) {
    main.logErrors->setValue(1);
    const auto everyOperation = [&](int16_t slot) {
        engine.DX7PlayOnce(slot);
        engine.DX7PlayLooping(slot);
        engine.DX7StopSound(slot);
        engine.DX7SetVolume(slot, 50);
        engine.DX7SetPan(slot, 0);
        engine.DX7LoadSound(slot, QStringLiteral("click.wav"));
        engine.DX7PlaySound(QStringLiteral("click.wav"), 80, 0, 1);
    };

    // Neither device nor table.
    for (int16_t slot : {int16_t{0}, int16_t{5}, int16_t{-1}, int16_t{11}}) {
        EXPECT_NO_THROW(everyOperation(slot)) << "slot " << slot;
    }
    EXPECT_TRUE(fake.calls.isEmpty());
    EXPECT_TRUE(logLines().isEmpty()) << logLines().join('\n').toStdString();

    // A device, but no table yet.
    DeviceList::GetDevices(main, engine, log);
    engine.SetupDX7Sound(main);
    engine.SetSoundPath(dir.path());
    const qsizetype listed = logLines().size();
    fake.calls.clear();
    EXPECT_NO_THROW(everyOperation(5));
    EXPECT_TRUE(fake.takeCalls().isEmpty());
    EXPECT_TRUE(engine.buffers().empty());
    EXPECT_EQ(engine.nextSlot(), 0);
    EXPECT_EQ(logLines().size(), listed) << logLines().join('\n').toStdString();

    // Once the table exists, a slot outside it fails as before, and a load there is logged.
    engine.CreateBuffers(10, QStringLiteral("info.wav"));
    fake.calls.clear();
    for (int16_t slot : {int16_t{-1}, int16_t{11}}) {
        EXPECT_THAT([&] { engine.DX7PlayOnce(slot); }, RaisesFailure(9));
        EXPECT_THAT([&] { engine.DX7PlayLooping(slot); }, RaisesFailure(9));
        EXPECT_THAT([&] { engine.DX7StopSound(slot); }, RaisesFailure(9));
        EXPECT_THAT([&] { engine.DX7SetVolume(slot, 50); }, RaisesFailure(9));
        EXPECT_THAT([&] { engine.DX7SetPan(slot, 0); }, RaisesFailure(9));
        engine.DX7LoadSound(slot, QStringLiteral("click.wav"));
    }
    EXPECT_TRUE(fake.takeCalls().isEmpty());
    EXPECT_EQ(logLines().mid(listed),
              QStringList(2, entry("DX7LoadSound: Subscript out of range ", 9)));
    engine.DX7StopSound(5);
    EXPECT_EQ(fake.takeCalls(), QStringList{"stop 5"});
}

TEST_F(EngineTest, FailuresAreLoggedOnlyWhileTheSwitchIsAboveZero) {
    fake.missingFiles.insert("tx.wav");
    DeviceList::GetDevices(main, engine, log);
    for (int logging : {0, 1, 2}) {
        main.logErrors->setValue(logging);
        const qsizetype before = logLines().size();
        SoundSet::Apply(main, engine);
        EXPECT_EQ(logLines().size() - before, logging > 0 ? 1 : 0) << "switch " << logging;
    }
    EXPECT_EQ(logLines(),
              QStringList(2, entry("DX7LoadSound: File not found ", dsound::kErrFileNotFound)));
}

} // namespace
