#include "radio/EffectTimers.h"

#include "config/ConfigFile.h"
#include "config/ErrorLog.h"
#include "radio/PlayTheSounds.h"
#include "sound/DX7Sound.h"
#include "sound/DeviceList.h"
#include "sound/SoundSet.h"
#include "support/FakeSoundSystem.h"
#include "support/LogEntries.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"
#include "window/MainWindow.h"

#include <gtest/gtest.h>
#include <map>

namespace {

// The effect on a recording sound system, its sounds loaded as start-up loads them, every
// timer stopped: each test fills the speaker list and drives the ticks itself.
class EffectTimersTest : public testing::Test {
protected:
    EffectTimersTest() {
        dir.write(QStringLiteral("config.cfg"),
                  "CLICKSOUND = click.wav\r\nNOISESOUND = noise.wav\r\nTXSOUND = tx.wav\r\n"
                  "PLAYTXSOUND = 1\r\nSENSITIVITY = 300\r\n");
        main.setProgramDirectory(dir.path());
        ConfigFile::Read(main);
        DeviceList::GetDevices(main, engine, log);
        SoundSet::Apply(main, engine);
        fakeSound.attach(engine);
        for (Timer* timer : {m().MainTimer, m().CheckTimer, m().NoiseTimer, m().MicClickTimer}) {
            timer->setInterval(0);
        }
        fakeSound.takeCalls();
    }

    MainWindow& m() { return main; }
    Vars& vars() { return main.vars; }
    EffectTimers& effect() { return effect_; }

    // These players are talking now, as the speaker list shows them (by callsign).
    void talking(const std::vector<int32_t>& ids) {
        static const std::map<int32_t, QString> callsigns{{2, QStringLiteral("DLH123")},
                                                          {3, QStringLiteral("DGF1411")},
                                                          {4, QStringLiteral("BAW77")}};
        m().lstSpeakers->clear();
        for (int32_t id : ids) {
            m().lstSpeakers->addItem(callsigns.at(id));
        }
    }
    // What the ticks did to the three effect slots since the last look.
    QStringList played() { return fakeSound.takePlaysAndStops(); }
    QString status() { return m().Status->panelText(1); }

    TempDir dir;
    MainWindow main;
    ErrorLog log{dir.path()};
    FakeSoundSystem fakeSound;
    DX7Sound engine{main, fakeSound, log};
    PlayTheSounds clicks{main, engine};
    EffectTimers effect_{main, engine, clicks, log};
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
    EXPECT_TRUE(fakeSound.bufferIn(engine, 5)->playing);

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
        return logMessagesIn(dir.path()).count(QStringLiteral("TX: DLH123"));
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

} // namespace
