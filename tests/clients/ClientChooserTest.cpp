#include "clients/ClientChooser.h"

#include "clients/SnapshotLibrary.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

// A client whose state the test sets by hand.
class HandBackend : public ClientBackend {
public:
    HandBackend(QString name, QString endpoint)
        : name_(std::move(name)), endpoint_(std::move(endpoint)) {}

    QString name() const override { return name_; }
    QString endpoint() const override { return endpoint_; }
    void start() override { ++starts; }
    RemoteLibrary& library() override { return library_; }
    uint64_t tab() const override { return tab_; }

    void runs() { snapshot.running = true; }
    void connects(int32_t self = 1) {
        snapshot.running = true;
        snapshot.connected = true;
        snapshot.players = {{self, 1, "SELF", 0, 0, 0}};
        snapshot.self = snapshot.players[0];
    }
    void stops() { snapshot = {}; }
    void switchTab() { ++tab_; }

    ClientSnapshot snapshot;
    int starts = 0;

private:
    QString name_;
    QString endpoint_;
    uint64_t tab_ = 0;
    SnapshotLibrary library_{snapshot};
};

struct Chooser {
    HandBackend* first;
    HandBackend* second;
    QStringList traces;
    std::unique_ptr<ClientChooser> chooser;

    Chooser() {
        auto a = std::make_unique<HandBackend>("TeamSpeak 2", "libTSRemote.so");
        auto b = std::make_unique<HandBackend>("TeamSpeak 3 ClientQuery", "127.0.0.1:25639");
        first = a.get();
        second = b.get();
        std::vector<std::unique_ptr<ClientBackend>> backends;
        backends.push_back(std::move(a));
        backends.push_back(std::move(b));
        chooser = std::make_unique<ClientChooser>(std::move(backends),
                                                  [this](const QString& t) { traces << t; });
    }

    int32_t speakers() {
        int32_t ids[records::kCapacity];
        int32_t count = records::kCapacity;
        return chooser->tsrGetSpeakers(ids, &count);
    }

    QByteArray lastError() {
        char text[1024];
        chooser->tsrGetLastError(text, sizeof(text));
        return text;
    }

    // Lets the chooser look at a back-end not in use again.
    static void waitForTheNextLook() { QTest::qWait(ClientChooser::kLookIntervalMs + 100); }
};

} // namespace

TEST(ClientChooser, NothingStartsBeforeTheFirstCall) {
    Chooser c;
    EXPECT_EQ(c.first->starts + c.second->starts, 0);
    c.speakers();
    EXPECT_EQ(c.first->starts, 1);
    EXPECT_EQ(c.second->starts, 1);
    c.speakers();
    EXPECT_EQ(c.first->starts, 1);
}

TEST(ClientChooser, WithoutAClientEveryCallFailsAndSaysWhatWasLookedFor) {
    Chooser c;
    EXPECT_EQ(c.speakers(), -1000);
    EXPECT_EQ(c.lastError(),
              QByteArray("No voice client found (looked for TeamSpeak 2 "
                         "libTSRemote.so, TeamSpeak 3 ClientQuery 127.0.0.1:25639)"));
    uint8_t record[records::serverInfo::kSize];
    EXPECT_EQ(c.chooser->tsrGetVersion(record), -1000);
    EXPECT_EQ(c.chooser->tsrGetServerInfo(record), -1000);
    int32_t count = 0;
    EXPECT_EQ(c.chooser->tsrGetPlayers(record, &count), -1000);
    EXPECT_TRUE(c.traces.isEmpty());
}

TEST(ClientChooser, AFoundClientIsUsedAtOnceAndNamedInTheLog) {
    Chooser c;
    c.second->connects();
    EXPECT_EQ(c.speakers(), 0);
    EXPECT_EQ(c.chooser->current(), c.second);
    EXPECT_EQ(c.traces, QStringList{"TeamSpeak 3 ClientQuery 127.0.0.1:25639"});
    std::vector<uint8_t> rows(records::kCapacity * records::player::kSize);
    int32_t count = records::kCapacity;
    EXPECT_EQ(c.chooser->tsrGetPlayers(rows.data(), &count), 0);
    EXPECT_EQ(count, 1);
}

TEST(ClientChooser, AConnectedClientIsPreferredToOneThatOnlyRuns) {
    Chooser c;
    c.first->runs();
    EXPECT_EQ(c.speakers(), -1); // the first one found, running
    EXPECT_EQ(c.chooser->current(), c.first);

    c.second->connects();
    Chooser::waitForTheNextLook();
    // The move is announced as the old client's end, once, then the new one answers.
    EXPECT_EQ(c.speakers(), -1000);
    EXPECT_EQ(c.chooser->current(), c.second);
    EXPECT_EQ(c.speakers(), 0);
    EXPECT_EQ(c.traces, (QStringList{"TeamSpeak 2 libTSRemote.so",
                                     "TeamSpeak 3 ClientQuery 127.0.0.1:25639"}));

    // While it stays connected the other is not looked at, even when it connects too.
    c.first->connects();
    Chooser::waitForTheNextLook();
    EXPECT_EQ(c.speakers(), 0);
    EXPECT_EQ(c.chooser->current(), c.second);
}

TEST(ClientChooser, AnotherServerTabIsAnnouncedAsNotConnectedOnce) {
    Chooser c;
    c.second->connects();
    ASSERT_EQ(c.speakers(), 0);
    c.second->switchTab();
    EXPECT_EQ(c.speakers(), -1);
    EXPECT_EQ(c.speakers(), 0);
    EXPECT_EQ(c.traces.size(), 1);
}

TEST(ClientChooser, AClientThatQuitsIsLookedForAgain) {
    Chooser c;
    c.second->connects();
    ASSERT_EQ(c.speakers(), 0);
    c.second->stops();
    Chooser::waitForTheNextLook();
    EXPECT_EQ(c.speakers(), -1000);
    EXPECT_EQ(c.chooser->current(), nullptr);
    EXPECT_TRUE(c.lastError().startsWith("No voice client found"));

    // It comes back: found again, and said again.
    c.second->connects();
    Chooser::waitForTheNextLook();
    EXPECT_EQ(c.speakers(), 0);
    EXPECT_EQ(c.traces.size(), 2);
}

TEST(ClientChooser, TheClientInUseAnswersWithItsOwnErrors) {
    Chooser c;
    c.second->runs();
    ASSERT_EQ(c.speakers(), -1);
    EXPECT_EQ(c.lastError(), QByteArray("Not connected to a server"));
}
