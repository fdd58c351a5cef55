#include "clients/MumbleClient.h"

#include "clients/ClientChooser.h"
#include "records/Records.h"
#include "support/SpeakerTick.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A session bus of the test's own: dbus-daemon started for the test and ended with it.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (daemon_.waitForStarted(10000) && daemon_.waitForReadyRead(10000)) {
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        for (const QString& name : names_) {
            QDBusConnection::disconnectFromBus(name);
        }
        daemon_.kill();
        daemon_.waitForFinished(10000);
    }
    QString address() const { return address_; }

    // A connection of its own to the bus. Qt keeps connections by name for the whole
    // process, so no name is used twice.
    QDBusConnection connect(const QString& who) {
        static int connections = 0;
        names_ << who + QString::number(++connections);
        return QDBusConnection::connectToBus(address_, names_.last());
    }

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

// Mumble's interface as the client offers it, answered from the test's fields.
class FakeMumble : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.sourceforge.mumble.Mumble")

public:
    QString url;
    QStringList talking;
    bool answers = true; // false: getTalkingUsers' replies are held back, never sent
    int talkingCalls = 0;
    QList<qint64> talkingCallTimes;
    QElapsedTimer clock;

    FakeMumble() { clock.start(); }

    // Takes Mumble's name on the bus; false if that fails.
    bool appear(PrivateBus& bus) {
        connection_ = bus.connect(QStringLiteral("mumble"));
        return connection_.isConnected() &&
               connection_.registerObject(QStringLiteral("/"), this,
                                          QDBusConnection::ExportAllSlots) &&
               connection_.registerService(QLatin1String(MumbleClient::kService));
    }
    // Mumble quits: its connection, and with it its name, go.
    void quit() {
        const QString name = connection_.name();
        connection_ = QDBusConnection(QStringLiteral("none"));
        QDBusConnection::disconnectFromBus(name);
    }

public slots:
    // Without a server (no url), Mumble answers both calls with an error.
    QString getCurrentUrl() {
        if (url.isEmpty()) {
            sendErrorReply(QLatin1String(MumbleClient::kNotConnectedError),
                           QStringLiteral("Not connected"));
        }
        return url;
    }
    QStringList getTalkingUsers() {
        ++talkingCalls;
        talkingCallTimes << clock.elapsed();
        if (url.isEmpty()) {
            sendErrorReply(QLatin1String(MumbleClient::kNotConnectedError),
                           QStringLiteral("Not connected"));
            return {};
        }
        if (!answers) {
            setDelayedReply(true);
            return {};
        }
        return talking;
    }

private:
    QDBusConnection connection_{QStringLiteral("none")};
};

constexpr int kWaitMs = 10000;

class MumbleClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (bus.address().isEmpty()) {
            GTEST_SKIP() << "dbus-daemon could not be started";
        }
        tick.start();
    }

    PrivateBus bus;
    FakeMumble mumble;
    MumbleClient backend{[this] { return bus.connect(QStringLiteral("backend")); }};
    SpeakerTick tick{backend.library()};

    const ClientSnapshot& snapshot() const { return backend.snapshot(); }

    std::vector<std::pair<int32_t, QByteArray>> players() const {
        std::vector<std::pair<int32_t, QByteArray>> rows;
        for (const auto& p : snapshot().players) {
            rows.emplace_back(p.id, p.nickname);
        }
        return rows;
    }

    bool speakersBecome(const std::vector<int32_t>& ids) {
        return QTest::qWaitFor([&] { return snapshot().speakers == ids; }, kWaitMs);
    }

    bool connectsAs(const QByteArray& nickname) {
        return QTest::qWaitFor(
            [&] { return snapshot().connected && snapshot().self.nickname == nickname; }, kWaitMs);
    }
};

} // namespace

