#include "clients/TeamSpeak3Client.h"

#include "support/Eventually.h"
#include "support/SpeakerTick.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>
#include <map>

namespace {

// A TeamSpeak 3 client on the other end of the line, answering each command the back-end
// sends from what it knows. Driven by hand: no socket, no waiting.
class PlayedClient {
public:
    struct Client {
        int clid;
        int cid;
        QByteArray nickname; // escaped, as on the line
        int type = 0;
        bool talking = false;
    };

    QByteArray acceptedKey = "GOOD-KEY";
    QByteArray key = "GOOD-KEY";
    std::map<int, bool> connectedTabs{{1, true}};
    int tab = 1;
    int self = 1;
    std::vector<Client> clients{{1, 1, "EDDH_TWR"},
                                {2, 1, "DLH123"},
                                {3, 4, "J\xc3\xb6rg"},
                                {9, 1, "serveradmin\\sfrom\\s127.0.0.1", 1}};
    QStringList traces;
    QList<QByteArray> commands;
    TeamSpeak3Client backend{QStringLiteral("127.0.0.1"), 25639, [this] { return key; }};

    PlayedClient() {
        backend.writer = [this](const QByteArray& bytes) { commands << bytes.trimmed(); };
        QObject::connect(&backend, &ClientBackend::traced,
                         [this](const QString& text) { traces << text; });
        backend.start();
    }

    void greet() {
        feed("TS3 Client\n\rWelcome to the TeamSpeak 3 ClientQuery interface, type \"help\" "
             "for a list of commands.\n\rselected schandlerid=" +
             QByteArray::number(tab) + "\n\r");
        serve();
    }

    // Answers every command not yet answered, and those its answers bring.
    void serve() {
        while (answered_ < commands.size()) {
            const QByteArray command = commands[answered_++];
            feed(reply(command));
        }
    }

    void feed(const QByteArray& bytes) {
        backend.receive(bytes);
        serve();
    }

    const ClientSnapshot& snapshot() const { return backend.snapshot(); }

    std::vector<int32_t> playerIds() const {
        std::vector<int32_t> ids;
        for (const auto& p : snapshot().players) {
            ids.push_back(p.id);
        }
        return ids;
    }

private:
    QByteArray reply(const QByteArray& command) {
        const QByteArray ok = "error id=0 msg=ok\n\r";
        if (command.startsWith("auth ")) {
            return command == "auth apikey=" + acceptedKey
                       ? ok
                       : QByteArray("error id=256 msg=invalid\\sparameter\n\r");
        }
        if (command.startsWith("use schandlerid=")) {
            tab = command.sliced(16).toInt();
            return ok;
        }
        const bool connected = connectedTabs[tab];
        if (command == "whoami") {
            return connected ? "clid=" + QByteArray::number(self) + " cid=1\n\r" + ok
                             : QByteArray("error id=1794 msg=not\\sconnected\n\r");
        }
        if (command == "clientlist -voice") {
            QByteArrayList items;
            for (const Client& c : clients) {
                items << "clid=" + QByteArray::number(c.clid) +
                             " cid=" + QByteArray::number(c.cid) +
                             " client_database_id=5 client_nickname=" + c.nickname +
                             " client_type=" + QByteArray::number(c.type) +
                             " client_flag_talking=" + (c.talking ? "1" : "0") +
                             " client_input_muted=0";
            }
            return items.join('|') + "\n\r" + ok;
        }
        if (command.startsWith("servervariable ")) {
            return "virtualserver_name=Hamburg\\sTower virtualserver_welcomemessage=Moin\\p\\sall "
                   "virtualserver_platform=Linux virtualserver_version=3.13.7\\s[Build:\\s"
                   "1655727713] virtualserver_maxclients=512 virtualserver_clientsonline=4 "
                   "virtualserver_channelsonline=6\n\r" +
                   ok;
        }
        if (command == "serverconnectinfo") {
            return "ip=ts.example.org port=9987 password\n\r" + ok;
        }
        if (command.startsWith("clientvariable clid=")) {
            return "clid=" + QByteArray::number(self) +
                   " client_version=3.6.2\\s[Build:\\s1695203293]\n\r" + ok;
        }
        return ok; // clientnotifyregister and the like
    }

    qsizetype answered_ = 0;
};

} // namespace

