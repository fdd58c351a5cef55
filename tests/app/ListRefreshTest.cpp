#include "teamspeak/ListRefresh.h"

#include "app/Program.h"
#include "sound/SoundSystem.h"
#include "support/FakeRemoteLibrary.h"
#include "support/TempDir.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class ListRefreshTest : public ::testing::Test {
protected:
    ListRefreshTest() {
        auto fake = std::make_unique<FakeRemoteLibrary>();
        library = fake.get();
        program = std::make_unique<Program>(dir.path(), std::move(fake), nullptr);
        library->players = {{1, 1, "Observer"}, {17, 2, "DLH123", 9, 8, 24}, {4, 1, "DGF1411"}};
        m().lblPID->setCaption("Observer");
    }

    MainWindow& m() { return program->main(); }
    void tick() { program->MainTimer_Timer(); }
    QStringList speakers() {
        QStringList out;
        for (int i = 0; i < m().lstSpeakers->listCount(); ++i) {
            out << m().lstSpeakers->list(i);
        }
        return out;
    }
    // The speakers listed when these players are on the server and all talk.
    QStringList speakersAmong(const QStringList& names) {
        library->players.clear();
        library->speakers.clear();
        int32_t id = 100;
        for (const QString& name : names) {
            library->players.push_back({id, 1, name.toStdString()});
            library->speakers.push_back(id++);
        }
        tick();
        return speakers();
    }

    TempDir dir;
    FakeRemoteLibrary* library = nullptr;
    std::unique_ptr<Program> program;
};

} // namespace

TEST_F(ListRefreshTest, UserRowsCarryKeyIdAndPrivilegeTexts) {
    tick();
    const ListView& users = *m().lstUsers;
    ASSERT_EQ(users.rowCount(), 3);
    EXPECT_EQ(users.rowText(1), "DLH123");
    EXPECT_EQ(users.key(1), "PID17");
    EXPECT_EQ(users.subItem(1, 1), "17");
    EXPECT_EQ(users.subItem(1, 2), "");
    EXPECT_EQ(users.subItem(1, 3), "Admin,Voice");
    EXPECT_EQ(users.subItem(1, 4), "Registered");
    EXPECT_EQ(users.rowText(2), "DGF1411");
    EXPECT_EQ(users.subItem(2, 3), "none");
    EXPECT_EQ(users.subItem(2, 4), "Unregistered");
    EXPECT_EQ(users.findKey("PID4"), 2);
}

TEST_F(ListRefreshTest, SpeakersInTheLibrarysOrderWithoutTheLocalUser) {
    library->speakers = {4, 1, 17};
    tick();
    EXPECT_EQ(speakers(), (QStringList{"DGF1411", "DLH123"}));

    library->speakers = {1};
    tick();
    EXPECT_EQ(speakers(), QStringList{}) << "only the local user talks";

    library->speakers.clear();
    tick();
    EXPECT_EQ(speakers(), QStringList{}) << "nobody talks: 1024 zeros, none a player";

    m().lblPID->setCaption("observer"); // compared exactly
    library->speakers = {1};
    tick();
    EXPECT_EQ(speakers(), QStringList{"Observer"});
}

TEST_F(ListRefreshTest, SpeakersWithoutARowAreLeftOut) {
    library->speakers = {99, 0, -3, 17, 17};
    tick();
    EXPECT_EQ(speakers(), (QStringList{"DLH123", "DLH123"}));

    // No rows at all: nobody is listed.
    library->playersResult = 1;
    library->speakers = {17};
    tick();
    EXPECT_EQ(m().lstUsers->rowCount(), 0);
    EXPECT_EQ(speakers(), QStringList{});
}

TEST_F(ListRefreshTest, ExcludedCallsignsMatchWholeEntriesOfTheUpperCasedName) {
    m().vars.excludedCallsigns = "DLH123,DGF1411";
    EXPECT_EQ(speakersAmong({"DGF1411", "DGF141", "DGF14112", "dgf1411", "DLH123", "X"}),
              (QStringList{"DGF141", "DGF14112", "X"}));

    m().vars.excludedCallsigns = "dlh123,DGF1411";
    EXPECT_EQ(speakersAmong({"DLH123", "dlh123", "DGF1411"}), (QStringList{"DLH123", "dlh123"}));

    m().vars.excludedCallsigns = "DLH123, DGF1411";
    EXPECT_EQ(speakersAmong({"DGF1411", "DLH123"}), QStringList{"DGF1411"});

    m().vars.excludedCallsigns = "";
    EXPECT_EQ(speakersAmong({"", "A"}), QStringList{"A"}) << "an empty name is always left out";

    // A name with commas matches a run of whole entries, wherever it stands in the list.
    m().vars.excludedCallsigns = "A,B,C,,D";
    EXPECT_EQ(speakersAmong({"A,B", "B,C", "A,C", "C,", ",D", "B,C,,D", "D,E"}),
              (QStringList{"A,C", "D,E"}));
}

