#include "RemoteAppsFace.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace tsremote {
namespace {

constexpr const char* kServerVersion = "3.13.7 [Build: 1655727713]";
// connectStatusChanged's steps.
constexpr int kDisconnected = 0;
constexpr int kConnecting = 1;
constexpr int kConnected = 2;
constexpr int kEstablishing = 3;
constexpr int kEstablished = 4;
constexpr size_t kMaxPeers = 64;
// An app's messages are small; anything larger is not one.
constexpr qint64 kMaxIncomingBytes = 1 << 20;

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

QJsonObject message(const char* type, const QJsonObject& payload) {
    return QJsonObject{{QStringLiteral("type"), QLatin1String(type)},
                       {QStringLiteral("payload"), payload}};
}

bool talking(const ClientState& state, int32_t id) {
    const auto& s = state.speakers();
    return std::find(s.begin(), s.end(), id) != s.end();
}

QString clientVersion(const ClientState& state) {
    const int32_t* v = state.version();
    return QStringLiteral("%1.%2.%3 [Build: %4]").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]);
}

QJsonObject clientProperties(const ClientState& state, const ClientState::Player& p) {
    const bool self = p.id == state.self().id;
    QJsonObject properties{
        {QStringLiteral("nickname"), text(p.nickname)},
        {QStringLiteral("flagTalking"), talking(state, p.id)},
        {QStringLiteral("inputMuted"), false},
        {QStringLiteral("outputMuted"), false},
        {QStringLiteral("inputDeactivated"), false},
        {QStringLiteral("inputHardware"), self},
        {QStringLiteral("outputHardware"), true},
        {QStringLiteral("away"), false},
        {QStringLiteral("type"), 0},
    };
    if (self) {
        properties.insert(QStringLiteral("version"), clientVersion(state));
    }
    return properties;
}

QJsonObject serverProperties(const ClientState& state) {
    const std::string& address = state.address();
    const size_t colon = address.rfind(':');
    QJsonObject properties{
        {QStringLiteral("name"), text(state.serverName())},
        {QStringLiteral("platform"), text(state.platform())},
        {QStringLiteral("version"), QLatin1String(kServerVersion)},
        {QStringLiteral("clientsOnline"), int(state.allPlayers().size())},
        {QStringLiteral("connectionServerIp"), text(address.substr(0, colon))},
    };
    if (colon != std::string::npos) {
        properties.insert(QStringLiteral("connectionServerPort"),
                          QString::fromStdString(address.substr(colon + 1)).toInt());
    }
    return properties;
}

QJsonObject status(const ClientState& state, int step) {
    QJsonValue info = QJsonValue::Null;
    if (step == kConnected) {
        info = QJsonObject{{QStringLiteral("clientId"), state.self().id},
                           {QStringLiteral("serverName"), text(state.serverName())}};
    } else if (step > kConnected) {
        info = QJsonObject{{QStringLiteral("clientId"), state.self().id}};
    }
    return message("connectStatusChanged", {{QStringLiteral("connectionId"), kConnectionId},
                                            {QStringLiteral("error"), 0},
                                            {QStringLiteral("hotReload"), false},
                                            {QStringLiteral("status"), step},
                                            {QStringLiteral("info"), info}});
}

// Channel IDs are strings in clientMoved.
QJsonObject moved(int32_t client, int32_t from, int32_t to, const QJsonObject& properties = {}) {
    QJsonObject payload{{QStringLiteral("clientId"), client},
                        {QStringLiteral("connectionId"), kConnectionId},
                        {QStringLiteral("hotReload"), false},
                        {QStringLiteral("oldChannelId"), QString::number(from)},
                        {QStringLiteral("newChannelId"), QString::number(to)}};
    if (properties.isEmpty()) {
        payload.insert(QStringLiteral("type"), 1);
        payload.insert(QStringLiteral("visibility"), to == 0 ? 2 : 1);
    } else {
        payload.insert(QStringLiteral("properties"), properties);
    }
    return message("clientMoved", payload);
}

QJsonObject talk(int32_t client, bool on) {
    return message("talkStatusChanged", {{QStringLiteral("clientId"), client},
                                         {QStringLiteral("connectionId"), kConnectionId},
                                         {QStringLiteral("isWhisper"), false},
                                         {QStringLiteral("status"), on ? 1 : 0}});
}

void connecting(const ClientState& after, std::vector<QJsonObject>& out) {
    for (const int step : {kConnecting, kConnected, kEstablishing}) {
        out.push_back(status(after, step));
    }
    out.push_back(message("serverPropertiesUpdated",
                          {{QStringLiteral("connectionId"), kConnectionId},
                           {QStringLiteral("properties"), serverProperties(after)}}));
    for (const ClientState::Player& p : after.allPlayers()) {
        out.push_back(moved(p.id, 0, p.channel, clientProperties(after, p)));
    }
    out.push_back(status(after, kEstablished));
}

} // namespace