TEST(TeamSpeak3Client, ItIsNotRunningUntilGreetedAndNotConnectedUntilTheStateIsRead) {
    PlayedClient client;
    EXPECT_FALSE(client.snapshot().running);
    client.feed("TS3 Client\n\r");
    EXPECT_FALSE(client.snapshot().running);
    // Greeted: running, the key asked for before anything else.
    client.backend.receive("selected schandlerid=1\n\r");
    EXPECT_TRUE(client.snapshot().running);
    EXPECT_FALSE(client.snapshot().connected);
    ASSERT_FALSE(client.commands.isEmpty());
    EXPECT_EQ(client.commands.first(), QByteArray("auth apikey=GOOD-KEY"));
    client.serve();
    EXPECT_TRUE(client.snapshot().connected);
    EXPECT_TRUE(client.commands.contains(
        "clientnotifyregister schandlerid=0 event=notifytalkstatuschange"));
}

TEST(TeamSpeak3Client, TheServerTabInUseBecomesTheSnapshot) {
    PlayedClient client;
    client.clients[1].talking = true;
    client.greet();
    const ClientSnapshot& s = client.snapshot();
    ASSERT_TRUE(s.connected);
    // The ServerQuery client is no player; the local user is one.
    EXPECT_EQ(client.playerIds(), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(s.self.id, 1);
    EXPECT_EQ(s.self.nickname, QByteArray("EDDH_TWR"));
    EXPECT_EQ(s.players[2].nickname, QByteArray("J\xc3\xb6rg"));
    EXPECT_EQ(s.players[2].channel, 4);
    EXPECT_EQ(s.speakers, (std::vector<int32_t>{2}));
    EXPECT_EQ(s.server.name, QByteArray("Hamburg Tower"));
    EXPECT_EQ(s.server.welcome, QByteArray("Moin| all"));
    EXPECT_EQ(s.server.platform, QByteArray("Linux"));
    EXPECT_EQ(s.server.version, (ClientSnapshot::Version{3, 13, 7, 1655727713}));
    EXPECT_EQ(s.server.maximumUsers, 512);
    EXPECT_EQ(s.server.players, 4);
    EXPECT_EQ(s.server.channels, 6);
    EXPECT_EQ(s.server.address, QByteArray("ts.example.org:9987"));
    EXPECT_EQ(s.clientVersion, (ClientSnapshot::Version{3, 6, 2, 1695203293}));
}

TEST(TeamSpeak3Client, EventsKeepPlayersAndSpeakersInStep) {
    PlayedClient client;
    client.greet();
    client.feed("notifytalkstatuschange schandlerid=1 status=1 isreceivedwhisper=0 clid=2\n\r"
                "notifytalkstatuschange schandlerid=1 status=1 isreceivedwhisper=0 clid=3\n\r");
    EXPECT_EQ(client.snapshot().speakers, (std::vector<int32_t>{2, 3}));

    // One who leaves while talking leaves both lists at once.
    client.feed("notifyclientleftview schandlerid=1 cfid=1 ctid=0 reasonid=8 "
                "reasonmsg=leaving clid=2\n\r");
    EXPECT_EQ(client.snapshot().speakers, (std::vector<int32_t>{3}));
    EXPECT_EQ(client.playerIds(), (std::vector<int32_t>{1, 3}));

    client.feed("notifycliententerview schandlerid=1 cfid=0 ctid=8 reasonid=0 clid=12 "
                "client_nickname=\\u039c\\sAir client_type=0\n\r"
                "notifyclientmoved schandlerid=1 ctid=9 reasonid=0 clid=3\n\r"
                "notifyclientupdated schandlerid=1 clid=3 client_nickname=Jorg2\n\r"
                "notifytalkstatuschange schandlerid=1 status=0 isreceivedwhisper=0 clid=3\n\r");
    const ClientSnapshot& s = client.snapshot();
    EXPECT_TRUE(s.speakers.empty());
    ASSERT_EQ(client.playerIds(), (std::vector<int32_t>{1, 3, 12}));
    EXPECT_EQ(s.players[1].channel, 9);
    EXPECT_EQ(s.players[1].nickname, QByteArray("Jorg2"));
    EXPECT_EQ(s.players[2].channel, 8);
    EXPECT_EQ(s.players[2].nickname, QByteArray("u039c Air"));

    // Another tab's events are not this tab's.
    client.feed("notifytalkstatuschange schandlerid=2 status=1 isreceivedwhisper=0 clid=12\n\r"
                "notifyclientleftview schandlerid=2 cfid=1 ctid=0 reasonid=8 clid=3\n\r");
    EXPECT_TRUE(client.snapshot().speakers.empty());
    EXPECT_EQ(client.playerIds(), (std::vector<int32_t>{1, 3, 12}));
}

TEST(TeamSpeak3Client, AnotherTabIsFollowedAfresh) {
    PlayedClient client;
    client.connectedTabs[2] = false;
    client.greet();
    ASSERT_TRUE(client.snapshot().connected);
    const uint64_t before = client.backend.tab();

    client.feed("notifycurrentserverconnectionchanged schandlerid=2\n\r");
    EXPECT_NE(client.backend.tab(), before);
    EXPECT_TRUE(client.commands.contains("use schandlerid=2"));
    EXPECT_TRUE(client.snapshot().running);
    EXPECT_FALSE(client.snapshot().connected);
    EXPECT_TRUE(client.snapshot().players.empty());

    // The new tab connects: the state is read again.
    client.connectedTabs[2] = true;
    client.feed(
        "notifyconnectstatuschange schandlerid=2 status=connection_established error=0\n\r");
    EXPECT_TRUE(client.snapshot().connected);
    EXPECT_EQ(client.snapshot().players.size(), 3u);
}

TEST(TeamSpeak3Client, ADisconnectedServerLeavesTheClientRunning) {
    PlayedClient client;
    client.greet();
    client.connectedTabs[1] = false;
    client.feed("notifyconnectstatuschange schandlerid=1 status=disconnected error=0\n\r");
    EXPECT_TRUE(client.snapshot().running);
    EXPECT_FALSE(client.snapshot().connected);
    EXPECT_TRUE(client.snapshot().players.empty());
    // Reconnected.
    client.connectedTabs[1] = true;
    client.feed(
        "notifyconnectstatuschange schandlerid=1 status=connecting error=0\n\r"
        "notifyconnectstatuschange schandlerid=1 status=connection_established error=0\n\r");
    EXPECT_TRUE(client.snapshot().connected);
}

TEST(TeamSpeak3Client, AWrongKeyIsSaidOnceAndTheClientStaysRunning) {
    PlayedClient client;
    client.key = "WRONG";
    client.greet();
    EXPECT_TRUE(client.snapshot().running);
    EXPECT_FALSE(client.snapshot().connected);
    EXPECT_EQ(client.traces, QStringList{"TeamSpeak 3 ClientQuery refused the API key"});
    // Nothing else is asked of a client that refused us, and no new attempt at once.
    EXPECT_EQ(client.commands.size(), 1);
    client.feed("notifytalkstatuschange schandlerid=1 status=1 isreceivedwhisper=0 clid=2\n\r");
    EXPECT_TRUE(client.snapshot().speakers.empty());
    // The user puts the right key in place: the next attempt takes it.
    client.key = client.acceptedKey;
    EXPECT_TRUE(eventually(
        [&] {
            QCoreApplication::processEvents();
            client.serve();
            return client.snapshot().connected;
        },
        TeamSpeak3Client::kAuthRetryMs + 5000));
    EXPECT_EQ(client.traces.size(), 1);
}

TEST(TeamSpeak3Client, AtMostTheLibrarysCapacityOfPlayersAndSpeakers) {
    PlayedClient client;
    client.clients.clear();
    for (int i = 1; i <= 1100; ++i) {
        client.clients.push_back({i, 1, "PLAYER" + QByteArray::number(i), 0, true});
    }
    client.greet();
    const ClientSnapshot& s = client.snapshot();
    ASSERT_TRUE(s.connected);
    EXPECT_EQ(s.players.size(), size_t(records::kCapacity));
    EXPECT_EQ(s.speakers.size(), size_t(records::kCapacity));
    EXPECT_EQ(s.speakers.back(), records::kCapacity);
}

TEST(TeamSpeak3Client, LongNicknamesAreCutToTheRecordAtACharacter) {
    PlayedClient client;
    // 20 two-byte letters: 40 bytes, cut to 14 letters (28 bytes) within the 29.
    client.clients[1].nickname = QString(20, QChar(0x0416)).toUtf8();
    client.greet();
    EXPECT_EQ(client.snapshot().players[1].nickname, QString(14, QChar(0x0416)).toUtf8());
}

TEST(TeamSpeak3Client, WhatIsNotTheInterfacesOwnIsIgnoredOrEndsTheConnection) {
    PlayedClient client;
    client.greet();
    // Lines of nonsense and unknown events change nothing.
    client.feed("\n\r\n\r|||\n\r=\n\rnotifyclientpoke schandlerid=1 clid=2 msg=hi\n\r"
                "notifytalkstatuschange schandlerid=1 status=1 clid=banana\n\r"
                "error\n\rerror id=0 msg=ok\n\r");
    EXPECT_TRUE(client.snapshot().connected);
    EXPECT_EQ(client.snapshot().players.size(), 3u);
    // A line without end beyond all reason: the connection is given up.
    client.backend.receive(QByteArray(TeamSpeak3Client::kMaxLineBytes + 1, 'x'));
    EXPECT_FALSE(client.snapshot().running);
    EXPECT_TRUE(client.snapshot().players.empty());
}

TEST(TeamSpeak3Client, VersionsAreReadAsFarAsTheyGo) {
    EXPECT_EQ(parseTeamSpeakVersion("3.6.2 [Build: 1695203293]"),
              (ClientSnapshot::Version{3, 6, 2, 1695203293}));
    EXPECT_EQ(parseTeamSpeakVersion("3.5.6"), (ClientSnapshot::Version{3, 5, 6, 0}));
    EXPECT_EQ(parseTeamSpeakVersion(""), (ClientSnapshot::Version{0, 0, 0, 0}));
    EXPECT_EQ(parseTeamSpeakVersion("beta [Build: x]"), (ClientSnapshot::Version{0, 0, 0, 0}));
    EXPECT_EQ(parseTeamSpeakVersion("3.99999999999.1 [Build: 99999999999]"),
              (ClientSnapshot::Version{3, INT32_MAX, 1, INT32_MAX}));
}

// Over a real socket: a client that closes in the middle of a reply, then comes back.
TEST(TeamSpeak3Client, AClosedConnectionIsNotRunningAndIsMadeAgain) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    TeamSpeak3Client backend(QStringLiteral("127.0.0.1"), server.serverPort(),
                             [] { return QByteArray("K"); });
    int connections = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* peer = server.nextPendingConnection();
        ++connections;
        peer->write("TS3 Client\n\rselected schandlerid=1\n\r");
        QObject::connect(peer, &QTcpSocket::readyRead, peer, [peer, &connections] {
            const QByteArray command = peer->readAll();
            if (connections == 1) {
                // Half a reply, then gone.
                peer->write("clid=1 ci");
                peer->flush();
                peer->close();
            } else if (command.startsWith("auth")) {
                peer->write("error id=256 msg=invalid\\sparameter\n\r");
            }
        });
    });
    backend.start();
    auto waitFor = [](const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 10000);
    };
    ASSERT_TRUE(waitFor([&] { return connections == 1; }));
    // Another attempt only when the speakers are read, as the program's tick does.
    ASSERT_TRUE(waitFor([&] { return !backend.snapshot().running; }));
    QTest::qWait(TeamSpeak3Client::kRetryMs + 500);
    EXPECT_EQ(connections, 1);
    SpeakerTick tick(backend.library());
    tick.start();
    ASSERT_TRUE(waitFor([&] { return connections == 2; }));
    EXPECT_TRUE(waitFor([&] { return backend.snapshot().running; }));
    EXPECT_FALSE(backend.snapshot().connected);
    server.close();
}