TEST_F(ListRefreshTest, NamesBeyondAsciiAreUpperCasedBeforeTheyAreCompared) {
    // The names come as the client's UTF-8 bytes; the list holds what the options dialog
    // stored, upper-cased.
    m().vars.excludedCallsigns =
        QStringLiteral("J\u00d6RG,\u041c\u0410\u0420\u0418\u042f,\u0395\u039b\u0388\u039d\u0397");
    EXPECT_EQ(
        speakersAmong({QStringLiteral("j\u00f6rg"), QStringLiteral("J\u00f6rg"),
                       QStringLiteral("\u043c\u0430\u0440\u0438\u044f"),
                       QStringLiteral("\u0395\u03bb\u03ad\u03bd\u03b7"), QStringLiteral("Jorg"),
                       QStringLiteral("\u041c\u0430\u0440\u0438\u043d\u0430")}),
        (QStringList{QStringLiteral("Jorg"),
                     QStringLiteral("\u041c\u0430\u0440\u0438\u043d\u0430")}));

    // The list itself is compared as it stands: a lower-case entry matches nobody.
    m().vars.excludedCallsigns = QStringLiteral("j\u00f6rg");
    EXPECT_EQ(speakersAmong({QStringLiteral("j\u00f6rg")}),
              QStringList{QStringLiteral("j\u00f6rg")});
}

TEST_F(ListRefreshTest, StateTableColoursAndCaptions) {
    struct Expected {
        int32_t result;
        uint32_t colour;
        const char* status;
        const char* version;
    };
    const Expected table[] = {
        {-1, 0x80FF, "Running", "2.0.32.60"},
        {-5, 0xC0, "Unknown", "?.?.?.?"},
        {0, 0xC000, "Connected", "2.0.32.60"},
        {-1000, 0xC0, "Not Running", "?.?.?.?"},
    };
    for (const Expected& e : table) {
        library->speakersResult = e.result;
        tick();
        EXPECT_EQ(m().lblStatus->foreColor(), e.colour) << e.status;
        EXPECT_EQ(m().lblStatus->caption(), e.status);
        EXPECT_EQ(m().lblVer->caption(), e.version) << e.status;
    }
}

TEST_F(ListRefreshTest, LabelsChangeOnlyWithTheStateAndTheVersionIsReadOnlyThen) {
    library->speakersResult = -1000;
    tick();
    EXPECT_EQ(m().lblStatus->caption(), "-") << "not running is where it starts";
    EXPECT_EQ(m().lblVer->caption(), "-");

    library->speakersResult = -1;
    tick();
    tick();
    tick();
    EXPECT_EQ(library->count("tsrGetVersion"), 1);
    EXPECT_EQ(m().vars.lastConnectionState, 1);

    library->version[3] = 61; // not noticed while the state stays
    tick();
    EXPECT_EQ(m().lblVer->caption(), "2.0.32.60");
}

TEST_F(ListRefreshTest, ClientQuittingWhileConnectedEmptiesBothLists) {
    library->speakers = {17};
    tick();
    ASSERT_EQ(speakers(), QStringList{"DLH123"});
    ASSERT_EQ(m().lblStatus->caption(), "Connected");

    library->speakersResult = -1000;
    library->playersResult = -1000;
    for (int i = 0; i < 3; ++i) {
        tick();
        EXPECT_EQ(m().lstUsers->rowCount(), 0);
        EXPECT_EQ(speakers(), QStringList{});
    }
    EXPECT_EQ(m().lblStatus->caption(), "Not Running");
    EXPECT_EQ(m().lblStatus->foreColor(), 0xC0u);
    EXPECT_EQ(m().lblVer->caption(), "?.?.?.?");
}

TEST_F(ListRefreshTest, AnUnusableLibraryLeavesEmptyListsAndTheLabelsAlone) {
    library->speakers = {17};
    tick();
    library->unusable = Failure(53, "File not found: libTSRemote.so");
    tick();
    EXPECT_EQ(m().lstUsers->rowCount(), 0);
    EXPECT_EQ(speakers(), QStringList{});
    // A failing speaker query counts as not running.
    EXPECT_EQ(m().lblStatus->caption(), "Not Running");
    tick();
    EXPECT_EQ(m().lblStatus->caption(), "Not Running");
}

