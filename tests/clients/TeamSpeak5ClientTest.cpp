#include "clients/TeamSpeak5Client.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// A TeamSpeak 5 client on the other end of the WebSocket, played by hand: the test says when
// the socket opens or closes and which messages come.
class PlayedClient {
public:
    QTemporaryDir dir;
    QString keyFile = dir.filePath(QStringLiteral("ts5-remote-key"));
    QStringList traces;
    QList<QJsonObject> sent;
    TeamSpeak5Client backend{QStringLiteral("127.0.0.1"), 5899, keyFile};

    PlayedClient() {
        backend.writer = [this](const QByteArray& bytes) {
            sent << QJsonDocument::fromJson(bytes).object();
        };
        QObject::connect(&backend, &ClientBackend::traced,
                         [this](const QString& text) { traces << text; });
        backend.start();
    }

    void feed(const QByteArray& json) { backend.receive(json); }

    // The key the last auth presented; nothing when none was sent.
    std::optional<QString> lastKey() const {
        if (sent.isEmpty() || sent.last()[QStringLiteral("type")] != QStringLiteral("auth")) {
            return std::nullopt;
        }
        return sent.last()["payload"]["content"]["apiKey"].toString();
    }

    void writeKey(const QByteArray& key) {
        QFile file(keyFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(key + "\n");
    }

    const ClientSnapshot& snapshot() const { return backend.snapshot(); }

    std::vector<int32_t> playerIds() const {
        std::vector<int32_t> ids;
        for (const auto& p : snapshot().players) {
            ids.push_back(p.id);
        }
        return ids;
    }
};

// Shaped like a recorded answer to auth: currentConnectionId naming no connection, the tab in
// use the one whose own client has the microphone, channel IDs as strings.
const QByteArray kAuthAnswer = R"({"type":"auth","status":{"code":0,"message":"ok"},"payload":{
  "apiKey":"11111111-2222-4333-8444-555555555555","currentConnectionId":0,"connections":[
  {"id":3,"clientId":5,"status":4,"properties":{"name":"Other Server"},
   "clientInfos":[{"id":5,"channelId":"1","properties":{"nickname":"Away","inputHardware":false}}]},
  {"id":1,"clientId":18,"status":4,
   "properties":{"name":"Hamburg Tower","platform":"Linux","version":"3.13.7 [Build: 1655727713]",
                 "connectionServerIp":"ts.example.org","connectionServerPort":9987,
                 "clientsOnline":4,"uniqueIdentifier":"abc="},
   "channelInfos":{"rootChannels":[{"id":"23","properties":{"name":"Lobby"}}],"subChannels":{}},
   "clientInfos":[
    {"id":18,"channelId":"23","properties":{"nickname":"EDDH_TWR","inputHardware":true,
      "version":"6.0.0 [Build: 1747123456]","flagTalking":false}},
    {"id":24,"channelId":23,"properties":{"nickname":"DLH123","flagTalking":true}},
    {"id":"33","channelId":"37","properties":{"nickname":"J\u00f6rg"}},
    {"id":40,"channelId":23}]}]}})";

} // namespace

