// The simulated client's Remote Apps face: the events it derives from the state, in the
// shapes of the documented messages, and the TeamSpeak 5 back-end kept in step by them.

#include "RemoteAppsFace.h"

#include "Scenario.h"
#include "clients/TeamSpeak5Client.h"
#include "support/TempDir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tsremote;

namespace {

void run(ClientState& state, const std::string& line) {
    std::string error;
    const std::optional<Command> c = parseInteractiveLine(line, error);
    ASSERT_TRUE(c.has_value()) << line << ": " << error;
    state.apply(*c);
}

// What a command line does to the state, as an app hears it.
std::vector<QJsonObject> heard(ClientState& state, const std::string& line) {
    const ClientState before = state;
    run(state, line);
    return eventsBetween(before, state);
}

// "type" or "type:status" for connectStatusChanged and talkStatusChanged, "type:client>channel"
// for clientMoved.
std::vector<std::string> shapes(const std::vector<QJsonObject>& events) {
    std::vector<std::string> out;
    for (const QJsonObject& e : events) {
        const std::string type = e["type"].toString().toStdString();
        const QJsonObject p = e["payload"].toObject();
        EXPECT_EQ(p["connectionId"].toInt(), kConnectionId) << type;
        if (type == "connectStatusChanged" || type == "talkStatusChanged") {
            const std::string who =
                type == "talkStatusChanged" ? std::to_string(p["clientId"].toInt()) + "=" : "";
            out.push_back(type + ":" + who + std::to_string(p["status"].toInt()));
        } else if (type == "clientMoved") {
            out.push_back(type + ":" + std::to_string(p["clientId"].toInt()) + ">" +
                          p["newChannelId"].toString().toStdString() +
                          (p.contains("properties") ? "+" : ""));
        } else {
            out.push_back(type);
        }
    }
    return out;
}

} // namespace

TEST(RemoteAppsFace, EventsFollowTheStateInTheDocumentedShapes) {
    ClientState state;
    run(state, "self 7 EDDH_TWR");
    run(state, "join 2 DLH123 4");
    run(state, "talk 2");
    // Connecting: the steps, the server, the clients coming into view from channel 0 with
    // their properties, the last step, who already talks.
    EXPECT_EQ(shapes(heard(state, "connect 10.1.2.3:9987 Tower")),
              (std::vector<std::string>{"connectStatusChanged:1", "connectStatusChanged:2",
                                        "connectStatusChanged:3", "serverPropertiesUpdated",
                                        "clientMoved:7>1+", "clientMoved:2>4+",
                                        "connectStatusChanged:4", "talkStatusChanged:2=1"}));
    EXPECT_EQ(shapes(heard(state, "join 3 AFR456 5")),
              (std::vector<std::string>{"clientMoved:3>5+"}));
    EXPECT_EQ(shapes(heard(state, "join 3 AFR456 6")),
              (std::vector<std::string>{"clientMoved:3>6"}));
    EXPECT_EQ(shapes(heard(state, "join 3 AFR457 6")),
              (std::vector<std::string>{"clientPropertiesUpdated"}));
    // A talker who leaves is not first said to stop.
    EXPECT_EQ(shapes(heard(state, "leave 2")), (std::vector<std::string>{"clientMoved:2>0"}));
    EXPECT_EQ(shapes(heard(state, "talk 3")), (std::vector<std::string>{"talkStatusChanged:3=1"}));
    EXPECT_EQ(shapes(heard(state, "stop 3")), (std::vector<std::string>{"talkStatusChanged:3=0"}));
    EXPECT_EQ(shapes(heard(state, "disconnect")),
              (std::vector<std::string>{"connectStatusChanged:0"}));
    EXPECT_TRUE(heard(state, "join 4 X").empty());

    // The answer to auth: the connection in use named, its clients with IDs and channels.
    run(state, "connect 10.1.2.3:9987 Tower");
    const QJsonObject auth = authPayload(state, QStringLiteral("KEY"));
    EXPECT_EQ(auth["apiKey"].toString(), QStringLiteral("KEY"));
    EXPECT_EQ(auth["currentConnectionId"].toInt(), kConnectionId);
    const QJsonObject connection = auth["connections"].toArray()[0].toObject();
    EXPECT_EQ(connection["clientId"].toInt(), 7);
    EXPECT_EQ(connection["status"].toInt(), 4);
    EXPECT_EQ(connection["properties"]["name"].toString(), QStringLiteral("Tower"));
    // Disconnecting cleared the others: the local user and the one who joined since.
    EXPECT_EQ(connection["clientInfos"].toArray().size(), 2);
}

TEST(RemoteAppsFace, TheBackEndFedItsMessagesShowsTheSameServer) {
    QTemporaryDir dir;
    TeamSpeak5Client backend(QStringLiteral("127.0.0.1"), 5899,
                             dir.filePath(QStringLiteral("ts5-remote-key")));
    backend.writer = [](const QByteArray&) {};
    backend.start();
    backend.opened();
    ClientState state;
    run(state, "self 1 EDDH_TWR");
    backend.receive(
        QJsonDocument(QJsonObject{{"type", "auth"}, {"payload", authPayload(state, "K")}})
            .toJson());
    EXPECT_TRUE(backend.snapshot().running);
    EXPECT_FALSE(backend.snapshot().connected);

    auto follow = [&](const std::string& line) {
        for (const QJsonObject& event : heard(state, line)) {
            backend.receive(QJsonDocument(event).toJson(QJsonDocument::Compact));
        }
    };
    auto same = [&] {
        const ClientSnapshot& s = backend.snapshot();
        std::vector<std::pair<int32_t, int32_t>> shown;
        for (const auto& p : s.players) {
            shown.emplace_back(p.id, p.channel);
        }
        std::vector<std::pair<int32_t, int32_t>> there;
        for (const auto& p : state.allPlayers()) {
            there.emplace_back(p.id, p.channel);
        }
        std::sort(shown.begin(), shown.end());
        std::sort(there.begin(), there.end());
        std::vector<int32_t> speakers = s.speakers;
        // Only those on the server talk there.
        std::vector<int32_t> talking;
        for (const int32_t id : state.speakers()) {
            if (std::any_of(there.begin(), there.end(), [id](auto p) { return p.first == id; })) {
                talking.push_back(id);
            }
        }
        std::sort(speakers.begin(), speakers.end());
        std::sort(talking.begin(), talking.end());
        return s.connected == state.connected() && shown == there && speakers == talking;
    };
    for (const char* line :
         {"join 2 DLH123 3", "talk 2", "connect 10.1.2.3:9987 Tower", "join 3 AFR456 4", "talk 3",
          "join 3 AFR456 5", "leave 2", "stop 3", "connect 10.9.9.9:9987 Other", "talk 1",
          "disconnect", "join 5 BAW1", "connect 10.1.2.3:9987 Tower", "talk 5"}) {
        follow(line);
        EXPECT_TRUE(same()) << line;
    }
    EXPECT_EQ(backend.snapshot().server.name, QByteArray("Tower"));
    EXPECT_EQ(backend.snapshot().server.address, QByteArray("10.1.2.3:9987"));
    EXPECT_EQ(backend.snapshot().self.nickname, QByteArray("EDDH_TWR"));
    EXPECT_EQ(backend.snapshot().clientVersion, (ClientSnapshot::Version{2, 0, 32, 60}));
}
