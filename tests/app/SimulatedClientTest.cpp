// The program's TeamSpeak link on the stand-in library and a running simulated client.

#include "app/Program.h"
#include "sound/SoundSystem.h"
#include "support/LogEntries.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"
#include "teamspeak/LoadedRemoteLibrary.h"

#include <gtest/gtest.h>

namespace {

class SimulatedClientTest : public ::testing::Test {
protected:
    SimulatedClientTest()
        : sim(dir.file("sim.sock")),
          program(dir.path(), std::make_unique<LoadedRemoteLibrary>(STATICOR_PROGRAM_DIR),
                  nullptr) {}

    MainWindow& m() { return program.main(); }
    void tick() { program.MainTimer_Timer(); }
    QStringList speakers() {
        QStringList out;
        for (int i = 0; i < m().lstSpeakers->listCount(); ++i) {
            out << m().lstSpeakers->list(i);
        }
        return out;
    }

    TempDir dir;
    SimProcess sim;
    Program program;
};

} // namespace

TEST_F(SimulatedClientTest, ConnectingDetectsTheNicknameAndTheLocalUserIsNeverListed) {
    m().logErrors->setValue(1);
    tick();
    EXPECT_EQ(m().lblStatus->caption(), "Running");
    EXPECT_EQ(m().lblVer->caption(), "2.0.32.60");

    sim.type("self 3 \"DLH 123\"\nconnect 127.0.0.1:8767 Tower\njoin 7 EDDH_TWR 1 1 8\n"
             "talk 3\ntalk 7");
    tick();
    EXPECT_EQ(m().lblStatus->caption(), "Connected");
    EXPECT_EQ(m().lblPID->caption(), "DLH 123");
    EXPECT_EQ(logMessagesIn(dir.path()), (QStringList{"STAT Running", "VER -", "STAT Connected",
                                                      "VER 2.0.32.60", "SVRCON 127.0.0.1:8767"}));
    ASSERT_EQ(m().lstUsers->rowCount(), 2);
    EXPECT_EQ(m().lstUsers->rowText(1), "EDDH_TWR");
    EXPECT_EQ(m().lstUsers->subItem(1, 3), "Admin");
    EXPECT_EQ(m().lstUsers->subItem(1, 4), "Registered");

    for (int i = 0; i < 3; ++i) {
        tick();
        EXPECT_EQ(speakers(), QStringList{"EDDH_TWR"});
    }
    sim.type("stop 7");
    tick();
    EXPECT_EQ(speakers(), QStringList{});
}