TEST(TeamSpeak5Client, RunningOnceTheSocketOpensAndConnectedFromTheAnswerToAuth) {
    PlayedClient client;
    EXPECT_FALSE(client.snapshot().running);
    EXPECT_TRUE(client.sent.isEmpty());
    client.backend.opened();
    EXPECT_TRUE(client.snapshot().running);
    EXPECT_FALSE(client.snapshot().connected);
    // The first time, an empty key: the client asks its user to allow the app.
    ASSERT_EQ(client.sent.size(), 1);
    const QJsonObject payload = client.sent[0]["payload"].toObject();
    EXPECT_EQ(payload["identifier"].toString(), QStringLiteral("staticor"));
    EXPECT_EQ(payload["name"].toString(), QStringLiteral("Staticor"));
    EXPECT_FALSE(payload["version"].toString().isEmpty());
    EXPECT_EQ(client.lastKey(), QString());

    client.feed(kAuthAnswer);
    const ClientSnapshot& s = client.snapshot();
    ASSERT_TRUE(s.connected);
    EXPECT_EQ(client.playerIds(), (std::vector<int32_t>{18, 24, 33, 40}));
    EXPECT_EQ(s.self.id, 18);
    EXPECT_EQ(s.self.nickname, QByteArray("EDDH_TWR"));
    EXPECT_EQ(s.self.channel, 23);
    EXPECT_EQ(s.players[1].channel, 23);
    EXPECT_EQ(s.players[2].nickname, QByteArray("J\xc3\xb6rg"));
    EXPECT_EQ(s.players[2].channel, 37);
    EXPECT_EQ(s.players[3].nickname, QByteArray());
    EXPECT_EQ(s.speakers, (std::vector<int32_t>{24}));
    EXPECT_EQ(s.server.name, QByteArray("Hamburg Tower"));
    EXPECT_EQ(s.server.platform, QByteArray("Linux"));
    EXPECT_EQ(s.server.version, (ClientSnapshot::Version{3, 13, 7, 1655727713}));
    EXPECT_EQ(s.server.address, QByteArray("ts.example.org:9987"));
    EXPECT_EQ(s.server.players, 4);
    EXPECT_EQ(s.clientVersion, (ClientSnapshot::Version{6, 0, 0, 1747123456}));
    EXPECT_EQ(client.backend.tab(), 0u);

    // The key handed out is kept for the owner alone and never traced.
    EXPECT_EQ(client.backend.storedKey(), QByteArray("11111111-2222-4333-8444-555555555555"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(client.keyFile).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(client.traces.join('\n').contains("11111111"))
        << client.traces.join('\n').toStdString();
}

TEST(TeamSpeak5Client, EventsKeepPlayersAndSpeakersInStep) {
    PlayedClient client;
    client.backend.opened();
    client.feed(kAuthAnswer);
    client.feed(R"({"type":"talkStatusChanged","payload":{"clientId":24,"connectionId":1,
                    "isWhisper":false,"status":0}})");
    client.feed(R"({"type":"talkStatusChanged","payload":{"clientId":"33","connectionId":"1",
                    "status":1}})");
    // Talking with the microphone off sends nothing.
    client.feed(R"({"type":"talkStatusChanged","payload":{"clientId":40,"connectionId":1,
                    "status":2}})");
    EXPECT_EQ(client.snapshot().speakers, (std::vector<int32_t>{33}));

    // One who leaves while talking leaves both lists at once.
    client.feed(R"({"type":"clientMoved","payload":{"clientId":33,"connectionId":1,
                    "newChannelId":"0","oldChannelId":"37","type":1,"visibility":2}})");
    EXPECT_TRUE(client.snapshot().speakers.empty());
    EXPECT_EQ(client.playerIds(), (std::vector<int32_t>{18, 24, 40}));

    client.feed(R"({"type":"clientMoved","payload":{"clientId":63676,"connectionId":1,
                    "hotReload":false,"newChannelId":"16292","oldChannelId":"0",
                    "properties":{"nickname":"\u039c Air","flagTalking":true}}})");
    client.feed(R"({"type":"clientMoved","payload":{"clientId":24,"connectionId":1,
                    "newChannelId":9,"oldChannelId":23,"type":2,
                    "invoker":{"id":18,"nickname":"EDDH_TWR"}}})");
    client.feed(R"({"type":"clientPropertiesUpdated","payload":{"clientId":40,"connectionId":1,
                    "properties":{"nickname":"AFR1","inputMuted":true}}})");
    // Another tab's events are not this tab's; unknown ones and broken ones change nothing.
    client.feed(R"({"type":"talkStatusChanged","payload":{"clientId":24,"connectionId":3,
                    "status":1}})");
    client.feed(R"({"type":"clientMoved","payload":{"clientId":40,"connectionId":3,
                    "newChannelId":"0"}})");
    client.feed(R"({"type":"log","payload":{"message":"TSDNS"}})");
    client.feed(R"({"type":"talkStatusChanged","payload":"nothing"})");
    client.feed(R"({"type":"talkStatusChanged","payload":{"clientId":[24],"connectionId":1,
                    "status":1}})");
    client.feed(R"({"type":"clientMoved","payload":{"clientId":24,"connectionId":1}})");
    client.feed("[1,2,3]");
    client.feed("{\"type\":\"talkStatusChanged\",");

    const ClientSnapshot& s = client.snapshot();
    ASSERT_EQ(client.playerIds(), (std::vector<int32_t>{18, 24, 40, 63676}));
    EXPECT_EQ(s.players[1].channel, 9);
    EXPECT_EQ(s.players[2].nickname, QByteArray("AFR1"));
    EXPECT_EQ(s.players[3].channel, 16292);
    EXPECT_EQ(s.players[3].nickname, QByteArray("\xce\x9c Air"));
    EXPECT_EQ(s.speakers, (std::vector<int32_t>{63676}));
}

