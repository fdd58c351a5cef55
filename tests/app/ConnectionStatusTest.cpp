#include "app/Program.h"
#include "sound/SoundSystem.h"
#include "support/FakeRemoteLibrary.h"
#include "support/LogEntries.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

class ConnectionStatusTest : public ::testing::Test {
protected:
    ConnectionStatusTest() {
        auto fake = std::make_unique<FakeRemoteLibrary>();
        library = fake.get();
        program = std::make_unique<Program>(dir.path(), std::move(fake), nullptr);
        library->players = {{1, 1, "DLH123"}, {2, 1, "EDDH_TWR"}};
        library->self = {1, 1, "DLH123"};
    }

    MainWindow& m() { return program->main(); }
    void tickWith(int32_t speakersResult) {
        library->speakersResult = speakersResult;
        program->MainTimer_Timer();
    }
    // The log's messages; trace entries carry the number 0.
    QStringList messages() const {
        QStringList out;
        for (const LogEntry& entry : logEntries(dir.read("errorlog.txt"))) {
            EXPECT_EQ(entry.number, 0) << entry.message.toStdString();
            out << entry.message;
        }
        return out;
    }
    std::vector<std::string> callsWithout(const char* name) const {
        std::vector<std::string> out;
        for (const std::string& call : library->calls) {
            if (call != name) {
                out.push_back(call);
            }
        }
        return out;
    }

    TempDir dir;
    FakeRemoteLibrary* library = nullptr;
    std::unique_ptr<Program> program;
};

} // namespace

TEST_F(ConnectionStatusTest, NotRunningShownThenConnectedInOneTick) {
    tickWith(-1);
    tickWith(-1000);
    ASSERT_EQ(m().lblVer->caption(), "?.?.?.?");
    m().logErrors->setValue(1);
    library->calls.clear();
    tickWith(0);
    EXPECT_EQ(messages(), (QStringList{"STAT Connected", "VER ?.?.?.?", "SVRCON 127.0.0.1:8767"}));
    EXPECT_EQ(m().lblPID->caption(), "DLH123");
    EXPECT_EQ(m().lblVer->caption(), "2.0.32.60");
    EXPECT_EQ(library->calls,
              (std::vector<std::string>{"tsrGetPlayers", "tsrGetSpeakers", "tsrGetServerInfo",
                                        "tsrGetUserInfo", "tsrGetVersion"}));
}

TEST_F(ConnectionStatusTest, FromStartUpStraightToConnectedLogsTheInitialVersionText) {
    m().logErrors->setValue(1);
    tickWith(0);
    EXPECT_EQ(messages(), (QStringList{"STAT Connected", "VER -", "SVRCON 127.0.0.1:8767"}));
}

TEST_F(ConnectionStatusTest, RunningThenConnectedLogsTheVersionReadWhileRunning) {
    m().logErrors->setValue(1);
    library->version[3] = 59;
    tickWith(-1);
    library->version[3] = 60;
    tickWith(0);
    EXPECT_EQ(messages(), (QStringList{"STAT Running", "VER -", "STAT Connected", "VER 2.0.32.59",
                                       "SVRCON 127.0.0.1:8767"}));
    EXPECT_EQ(m().lblVer->caption(), "2.0.32.60");
}

TEST_F(ConnectionStatusTest, QuittingLogsOnceAndKeepsTheNickname) {
    tickWith(0);
    ASSERT_EQ(m().lblPID->caption(), "DLH123");
    m().logErrors->setValue(1);
    tickWith(-1000);
    tickWith(-1000);
    EXPECT_EQ(messages(), (QStringList{"STAT Not Running", "VER 2.0.32.60"}));
    EXPECT_EQ(m().lblPID->caption(), "DLH123");
}

TEST_F(ConnectionStatusTest, WithoutLoggingTheQueriesStillHappen) {
    for (int value : {0, 2}) {
        m().logErrors->setValue(value);
        tickWith(0);
        tickWith(-1000);
    }
    EXPECT_FALSE(dir.exists("errorlog.txt"));
    EXPECT_EQ(library->count("tsrGetServerInfo"), 4);
    EXPECT_EQ(library->count("tsrGetUserInfo"), 2);
    EXPECT_EQ(m().lblPID->caption(), "DLH123");
}

TEST_F(ConnectionStatusTest, DetectedNicknameKeepsTheLocalUserOutOfTheSpeakers) {
    library->speakers = {1, 2};
    tickWith(0);
    ASSERT_EQ(m().lblPID->caption(), "DLH123");
    // The speakers of the connecting tick are listed before the nickname is detected.
    EXPECT_EQ(m().lstSpeakers->listCount(), 2);
    program->MainTimer_Timer();
    ASSERT_EQ(m().lstSpeakers->listCount(), 1);
    EXPECT_EQ(m().lstSpeakers->list(0), "EDDH_TWR");
}

TEST_F(ConnectionStatusTest, FailedServerQueryLogsTheAddressEmpty) {
    library->serverInfoFails = true;
    m().logErrors->setValue(1);
    tickWith(0);
    EXPECT_EQ(messages(), (QStringList{"STAT Connected", "VER -", "SVRCON "}));
}

TEST_F(ConnectionStatusTest, FailedUserQueryLeavesNoNicknameSoTheLocalUserIsListed) {
    library->userInfoResult = -1;
    library->lastError = "Not connected to a server";
    library->speakers = {1};
    m().logErrors->setValue(1);
    tickWith(0);
    EXPECT_EQ(m().lblPID->caption(), "");
    EXPECT_EQ(messages(), (QStringList{"STAT Connected", "VER -", "SVRCON 127.0.0.1:8767",
                                       "Not connected to a server"}));
    program->MainTimer_Timer();
    ASSERT_EQ(m().lstSpeakers->listCount(), 1);
    EXPECT_EQ(m().lstSpeakers->list(0), "DLH123");
}

TEST_F(ConnectionStatusTest, AFailingHandlerEndsItButTheRefreshCarriesOn) {
    library->raises.emplace("tsrGetServerInfo", Failure(48, "Error in loading DLL"));
    m().logErrors->setValue(1);
    tickWith(0);
    EXPECT_FALSE(dir.exists("errorlog.txt")) << "the handler ended at its first step";
    EXPECT_EQ(m().lblPID->caption(), "Detecting Nickname...");
    EXPECT_EQ(m().lblVer->caption(), "2.0.32.60");
    EXPECT_EQ(m().vars.lastConnectionState, 2);
    EXPECT_EQ(callsWithout("tsrGetLastError").back(), "tsrGetVersion");
}
