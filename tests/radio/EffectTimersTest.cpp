#include "radio/EffectTimers.h"

#include "app/Program.h"
#include "radio/PlayTheSounds.h"
#include "sound/DX7Sound.h"
#include "support/FakeRemoteLibrary.h"
#include "support/FakeSoundSystem.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

// The whole program on fakes, with every timer stopped: each test drives the ticks itself.
class EffectTimersTest : public testing::Test {
protected:
    EffectTimersTest() {
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
    QStringList played() {
        QStringList out;
        for (const QString& call : fakeSound->takeCalls()) {
            if (call.startsWith(QLatin1String("play ")) ||
                call.startsWith(QLatin1String("stop "))) {
                out << call;
            }
        }
        return out;
    }
    QString status() { return m().Status->panelText(1); }

    TempDir dir;
    FakeRemoteLibrary* library = nullptr;
    FakeSoundSystem* fakeSound = nullptr;
    std::unique_ptr<Program> program;
};

TEST_F(EffectTimersTest, OneTransmissionFromStartToEnd) {
    talking({2});
    effect().CheckTimer_Timer();
    EXPECT_EQ(played(), QStringList{QStringLiteral("play 6 once")});
    EXPECT_EQ(status(), QStringLiteral("TX: DLH123"));
    EXPECT_TRUE(vars().txSoundPlayed);
    EXPECT_EQ(vars().lastSpeakerCount, 1);

    effect().NoiseTimer_Timer();
    effect().NoiseTimer_Timer();
    effect().CheckTimer_Timer();
    EXPECT_EQ(played(),
              (QStringList{QStringLiteral("play 5 looping"), QStringLiteral("play 5 looping")}))
        << "the noise is asked to loop on every tick; the TX sound plays once";
    EXPECT_TRUE(fakeSound->bufferIn(program->sound(), 5)->playing);

    talking({});
    effect().NoiseTimer_Timer(); // nobody talks: the noise timer leaves the noise alone
    effect().CheckTimer_Timer();
    EXPECT_EQ(played(), (QStringList{QStringLiteral("stop 5"), QStringLiteral("play 4 once"),
                                     QStringLiteral("stop 5")}));
    EXPECT_EQ(status(), QString());
    EXPECT_FALSE(vars().txSoundPlayed);
    EXPECT_TRUE(vars().clickHoldOff);
    EXPECT_EQ(m().MicClickTimer->interval(), PlayTheSounds::kHoldOffMs);
    EXPECT_EQ(vars().lastSpeakerCount, 0);

    effect().MicClickTimer_Timer();
    EXPECT_FALSE(vars().clickHoldOff);
    EXPECT_EQ(m().MicClickTimer->interval(), 0);
    EXPECT_FALSE(m().MicClickTimer->isTicking());
}

TEST_F(EffectTimersTest, AnEmptyListPlaysNothingAndOnlyStopsTheNoise) {
    effect().CheckTimer_Timer();
    effect().NoiseTimer_Timer();
    effect().CheckTimer_Timer();
    EXPECT_EQ(played(), (QStringList{QStringLiteral("stop 5"), QStringLiteral("stop 5")}));
    EXPECT_EQ(status(), QString());
    EXPECT_FALSE(vars().clickHoldOff);
}

TEST_F(EffectTimersTest, AnotherSpeakerAtTheSameCountChangesOnlyTheStatus) {
    talking({2});
    effect().CheckTimer_Timer();
    effect().NoiseTimer_Timer();
    played();
    talking({3});
    effect().CheckTimer_Timer();
    effect().NoiseTimer_Timer();
    EXPECT_EQ(played(), QStringList{QStringLiteral("play 5 looping")});
    EXPECT_EQ(status(), QStringLiteral("TX: DGF1411"));
}

TEST_F(EffectTimersTest, ASecondSpeakerJoiningPlaysNothing) {
    talking({2});
    effect().CheckTimer_Timer();
    played();
    talking({2, 3});
    effect().CheckTimer_Timer();
    EXPECT_EQ(played(), QStringList{});
    EXPECT_EQ(status(), QStringLiteral("TX: DLH123"));
    EXPECT_EQ(vars().lastSpeakerCount, 2);
}

TEST_F(EffectTimersTest, FromTwoSpeakersToOneClicksThenTheNextTicksRestartNoiseAndTx) {
    talking({2, 3});
    effect().CheckTimer_Timer();
    effect().NoiseTimer_Timer();
    played();
    talking({3});
    effect().CheckTimer_Timer();
    EXPECT_EQ(played(), (QStringList{QStringLiteral("play 4 once"), QStringLiteral("stop 5")}));
    EXPECT_EQ(status(), QStringLiteral("TX: DGF1411"))
        << "the status is refreshed before the click";
    effect().NoiseTimer_Timer();
    EXPECT_EQ(played(), QStringList{QStringLiteral("play 5 looping")});
    effect().CheckTimer_Timer();
    EXPECT_EQ(played(), QStringList{QStringLiteral("play 6 once")})
        << "the click cleared the TX state, so the remaining speaker gets a TX sound";
}

TEST_F(EffectTimersTest, TheHoldOffSwallowsAClickButNotTheStop) {
    talking({2});
    effect().CheckTimer_Timer();
    talking({});
    effect().CheckTimer_Timer(); // the first click starts the hold-off
    talking({3});
    effect().CheckTimer_Timer();
    played();
    talking({});
    effect().CheckTimer_Timer();
    EXPECT_EQ(played(), (QStringList{QStringLiteral("stop 5"), QStringLiteral("stop 5")}));
    EXPECT_TRUE(vars().txSoundPlayed) << "no click played, so the TX state stays";

    effect().MicClickTimer_Timer();
    talking({4});
    effect().CheckTimer_Timer();
    EXPECT_EQ(played(), QStringList{}) << "the next transmission starts without a TX sound";
    talking({});
    effect().CheckTimer_Timer();
    EXPECT_EQ(played(), (QStringList{QStringLiteral("stop 5"), QStringLiteral("play 4 once"),
                                     QStringLiteral("stop 5")}));
    EXPECT_FALSE(vars().txSoundPlayed);
}

TEST_F(EffectTimersTest, WithoutTheTxSwitchTheTxStateStillFollowsTransmissions) {
    m().TXpl->setValue(0);
    talking({2});
    effect().CheckTimer_Timer();
    EXPECT_EQ(played(), QStringList{});
    EXPECT_TRUE(vars().txSoundPlayed);
    m().TXpl->setValue(1);
    effect().CheckTimer_Timer();
    EXPECT_EQ(played(), QStringList{}) << "ticking the box mid-transmission plays nothing yet";
    talking({});
    effect().CheckTimer_Timer();
    effect().MicClickTimer_Timer();
    talking({3});
    effect().CheckTimer_Timer();
    EXPECT_EQ(played(), (QStringList{QStringLiteral("stop 5"), QStringLiteral("play 4 once"),
                                     QStringLiteral("stop 5"), QStringLiteral("play 6 once")}));
}

TEST_F(EffectTimersTest, AGreyedTxSwitchCountsAsTicked) {
    m().TXpl->setValue(2);
    talking({2});
    effect().CheckTimer_Timer();
    EXPECT_EQ(played(), QStringList{QStringLiteral("play 6 once")});
}

TEST_F(EffectTimersTest, ThreeSpeakersStoppingAtOnceGiveOneClick) {
    talking({2, 3, 4});
    effect().CheckTimer_Timer();
    played();
    talking({});
    effect().CheckTimer_Timer();
    EXPECT_EQ(played().count(QStringLiteral("play 4 once")), 1);
    EXPECT_EQ(status(), QString());
    EXPECT_EQ(vars().lastSpeakerCount, 0);
}

TEST_F(EffectTimersTest, TxEntriesAreLoggedOnEveryTickOnlyWithTheSwitchAtOne) {
    const auto txEntries = [&] {
        return QString::fromLatin1(dir.read(QStringLiteral("errorlog.txt")))
            .count(QStringLiteral(":TX: DLH123\r\n"));
    };
    talking({2});
    m().logErrors->setValue(2);
    effect().CheckTimer_Timer();
    EXPECT_EQ(txEntries(), 0);
    m().logErrors->setValue(1);
    effect().CheckTimer_Timer();
    effect().CheckTimer_Timer();
    EXPECT_EQ(txEntries(), 2);
}

TEST_F(EffectTimersTest, TheSensitivitySliderSetsBothTimersAndZeroStopsThem) {
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

TEST_F(EffectTimersTest, StartUpGivesTheConfiguredSensitivityToSliderAndTimers) {
    EXPECT_EQ(m().Sense->value(), 300);
    EXPECT_EQ(vars().sensitivity, 300);
}

TEST_F(EffectTimersTest, AFailingSoundCallAbandonsOnlyTheRestOfThatTick) {
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

TEST_F(EffectTimersTest, ATickNestedInTheUserListRebuildSeesThePreviousSpeakerList) {
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