TEST(TeamSpeak5Client, TheServerComesAndGoesAndTheTabInUseFollowsTheMicrophone) {
    PlayedClient client;
    client.backend.opened();
    client.feed(kAuthAnswer);
    ASSERT_TRUE(client.snapshot().connected);

    client.feed(R"({"type":"connectStatusChanged","payload":{"connectionId":1,"error":0,
                    "status":0,"info":null}})");
    EXPECT_TRUE(client.snapshot().running);
    EXPECT_FALSE(client.snapshot().connected);
    EXPECT_TRUE(client.snapshot().players.empty());

    // Connecting again: the steps, then the clients as they come into view.
    for (const char* step : {"1", "2", "3", "\"connected\""}) {
        client.feed(QByteArray(R"({"type":"connectStatusChanged","payload":{"connectionId":1,)"
                               R"("status":)") +
                    step + R"(,"info":{"clientId":19,"serverName":"Tower Two"}}})");
        EXPECT_FALSE(client.snapshot().connected) << step;
    }
    client.feed(R"({"type":"clientMoved","payload":{"clientId":19,"connectionId":1,
                    "newChannelId":"5","oldChannelId":"0","properties":{"nickname":"EDDH_GND"}}})");
    ASSERT_TRUE(client.snapshot().connected);
    EXPECT_EQ(client.snapshot().self.nickname, QByteArray("EDDH_GND"));
    EXPECT_EQ(client.snapshot().server.name, QByteArray("Tower Two"));
    client.feed(R"({"type":"serverPropertiesUpdated","payload":{"connectionId":1,
                    "properties":{"name":"Tower 2"}}})");
    EXPECT_EQ(client.snapshot().server.name, QByteArray("Tower 2"));
    EXPECT_EQ(client.backend.tab(), 0u);

    // The microphone moves to the other tab: that one is in use now.
    client.feed(R"({"type":"clientSelfPropertyUpdated","payload":{"connectionId":3,
                    "flag":"inputHardware","oldValue":false,"newValue":true}})");
    EXPECT_EQ(client.backend.tab(), 1u);
    EXPECT_EQ(client.snapshot().self.nickname, QByteArray("Away"));
    EXPECT_EQ(client.snapshot().server.name, QByteArray("Other Server"));
    // Named as the current connection, by number or by string.
    client.feed(R"({"type":"currentServerConnectionChanged","payload":{"connectionId":"1"}})");
    EXPECT_EQ(client.backend.tab(), 2u);
    EXPECT_EQ(client.snapshot().self.id, 19);
    client.feed(R"({"type":"currentServerConnectionChanged","payload":{"connectionId":1}})");
    EXPECT_EQ(client.backend.tab(), 2u);
}

