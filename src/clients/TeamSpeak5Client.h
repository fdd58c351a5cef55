#pragma once

#include "ClientBackend.h"
#include "ClientSnapshot.h"
#include "SnapshotLibrary.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

class QWebSocket;

// The TeamSpeak 5 and 6 clients through their "Remote Apps" interface: a local WebSocket on
// which each message is one JSON object {"type": ..., "payload": {...}}. The answer to the
// app's "auth" carries every server connection (tab) of the client with its clients; events
// keep that current. The user allows the app once in the client, which then hands out an API
// key; the key is kept in a file of the program directory and presented from then on.
class TeamSpeak5Client : public ClientBackend {
    Q_OBJECT

public:
    static constexpr quint16 kDefaultPort = 5899;
    static constexpr int kRetryMs = 2000;
    // A stored key is answered at once; no answer means something else listens there. An
    // empty key waits for the user, who may take minutes: no limit then.
    static constexpr int kAuthTimeoutMs = 5000;
    // The answer to auth lists every client of every tab: generous, but bounded.
    static constexpr qint64 kMaxMessageBytes = 16 * 1024 * 1024;
    static constexpr size_t kMaxConnections = 64;
    static constexpr size_t kMaxClients = 4096;
    // The file in the program directory that holds the key.
    static constexpr const char* kKeyFileName = "ts5-remote-key";

    TeamSpeak5Client(QString host, quint16 port, QString keyFile);
    ~TeamSpeak5Client() override;

    QString name() const override { return QStringLiteral("TeamSpeak 5"); }
    QString endpoint() const override;
    void start() override;
    RemoteLibrary& library() override { return library_; }
    uint64_t tab() const override { return tab_; }

    const ClientSnapshot& snapshot() const { return snapshot_; }

    // Public for tests and the fuzzer, which play the client without a socket:
    // one text message as the client sent it;
    void receive(QByteArrayView utf8);
    // called instead of sending on the socket when set; start() then opens no socket;
    std::function<void(const QByteArray&)> writer;
    // the socket is open (sends auth), the open connection ended, nobody listens;
    void opened();
    void connectionLost();
    void unreachable();
    // the next connection attempt, without waiting for the retry timer.
    void connectNow();

    // The stored key: empty when there is none. Never logged.
    QByteArray storedKey() const;

private:
    enum class Stage { Idle, Opening, Authenticating, Ready };
    struct Member {
        qint64 id = 0;
        int32_t channel = 0;
        QByteArray nickname; // cut to the record's width
        bool talking = false;
    };
    struct Connection {
        qint64 id = 0;
        qint64 self = -1;
        bool established = false;
        bool ownInputHardware = false;
        std::vector<Member> members;
        ClientSnapshot::Server server;
        ClientSnapshot::Version clientVersion{};
        Member* member(qint64 client);
    };

    void handleAuth(const QJsonObject& message);
    void refused();
    void handleEvent(const QString& type, const QJsonObject& payload);
    Connection* connection(const QJsonObject& payload, bool create = false);
    void applyClientProperties(Connection& c, Member& m, const QJsonObject& properties);
    void applyServerProperties(Connection& c, const QJsonObject& properties);
    void setStatus(Connection& c, const QJsonObject& payload);
    void use(qint64 connectionId);
    void chooseConnectionInUse(std::optional<qint64> named);
    void storeKey(const QByteArray& key);
    void deleteKey();
    void send(const QByteArray& message);
    void closeSocket();
    void publish();

    QString host_;
    quint16 port_;
    QString keyFile_;
    QWebSocket* socket_ = nullptr;
    QTimer authDeadline_;
    QElapsedTimer sinceAttempt_;
    bool started_ = false;
    Stage stage_ = Stage::Idle;

    // The approval dance: an empty key was sent during this run of the client; the user
    // declined it, so nothing is asked again until the client has gone and come back.
    bool sentEmptyKey_ = false;
    bool askedThisRun_ = false;
    bool declined_ = false;

    std::vector<Connection> connections_;
    std::optional<qint64> inUse_;
    uint64_t tab_ = 0;

    ClientSnapshot snapshot_;
    SnapshotLibrary library_{snapshot_};
};
