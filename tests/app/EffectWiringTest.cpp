#include "app/Program.h"
#include "radio/EffectTimers.h"
#include "radio/PlayTheSounds.h"
#include "sound/DX7Sound.h"
#include "support/FakeRemoteLibrary.h"
#include "support/FakeSoundSystem.h"
#include "support/LogEntries.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

// The whole program on fakes, with every timer stopped: each test drives the ticks itself.
// The effect as start-up and the window's events reach it; the effect itself is tested in
// tests/radio/.
class EffectWiringTest : public testing::Test {
protected:
    EffectWiringTest() {
        dir.write(QStringLiteral("config.cfg"),
                  "CLICKSOUND = click.wav\r\nNOISESOUND = noise.wav\r\nTXSOUND = tx.wav\r\n"
                  "PLAYTXSOUND = 1\r\nSENSITIVITY = 300\r\n");
        auto remote = std::make_unique<FakeRemoteLibrary>();
        auto sound = std::make_unique<FakeSoundSystem>();
        library = remote.get();
        fakeSound = sound.get();
        program = std::make_unique<Program>(dir.path(), std::move(remote), std::move(sound));
        program->Load();
        fakeSound->attach(program->sound());
        for (Timer* timer : {m().MainTimer, m().CheckTimer, m().NoiseTimer, m().MicClickTimer}) {
            timer->setInterval(0);
        }
        library->self = {1, 1, "EDDH_TWR"};
        library->players = {
            {1, 1, "EDDH_TWR"}, {2, 1, "DLH123"}, {3, 1, "DGF1411"}, {4, 1, "BAW77"}};
        m().lblPID->setCaption(QStringLiteral("EDDH_TWR"));
        fakeSound->takeCalls();
    }

    MainWindow& m() { return program->main(); }
    Vars& vars() { return m().vars; }
    EffectTimers& effect() { return program->effect(); }

    // The client reports these players talking; the next poll lists them.
    void talking(std::vector<int32_t> ids) {
        library->speakers = std::move(ids);
        program->MainTimer_Timer();
    }
    // What the ticks did to the three effect slots since the last look.
    QStringList played() { return fakeSound->takePlaysAndStops(); }
    QString status() { return m().Status->panelText(1); }

    TempDir dir;
    FakeRemoteLibrary* library = nullptr;
    FakeSoundSystem* fakeSound = nullptr;
    std::unique_ptr<Program> program;
};

TEST_F(EffectWiringTest, TheSensitivitySliderSetsBothTimersAndZeroStopsThem) {
    m().Sense->setValueChecked(120);
    EXPECT_EQ(vars().sensitivity, 120);
    EXPECT_EQ(m().CheckTimer->interval(), 120);
    EXPECT_EQ(m().NoiseTimer->interval(), 120);
    EXPECT_TRUE(m().CheckTimer->isTicking());
    m().Sense->setValueChecked(0);
    EXPECT_EQ(vars().sensitivity, 0);
    EXPECT_FALSE(m().CheckTimer->isTicking());
    EXPECT_FALSE(m().NoiseTimer->isTicking());
}

TEST_F(EffectWiringTest, StartUpGivesTheConfiguredSensitivityToSliderAndTimers) {
    EXPECT_EQ(m().Sense->value(), 300);
    EXPECT_EQ(vars().sensitivity, 300);
}

TEST_F(EffectWiringTest, AFailingSoundCallAbandonsOnlyTheRestOfThatTick) {
    // Without the fill sound the table stays empty, so playing the TX slot fails.
    fakeSound->missingFiles = {QStringLiteral("info.wav")};
    program->dispatch([&] { program->Apply(); }); // its own click fails too
    talking({2});
    program->dispatch([&] { effect().CheckTimer_Timer(); });
    EXPECT_EQ(status(), QString()) << "the rest of the failed tick did not run";
    EXPECT_TRUE(vars().txSoundPlayed);
    program->dispatch([&] { effect().CheckTimer_Timer(); });
    EXPECT_EQ(status(), QStringLiteral("TX: DLH123")) << "the next tick runs normally";
    EXPECT_EQ(vars().lastSpeakerCount, 1);
}

TEST_F(EffectWiringTest, ATickNestedInTheUserListRebuildSeesThePreviousSpeakerList) {
    talking({2});
    int seen = -1;
    library->duringGetPlayers = [&] {
        effect().CheckTimer_Timer();
        seen = m().lstSpeakers->listCount();
    };
    talking({2, 3});
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(m().lstSpeakers->listCount(), 2);
}

} // namespace