TEST(TeamSpeak5Client, ARefusedKeyIsDeletedAndApprovalAskedForOncePerRunOfTheClient) {
    PlayedClient client;
    client.writeKey("STORED-KEY");
    client.backend.opened();
    EXPECT_EQ(client.lastKey(), QStringLiteral("STORED-KEY"));

    // Refused with a status code: traced once, the key gone, asked again with an empty key.
    client.feed(R"({"type":"auth","status":{"code":1,"message":"invalid api key"},"payload":{}})");
    EXPECT_FALSE(client.snapshot().running);
    EXPECT_EQ(client.traces, QStringList{QStringLiteral("TeamSpeak 5 refused the API key")});
    EXPECT_FALSE(QFile::exists(client.keyFile));
    client.backend.connectNow();
    client.backend.opened();
    EXPECT_EQ(client.lastKey(), QString());
    EXPECT_TRUE(client.snapshot().running); // waiting for the user, without a limit

    // The user declines (the connection closes): nothing more is asked of this run.
    client.backend.connectionLost();
    EXPECT_EQ(client.traces.size(), 2);
    const qsizetype auths = client.sent.size();
    for (int i = 0; i < 3; ++i) {
        client.backend.connectNow();
        client.backend.opened();
        EXPECT_FALSE(client.snapshot().running);
    }
    EXPECT_EQ(client.sent.size(), auths);

    // Once nobody listens, the client that comes next is another run: asked once more.
    client.backend.connectNow();
    client.backend.unreachable();
    client.backend.connectNow();
    client.backend.opened();
    EXPECT_EQ(client.sent.size(), auths + 1);
    EXPECT_EQ(client.lastKey(), QString());
    client.feed(R"({"type":"auth","payload":{"apiKey":"NEW-KEY","connections":[]}})");
    EXPECT_EQ(client.backend.storedKey(), QByteArray("NEW-KEY"));
    EXPECT_FALSE(client.traces.join('\n').contains("KEY"))
        << client.traces.join('\n').toStdString();
}

TEST(TeamSpeak5Client, AStoredKeyRefusedByClosingIsAskedForAgainOnlyOnce) {
    PlayedClient client;
    client.writeKey("STORED-KEY");
    client.backend.opened();
    client.backend.connectionLost();
    EXPECT_EQ(client.traces.size(), 1);
    EXPECT_FALSE(QFile::exists(client.keyFile));
    client.backend.connectNow();
    client.backend.opened();
    ASSERT_EQ(client.lastKey(), QString());
    client.feed(R"({"type":"auth","payload":{"apiKey":"SECOND","connections":[]}})");
    ASSERT_EQ(client.backend.storedKey(), QByteArray("SECOND"));

    // Revoked again in the same run of both: the key goes, and nothing is asked.
    client.backend.connectionLost();
    client.backend.connectNow();
    client.backend.opened();
    ASSERT_EQ(client.lastKey(), QStringLiteral("SECOND"));
    client.backend.connectionLost();
    EXPECT_FALSE(QFile::exists(client.keyFile));
    const qsizetype auths = client.sent.size();
    client.backend.connectNow();
    client.backend.opened();
    EXPECT_EQ(client.sent.size(), auths);
    EXPECT_EQ(client.traces.size(), 2);
}

TEST(TeamSpeak5Client, AtMostTheRecordsCapacityOfPlayers) {
    PlayedClient client;
    client.backend.opened();
    QByteArray infos;
    for (int id = 1; id <= 1100; ++id) {
        infos += (id > 1 ? "," : "") + QByteArray(R"({"id":)") + QByteArray::number(id) +
                 R"(,"channelId":1,"properties":{"nickname":"P)" + QByteArray::number(id) +
                 R"(","flagTalking":true}})";
    }
    client.feed(R"({"type":"auth","payload":{"apiKey":"K","currentConnectionId":1,)"
                R"("connections":[{"id":1,"clientId":1,"status":4,"clientInfos":[)" +
                infos + "]}]}}");
    ASSERT_TRUE(client.snapshot().connected);
    EXPECT_EQ(client.snapshot().players.size(), size_t(records::kCapacity));
    EXPECT_EQ(client.snapshot().speakers.size(), size_t(records::kCapacity));
}
