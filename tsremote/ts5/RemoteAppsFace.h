#pragma once

#include "ClientState.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <vector>

class QWebSocket;
class QWebSocketServer;

// The simulated client's third face: a TeamSpeak 5 or 6 client's "Remote Apps" WebSocket on
// 127.0.0.1, showing the same state. Every message is one JSON object
// {"type": ..., "payload": {...}}. An app authenticates with an API key, an empty one the
// first time; the user's approval is simulated. One server connection (id 1) holds the
// state's server.
namespace tsremote {

inline constexpr int kConnectionId = 1;

// The answer's payload to an accepted auth: the key, the connection in use, the connections
// with their server properties and clients.
QJsonObject authPayload(const ClientState& state, const QString& apiKey);

// What an authenticated app hears when the state goes from before to after, in this order:
// a new connection's status steps (1, 2, 3), its server's properties, its clients coming into
// view (clientMoved from channel "0", with properties), the last step (4) and who talks
// already; on disconnecting, status 0 only. While connected: clients that left (moved to
// channel "0"; a talker's leaving is not preceded by a talk stop), clients that came, clients
// that changed channel, changed properties, the server's properties, talk stops, talk starts.
// Another server (or another own client ID) counts as disconnecting and connecting again.
std::vector<QJsonObject> eventsBetween(const ClientState& before, const ClientState& after);

class RemoteAppsFace : public QObject {
    Q_OBJECT

public:
    // approve: whether the user allows an app that asks with an empty key. keys: keys allowed
    // in an earlier run of the client.
    RemoteAppsFace(const ClientState& state, bool approve, QSet<QString> keys);
    ~RemoteAppsFace() override;

    // Listens on 127.0.0.1:port (0: a free port). Empty on success, else why not.
    QString listen(quint16 port);
    quint16 port() const;

    // Tells the authenticated apps what changed.
    void stateChanged(const ClientState& before, const ClientState& after);
    // The user withdraws every app's key: connected apps are cut off, their keys refused.
    void revoke();

private:
    struct Peer {
        QWebSocket* socket = nullptr;
        bool authenticated = false;
    };

    void accept();
    void received(QWebSocket* socket, const QString& text);
    void drop(QWebSocket* socket);
    static void send(QWebSocket* socket, const QJsonObject& message);

    const ClientState& state_;
    bool approve_;
    QSet<QString> keys_;
    QWebSocketServer* server_;
    std::vector<Peer> peers_;
};

} // namespace tsremote