TEST(MumbleUrl, NamesTheServerAndThePercentDecodedLocalUser) {
    const auto plain =
        parseMumbleUrl(QStringLiteral("mumble://alice@127.0.0.1:64739?version=1.2.0"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(plain->port, 64739);
    EXPECT_EQ(plain->user, QStringLiteral("alice"));

    const auto named = parseMumbleUrl(
        QStringLiteral("mumble://J%C3%B6rg%2C%20EDDH_TWR@voice.example.org/Tower/Ground"));
    ASSERT_TRUE(named);
    EXPECT_EQ(named->user, QStringLiteral("Jörg, EDDH_TWR"));
    EXPECT_EQ(named->port, MumbleClient::kDefaultPort);

    const auto v6 = parseMumbleUrl(QStringLiteral("mumble://%E5%B0%8F%E6%9E%97@[::1]:1234"));
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host, QStringLiteral("::1"));
    EXPECT_EQ(v6->user, QStringLiteral("小林"));

    for (const char* notConnected : {"", "mumble://", "mumble:///Channel", "http://alice@host:80",
                                     "not an address", "mumble://alice@:64738"}) {
        EXPECT_FALSE(parseMumbleUrl(QString::fromUtf8(notConnected))) << notConnected;
    }
}

TEST(MumbleClient, WithoutASessionBusMumbleIsNeverFound) {
    MumbleClient backend([] { return QDBusConnection(QStringLiteral("no bus")); });
    backend.start();
    int32_t ids[records::kCapacity];
    int32_t count = records::kCapacity;
    EXPECT_EQ(backend.library().tsrGetSpeakers(ids, &count), -1000);
    char text[256];
    backend.library().tsrGetLastError(text, sizeof text);
    EXPECT_STREQ(text, "No D-Bus session bus to find Mumble on");

    // No address anywhere: no bus is looked for, and none is launched.
    QTemporaryDir runtime;
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    EXPECT_FALSE(MumbleClient::sessionBus().isConnected());
}

// An answer naming far more talkers than the library holds: the first ones keep their rows,
// and the answer is not worked through name by name pushing each other out.
TEST(MumbleClient, AnAnswerBeyondTheLibrarysCapacityIsTakenUpToIt) {
    MumbleClient backend([] { return QDBusConnection(QStringLiteral("no bus")); });
    backend.appeared();
    backend.answeredUrl(QStringLiteral("mumble://self@127.0.0.1"));
    QStringList names;
    for (int i = 0; i < 200000; ++i) {
        names << QStringLiteral("Пилот %1").arg(i);
    }
    // Each of those taken named again and again, and the local user last.
    for (int again = 0; again < 200; ++again) {
        names << names.mid(0, records::kCapacity);
    }
    names << QStringLiteral("self");
    backend.answeredTalking(names);

    const ClientSnapshot& s = backend.snapshot();
    ASSERT_EQ(s.players.size(), size_t(records::kCapacity));
    EXPECT_EQ(s.players[1].nickname, QStringLiteral("Пилот 0").toUtf8());
    EXPECT_EQ(s.players.back().nickname, QStringLiteral("Пилот 1022").toUtf8());
    ASSERT_EQ(s.speakers.size(), size_t(records::kCapacity));
    EXPECT_EQ(s.speakers.front(), 2);
    EXPECT_EQ(s.speakers[records::kCapacity - 2], records::kCapacity);
    EXPECT_EQ(s.speakers.back(), MumbleClient::kSelfId);
}

TEST_F(MumbleClientTest, TheLocalUserAndThoseHeardKeepTheirIdsForTheWholeConnection) {
    mumble.url = QStringLiteral("mumble://EDDH_TWR@127.0.0.1?version=1.2.0");
    ASSERT_TRUE(mumble.appear(bus));
    backend.start();
    ASSERT_TRUE(connectsAs("EDDH_TWR"));
    EXPECT_EQ(snapshot().server.address, "127.0.0.1:64738");
    EXPECT_TRUE(snapshot().server.name.isEmpty());
    EXPECT_EQ(snapshot().clientVersion, ClientSnapshot::Version{});

    // A name with a comma and one beyond the nickname field, in the locale's encoding.
    const QString hamburg = QStringLiteral("Jörg, Hamburg");
    const QString longName = QStringLiteral("Владимир Владимирович Ильин-Ж");
    mumble.talking = {QStringLiteral("DLH123"), QStringLiteral("EDDH_TWR"), hamburg};
    ASSERT_TRUE(speakersBecome({2, 1, 3}));
    mumble.talking = {};
    ASSERT_TRUE(speakersBecome({}));
    mumble.talking = {longName, hamburg, hamburg};
    ASSERT_TRUE(speakersBecome({4, 3}));
    const QByteArray cut = snapshot().players.back().nickname;
    EXPECT_LE(cut.size(), 29);
    EXPECT_TRUE(longName.toUtf8().startsWith(cut));
    EXPECT_EQ(QString::fromUtf8(cut).toUtf8(), cut); // no character cut in two
    EXPECT_EQ(players(), (std::vector<std::pair<int32_t, QByteArray>>{
                             {1, "EDDH_TWR"}, {2, "DLH123"}, {3, hamburg.toUtf8()}, {4, cut}}));

    // Disconnected: running, nobody. Connected again: only the local user, counted afresh.
    mumble.url.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !snapshot().connected; }, kWaitMs));
    EXPECT_TRUE(snapshot().running);
    EXPECT_TRUE(snapshot().players.empty());
    EXPECT_TRUE(snapshot().speakers.empty());
    mumble.url = QStringLiteral("mumble://EDDH_TWR@10.0.0.7:64740/Tower");
    ASSERT_TRUE(connectsAs("EDDH_TWR"));
    EXPECT_EQ(snapshot().server.address, "10.0.0.7:64740");
    mumble.talking = {hamburg};
    ASSERT_TRUE(speakersBecome({2}));
    EXPECT_EQ(players(), (std::vector<std::pair<int32_t, QByteArray>>{{1, "EDDH_TWR"},
                                                                      {2, hamburg.toUtf8()}}));

    // Straight to another server: a new tab, and a new count.
    const uint64_t tab = backend.tab();
    mumble.url = QStringLiteral("mumble://EDDH_TWR@10.0.0.8");
    ASSERT_TRUE(QTest::qWaitFor([&] { return backend.tab() != tab; }, kWaitMs));
    ASSERT_TRUE(connectsAs("EDDH_TWR"));
    EXPECT_EQ(snapshot().server.address, "10.0.0.8:64738");
    mumble.talking = {QStringLiteral("DLH123")};
    ASSERT_TRUE(speakersBecome({2}));
}