TEST_F(ListRefreshTest, AFailingVersionQuerySkipsOnlyTheVersionLabel) {
    library->raises.emplace("tsrGetVersion", Failure(5, "Invalid procedure call"));
    tick();
    EXPECT_EQ(m().lblStatus->caption(), "Connected");
    EXPECT_EQ(m().lblVer->caption(), "-");
    EXPECT_EQ(m().vars.lastConnectionState, 2);
}

TEST_F(ListRefreshTest, PlayersUnderOneIdKeepTheFirstRowsKey) {
    library->players = {{5, 1, "FIRST"}, {5, 1, "SECOND"}, {6, 1, "THIRD"}};
    library->speakers = {5, 6};
    tick();
    ASSERT_EQ(m().lstUsers->rowCount(), 3);
    EXPECT_EQ(m().lstUsers->key(1), "");
    EXPECT_EQ(m().lstUsers->subItem(1, 1), "5") << "the rest of the row is still filled";
    EXPECT_EQ(speakers(), (QStringList{"FIRST", "THIRD"}));
}

TEST_F(ListRefreshTest, EventsRunDuringTheRebuildButNoSecondRefreshStarts) {
    library->speakers = {17};
    tick();
    ASSERT_EQ(speakers(), QStringList{"DLH123"});

    // A server big enough for the rebuild to let events run more than once.
    const int players = ListRefresh::kRowsPerYield + 44;
    library->players.clear();
    for (int32_t id = 1; id <= players; ++id) {
        library->players.push_back({id, 1, "P" + std::to_string(id)});
    }
    bool rebuilding = false;
    std::vector<int> rowsSeen;
    QStringList speakersSeen;
    std::function<void()> watch = [&] {
        if (!rebuilding) {
            return;
        }
        rowsSeen.push_back(m().lstUsers->rowCount());
        speakersSeen = speakers();
        program->MainTimer_Timer(); // a tick arriving inside the rebuild
        QTimer::singleShot(0, watch);
    };
    library->duringGetPlayers = [&] {
        if (!rebuilding) {
            rebuilding = true;
            QTimer::singleShot(0, watch);
        }
    };
    library->speakers = {4};
    const int before = library->count("tsrGetPlayers");
    tick();
    library->duringGetPlayers = nullptr;
    rebuilding = false;
    QCoreApplication::processEvents(); // the watcher's last call, while it still exists
    EXPECT_EQ(library->count("tsrGetPlayers"), before + 1) << "no refresh inside the refresh";
    EXPECT_EQ(rowsSeen, (std::vector<int>{0, ListRefresh::kRowsPerYield}))
        << "events ran before the first row and part-way through";
    EXPECT_EQ(speakersSeen, QStringList{"DLH123"}) << "they saw the previous speakers, whole";
    EXPECT_EQ(m().lstUsers->rowCount(), players);
    EXPECT_EQ(speakers(), QStringList{"P4"});

    // The guard is released afterwards.
    tick();
    EXPECT_EQ(library->count("tsrGetPlayers"), before + 2);
}

TEST_F(ListRefreshTest, ADialogAskedForDuringTheRebuildOpensAfterItAndTheTicksGoOnPolling) {
    m().show();
    for (QAction* menu : {m().mnuPreferences, m().mnuTopics, m().mnuAbout}) {
        library->speakers = {17};
        tick();
        ASSERT_EQ(speakers(), QStringList{"DLH123"});
        // The menu's click is taken while the user list is being rebuilt.
        library->duringGetPlayers = [&] {
            library->duringGetPlayers = nullptr;
            emit menu->triggered();
        };
        // While the dialog is open, someone else starts to talk and the next tick polls.
        QStringList heardInDialog;
        QTimer whileOpen;
        QObject::connect(&whileOpen, &QTimer::timeout, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog == nullptr) {
                return;
            }
            library->speakers = {4};
            program->MainTimer_Timer();
            heardInDialog = speakers();
            dialog->close();
        });
        whileOpen.start(5);
        tick();
        QElapsedTimer waited;
        waited.start();
        while (heardInDialog.isEmpty() && waited.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        whileOpen.stop();
        EXPECT_EQ(heardInDialog, QStringList{"DGF1411"}) << menu->text().toStdString();
    }
}

TEST_F(ListRefreshTest, AChangedExclusionListTakesEffectAtTheNextTick) {
    library->speakers = {17, 4};
    m().vars.excludedCallsigns = "DLH123";
    tick();
    EXPECT_EQ(speakers(), QStringList{"DGF1411"});
    m().vars.excludedCallsigns += ",DGF1411"; // changed in place
    tick();
    EXPECT_EQ(speakers(), QStringList{});
    m().vars.excludedCallsigns = "DGF1411";
    tick();
    EXPECT_EQ(speakers(), QStringList{"DLH123"});
    m().vars.excludedCallsigns.clear();
    tick();
    EXPECT_EQ(speakers(), (QStringList{"DLH123", "DGF1411"}));
}