QJsonObject authPayload(const ClientState& state, const QString& apiKey) {
    QJsonArray clients;
    std::set<int32_t> channels;
    for (const ClientState::Player& p : state.allPlayers()) {
        clients.append(QJsonObject{{QStringLiteral("id"), p.id},
                                   {QStringLiteral("channelId"), p.channel},
                                   {QStringLiteral("properties"), clientProperties(state, p)}});
        channels.insert(p.channel);
    }
    QJsonArray roots;
    for (const int32_t channel : channels) {
        roots.append(QJsonObject{
            {QStringLiteral("id"), QString::number(channel)},
            {QStringLiteral("properties"),
             QJsonObject{{QStringLiteral("name"), QStringLiteral("Channel %1").arg(channel)}}}});
    }
    QJsonObject connection{
        {QStringLiteral("id"), kConnectionId},
        {QStringLiteral("clientId"), state.self().id},
        {QStringLiteral("status"), state.connected() ? kEstablished : kDisconnected},
        {QStringLiteral("clientInfos"), clients},
    };
    if (state.connected()) {
        connection.insert(QStringLiteral("properties"), serverProperties(state));
        connection.insert(QStringLiteral("channelInfos"),
                          QJsonObject{{QStringLiteral("rootChannels"), roots},
                                      {QStringLiteral("subChannels"), QJsonObject{}}});
    }
    return QJsonObject{{QStringLiteral("apiKey"), apiKey},
                       {QStringLiteral("currentConnectionId"), kConnectionId},
                       {QStringLiteral("connections"), QJsonArray{connection}}};
}

std::vector<QJsonObject> eventsBetween(const ClientState& before, const ClientState& after) {
    std::vector<QJsonObject> out;
    if (!before.connected() && !after.connected()) {
        return out;
    }
    const bool anotherServer =
        before.connected() && after.connected() &&
        (before.address() != after.address() || before.serverName() != after.serverName() ||
         before.self().id != after.self().id);
    if (before.connected() && (!after.connected() || anotherServer)) {
        out.push_back(status(after, kDisconnected));
        if (!after.connected()) {
            return out;
        }
    }
    if (!before.connected() || anotherServer) {
        connecting(after, out);
        for (const int32_t id : after.speakers()) {
            out.push_back(talk(id, true));
        }
        return out;
    }

    std::map<int32_t, ClientState::Player> was;
    for (const ClientState::Player& p : before.allPlayers()) {
        was[p.id] = p;
    }
    std::map<int32_t, ClientState::Player> is;
    for (const ClientState::Player& p : after.allPlayers()) {
        is[p.id] = p;
    }
    for (const auto& [id, p] : was) {
        if (!is.count(id)) {
            out.push_back(moved(id, p.channel, 0));
        }
    }
    for (const ClientState::Player& p : after.allPlayers()) {
        if (!was.count(p.id)) {
            out.push_back(moved(p.id, 0, p.channel, clientProperties(after, p)));
        }
    }
    for (const ClientState::Player& p : after.allPlayers()) {
        const auto old = was.find(p.id);
        if (old != was.end() && old->second.channel != p.channel) {
            out.push_back(moved(p.id, old->second.channel, p.channel));
        }
    }
    const bool newVersion = !std::equal(before.version(), before.version() + 4, after.version());
    for (const ClientState::Player& p : after.allPlayers()) {
        const auto old = was.find(p.id);
        if (old != was.end() &&
            (old->second.nickname != p.nickname || (p.id == after.self().id && newVersion))) {
            out.push_back(message("clientPropertiesUpdated",
                                  {{QStringLiteral("clientId"), p.id},
                                   {QStringLiteral("connectionId"), kConnectionId},
                                   {QStringLiteral("properties"), clientProperties(after, p)}}));
        }
    }
    if (before.platform() != after.platform() || before.welcome() != after.welcome()) {
        out.push_back(message("serverPropertiesUpdated",
                              {{QStringLiteral("connectionId"), kConnectionId},
                               {QStringLiteral("properties"), serverProperties(after)}}));
    }
    for (const int32_t id : before.speakers()) {
        if (!talking(after, id) && is.count(id)) {
            out.push_back(talk(id, false));
        }
    }
    for (const int32_t id : after.speakers()) {
        if (!talking(before, id) || !was.count(id)) {
            out.push_back(talk(id, true));
        }
    }
    return out;
}