TEST_F(MumbleClientTest, TheNameHeardLongestAgoGivesUpItsRowBeyondTheLibrarysCapacity) {
    mumble.url = QStringLiteral("mumble://self@127.0.0.1");
    ASSERT_TRUE(mumble.appear(bus));
    backend.start();
    ASSERT_TRUE(connectsAs("self"));

    QStringList everyone;
    for (int i = 0; i < records::kCapacity - 1; ++i) {
        everyone << QStringLiteral("N%1").arg(i, 4, 10, QLatin1Char('0'));
    }
    mumble.talking = everyone;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return snapshot().speakers.size() == size_t(records::kCapacity - 1); }, kWaitMs));
    // All but N0000 heard again: it is the one heard longest ago.
    mumble.talking = everyone.mid(1);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return snapshot().speakers.size() == size_t(records::kCapacity - 2); }, kWaitMs));
    mumble.talking = {QStringLiteral("self"), QStringLiteral("newcomer")};
    ASSERT_TRUE(speakersBecome({1, records::kCapacity + 1}));

    ASSERT_EQ(snapshot().players.size(), size_t(records::kCapacity));
    EXPECT_EQ(snapshot().players.front().nickname, "self");
    EXPECT_EQ(snapshot().players[1].nickname, "N0001");
    EXPECT_EQ(snapshot().players[1].id, 3);
    EXPECT_EQ(snapshot().players.back().nickname, "newcomer");
    for (const auto& p : snapshot().players) {
        EXPECT_NE(p.nickname, "N0000");
    }
}