TEST(TeamSpeak3Client, AnEndpointThatNeverGreetsIsGivenUp) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QTcpSocket* peer = nullptr;
    bool closed = false;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        peer = server.nextPendingConnection();
        QObject::connect(peer, &QTcpSocket::disconnected, [&] { closed = true; });
    });
    TeamSpeak3Client backend(QStringLiteral("127.0.0.1"), server.serverPort(), {});
    backend.start();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return closed; }, TeamSpeak3Client::kGreetingTimeoutMs + 10000));
    EXPECT_FALSE(backend.snapshot().running);
}

TEST(TeamSpeak3Client, TheLocalUserKeepsAPlaceBeyondTheCapacityAndMustBeAPlayer) {
    PlayedClient client;
    client.clients.clear();
    for (int i = 2; i <= 1100; ++i) {
        client.clients.push_back({i, 1, "PLAYER" + QByteArray::number(i)});
    }
    client.clients.push_back({1, 1, "EDDH_TWR"}); // listed last
    client.greet();
    ASSERT_TRUE(client.snapshot().connected);
    EXPECT_EQ(client.snapshot().players.size(), size_t(records::kCapacity));
    EXPECT_EQ(client.snapshot().players.back().nickname, QByteArray("EDDH_TWR"));
    EXPECT_EQ(client.snapshot().self.nickname, QByteArray("EDDH_TWR"));

    // A client that lists itself as a ServerQuery client has no nickname to detect.
    PlayedClient odd;
    odd.clients[0].type = 1;
    odd.greet();
    EXPECT_TRUE(odd.snapshot().running);
    EXPECT_FALSE(odd.snapshot().connected);
}