TEST_F(ListRefreshTest, ExclusionAnswersFollowTheNamesAsTheyChangeOnEachRow) {
    m().vars.excludedCallsigns = "DLH123";
    library->speakers = {17, 4};
    // The names the rows for IDs 17 and 4 carry at each tick, and who is heard then.
    const struct {
        const char* first;
        const char* second;
        QStringList heard;
    } ticks[] = {
        // An empty name on a row never filled before: no text at all.
        {"", "DGF1411", {"DGF1411"}},
        {"DLH123", "DGF1411", {"DGF1411"}},
        {"DGF1411", "DLH123", {"DGF1411"}},
        {"", "DLH123", {}},
        {"DGF1411", "", {"DGF1411"}},
        {"dlh123", "X", {"X"}},
        {"dlh123", "X", {"X"}},
    };
    for (const auto& t : ticks) {
        library->players = {{1, 1, "Observer"}, {17, 2, t.first}, {4, 1, t.second}};
        tick();
        EXPECT_EQ(speakers(), t.heard) << t.first << " " << t.second;
    }
}

TEST_F(ListRefreshTest, IdsFarApartWithTheSameLowBitsKeepTheirOwnKeys) {
    constexpr int32_t apart = ListRefresh::kRememberedKeys;
    const std::vector<int32_t> ids = {5, 5 + apart, 5 + 2 * apart, 5 - apart, 5 + 64 * apart};
    library->players = {{1, 1, "Observer"}};
    library->speakers.clear();
    for (size_t i = 0; i < ids.size(); ++i) {
        library->players.push_back({ids[i], 1, "P" + std::to_string(i)});
        library->speakers.push_back(ids[i]);
    }
    for (int round = 0; round < 2; ++round) {
        tick();
        const ListView& users = *m().lstUsers;
        ASSERT_EQ(users.rowCount(), int(ids.size()) + 1);
        for (size_t i = 0; i < ids.size(); ++i) {
            const int row = int(i) + 1;
            EXPECT_EQ(users.key(row), QStringLiteral("PID%1").arg(ids[i])) << round;
            EXPECT_EQ(users.subItem(row, 1), QString::number(ids[i])) << round;
            EXPECT_EQ(users.findKey(QStringLiteral("PID%1").arg(ids[i])), row) << round;
        }
        // The negative ID has a row but is never heard.
        EXPECT_EQ(speakers(), (QStringList{"P0", "P1", "P2", "P4"})) << round;
    }
}

TEST_F(ListRefreshTest, MainTimerTickRefreshesBothLists) {
    library->speakers = {17};
    emit m().MainTimer->tick();
    EXPECT_EQ(library->count("tsrGetPlayers"), 1);
    EXPECT_EQ(speakers(), QStringList{"DLH123"});
}

TEST_F(ListRefreshTest, KeysAndExclusionsStayRightWhileIdsAndNamesComeAndGo) {
    m().vars.excludedCallsigns = "EXCLUDED7";
    // Many more IDs and names over the session than are remembered at once.
    for (int32_t round = 0; round < 6; ++round) {
        library->players.clear();
        library->speakers.clear();
        for (int32_t i = 0; i < 1024; ++i) {
            const int32_t id = round * 1024 + i - 2048; // negative IDs too
            library->players.push_back(
                {id, 1, (round % 2 ? "excluded" : "Other") + std::to_string(i)});
            library->speakers.push_back(id);
        }
        tick();
        const ListView& users = *m().lstUsers;
        ASSERT_EQ(users.rowCount(), 1024);
        for (const int i : {0, 7, 1023}) {
            const int32_t id = round * 1024 + i - 2048;
            EXPECT_EQ(users.key(i), QStringLiteral("PID%1").arg(id));
            EXPECT_EQ(users.subItem(i, 1), QString::number(id));
            EXPECT_EQ(users.findKey(QStringLiteral("PID%1").arg(id)), i);
        }
        // Speakers with an ID below 1 are never listed; only "excluded7" matches the list,
        // and only in the rounds that have it.
        qsizetype expected = 0;
        for (int32_t i = 0; i < 1024; ++i) {
            expected += round * 1024 + i - 2048 >= 1 && !(round % 2 && i == 7);
        }
        EXPECT_EQ(speakers().size(), expected) << round;
    }
}