TEST_F(MumbleClientTest, FollowsMumbleComingAndQuittingWithoutARestart) {
    QStringList traces;
    std::vector<std::unique_ptr<ClientBackend>> backends;
    auto* mine = new MumbleClient([this] { return bus.connect(QStringLiteral("chooser")); });
    backends.emplace_back(mine);
    ClientChooser chooser(std::move(backends), [&](const QString& t) { traces << t; });
    int32_t ids[records::kCapacity];
    auto speakers = [&] {
        int32_t count = records::kCapacity;
        return chooser.tsrGetSpeakers(ids, &count);
    };
    auto lastError = [&] {
        char text[512];
        chooser.tsrGetLastError(text, sizeof text);
        return QString::fromLocal8Bit(text);
    };

    EXPECT_EQ(speakers(), -1000);
    EXPECT_TRUE(lastError().contains(QStringLiteral("Mumble D-Bus"))) << lastError().toStdString();

    mumble.url = QStringLiteral("mumble://alice@127.0.0.1:64738");
    mumble.talking = {QStringLiteral("bob")};
    ASSERT_TRUE(mumble.appear(bus));
    // The chooser looks again at most every two seconds.
    ASSERT_TRUE(QTest::qWaitFor([&] { return speakers() == 0; }, kWaitMs));
    EXPECT_TRUE(traces.contains(QStringLiteral("Mumble D-Bus")));

    // Quitting while calls are on their way: not running, nothing else.
    mumble.quit();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !mine->snapshot().running; }, kWaitMs));
    EXPECT_EQ(speakers(), -1000);

    FakeMumble again;
    again.url = QStringLiteral("mumble://alice@127.0.0.1:64738");
    ASSERT_TRUE(again.appear(bus));
    ASSERT_TRUE(QTest::qWaitFor([&] { return speakers() == 0; }, kWaitMs));
    EXPECT_EQ(mine->snapshot().players.size(), 1u);
}

TEST_F(MumbleClientTest, AReplyThatNeverComesIsGivenUpAndNoOtherCallIsMadeMeanwhile) {
    mumble.url = QStringLiteral("mumble://alice@127.0.0.1");
    mumble.talking = {QStringLiteral("bob")};
    ASSERT_TRUE(mumble.appear(bus));
    backend.start();
    ASSERT_TRUE(speakersBecome({2}));

    mumble.answers = false;
    const int before = mumble.talkingCalls;
    ASSERT_TRUE(QTest::qWaitFor([&] { return mumble.talkingCalls >= before + 3; },
                                3 * MumbleClient::kCallTimeoutMs + kWaitMs));
    // One call at a time: each unanswered call was given up before the next was made.
    const QList<qint64> times = mumble.talkingCallTimes.mid(before);
    EXPECT_GE(times[2] - times[1], MumbleClient::kCallTimeoutMs - 100);
    EXPECT_EQ(snapshot().speakers, (std::vector<int32_t>{2})); // nothing new was told

    mumble.talking = {QStringLiteral("carol")};
    mumble.answers = true;
    ASSERT_TRUE(speakersBecome({3}));
}

TEST_F(MumbleClientTest, WhoIsTalkingIsAskedOnlyWhileTheSpeakersAreRead) {
    mumble.url = QStringLiteral("mumble://alice@127.0.0.1");
    mumble.talking = {QStringLiteral("bob")};
    ASSERT_TRUE(mumble.appear(bus));
    backend.start();
    ASSERT_TRUE(speakersBecome({2}));

    // Read in a burst, the speakers are asked for no more often than every 40 ms.
    tick.stop();
    QTest::qWait(300); // any call still on its way is answered
    const int before = mumble.talkingCalls;
    QElapsedTimer burst;
    burst.start();
    while (burst.elapsed() < 200) {
        readSpeakers(backend.library());
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return mumble.talkingCalls > before; }, kWaitMs));
    QTest::qWait(300); // the burst's calls all arrive
    const int idle = mumble.talkingCalls;
    EXPECT_LE(idle - before, 200 / MumbleClient::kTalkingIntervalMs + 1);

    // Nobody reading: no calls, while the address is still asked every second.
    mumble.talking = {QStringLiteral("carol")};
    QTest::qWait(1500);
    EXPECT_EQ(mumble.talkingCalls, idle);
    EXPECT_TRUE(snapshot().connected);
    tick.start();
    ASSERT_TRUE(speakersBecome({3}));
}

#include "MumbleClientTest.moc"