RemoteAppsFace::RemoteAppsFace(const ClientState& state, bool approve, QSet<QString> keys)
    : state_(state), approve_(approve), keys_(std::move(keys)),
      server_(new QWebSocketServer(QStringLiteral("ts5-client-sim"),
                                   QWebSocketServer::NonSecureMode, this)) {
    connect(server_, &QWebSocketServer::newConnection, this, &RemoteAppsFace::accept);
}

RemoteAppsFace::~RemoteAppsFace() {
    for (Peer& peer : peers_) {
        peer.socket->disconnect(this);
    }
}

QString RemoteAppsFace::listen(quint16 port) {
    if (!server_->listen(QHostAddress::LocalHost, port)) {
        return server_->errorString();
    }
    return {};
}

quint16 RemoteAppsFace::port() const {
    return server_->serverPort();
}

void RemoteAppsFace::accept() {
    while (QWebSocket* socket = server_->nextPendingConnection()) {
        if (peers_.size() >= kMaxPeers) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        std::fprintf(stderr, "ts5-client-sim: an app connected\n");
        socket->setMaxAllowedIncomingMessageSize(kMaxIncomingBytes);
        socket->setMaxAllowedIncomingFrameSize(kMaxIncomingBytes);
        peers_.push_back({socket, false});
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString& text) { received(socket, text); });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { drop(socket); });
    }
}

void RemoteAppsFace::drop(QWebSocket* socket) {
    const auto it = std::find_if(peers_.begin(), peers_.end(),
                                 [socket](const Peer& p) { return p.socket == socket; });
    if (it == peers_.end()) {
        return;
    }
    peers_.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void RemoteAppsFace::send(QWebSocket* socket, const QJsonObject& message) {
    socket->sendTextMessage(
        QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}

void RemoteAppsFace::received(QWebSocket* socket, const QString& text) {
    const auto peer = std::find_if(peers_.begin(), peers_.end(),
                                   [socket](const Peer& p) { return p.socket == socket; });
    if (peer == peers_.end()) {
        return;
    }
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    if (message.value(QStringLiteral("type")).toString() != QLatin1String("auth")) {
        return; // the client answers nothing it does not know
    }
    const QString key = message.value(QStringLiteral("payload"))
                            .toObject()
                            .value(QStringLiteral("content"))
                            .toObject()
                            .value(QStringLiteral("apiKey"))
                            .toString();
    QString accepted;
    if (key.isEmpty()) {
        if (!approve_) {
            // The user said no: an error status, and the connection ends.
            std::fprintf(stderr, "ts5-client-sim: the user declined an app\n");
            send(socket, QJsonObject{{QStringLiteral("type"), QStringLiteral("auth")},
                                     {QStringLiteral("status"),
                                      QJsonObject{{QStringLiteral("code"), 1},
                                                  {QStringLiteral("message"),
                                                   QStringLiteral("not allowed")}}},
                                     {QStringLiteral("payload"), QJsonObject{}}});
            socket->close();
            return;
        }
        accepted = QUuid::createUuid().toString(QUuid::WithoutBraces);
        keys_.insert(accepted);
        std::fprintf(stderr, "ts5-client-sim: the user allowed an app\n");
    } else if (keys_.contains(key)) {
        accepted = key;
        std::fprintf(stderr, "ts5-client-sim: an app presented a known key\n");
    } else {
        // A key it does not know: the connection ends without an answer.
        std::fprintf(stderr, "ts5-client-sim: refused an unknown key\n");
        drop(socket);
        return;
    }
    peer->authenticated = true;
    const QJsonObject answer{
        {QStringLiteral("type"), QStringLiteral("auth")},
        {QStringLiteral("status"), QJsonObject{{QStringLiteral("code"), 0},
                                               {QStringLiteral("message"), QStringLiteral("ok")}}},
        {QStringLiteral("payload"), authPayload(state_, accepted)}};
    send(socket, answer);
}

void RemoteAppsFace::stateChanged(const ClientState& before, const ClientState& after) {
    const std::vector<QJsonObject> events = eventsBetween(before, after);
    for (const Peer& peer : peers_) {
        if (!peer.authenticated) {
            continue;
        }
        for (const QJsonObject& event : events) {
            send(peer.socket, event);
        }
    }
}

void RemoteAppsFace::revoke() {
    keys_.clear();
    std::vector<QWebSocket*> cut;
    for (const Peer& peer : peers_) {
        if (peer.authenticated) {
            cut.push_back(peer.socket);
        }
    }
    for (QWebSocket* socket : cut) {
        drop(socket);
    }
    std::fprintf(stderr, "ts5-client-sim: revoked every app's key\n");
}

} // namespace tsremote
