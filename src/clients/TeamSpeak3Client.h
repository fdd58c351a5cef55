#pragma once

#include "ClientBackend.h"
#include "ClientSnapshot.h"
#include "QueryLine.h"
#include "SnapshotLibrary.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

// The TeamSpeak 3 client through its ClientQuery interface (TCP, text lines). Learns the state
// of the server tab in use with a few commands, follows it with events, and reads it whole
// again every few seconds. Everything runs on the event loop; the six operations answer from
// the last snapshot at once.
class TeamSpeak3Client : public ClientBackend {
    Q_OBJECT

public:
    static constexpr quint16 kDefaultPort = 25639;
    // Between connection attempts, between attempts to authenticate, between full reads.
    static constexpr int kRetryMs = 2000;
    static constexpr int kAuthRetryMs = 5000;
    static constexpr int kResyncMs = 5000;
    // An endpoint that accepts but does not greet, or a command that gets no answer.
    static constexpr int kGreetingTimeoutMs = 5000;
    static constexpr int kReplyTimeoutMs = 10000;
    // Beyond this, a line without an end, or a reply's data, is not a client's.
    static constexpr qsizetype kMaxLineBytes = 8 * 1024 * 1024;
    static constexpr size_t kMaxClients = 4096;

    // key gives the API key at each attempt to authenticate.
    TeamSpeak3Client(QString host, quint16 port, std::function<QByteArray()> key);
    ~TeamSpeak3Client() override;

    QString name() const override { return QStringLiteral("TeamSpeak 3 ClientQuery"); }
    QString endpoint() const override;
    void start() override;
    RemoteLibrary& library() override { return library_; }
    uint64_t tab() const override { return tab_; }

    const ClientSnapshot& snapshot() const { return snapshot_; }

    // What the socket delivered: lines end in "\n\r" (or "\n", "\r\n"). Public for the fuzzer
    // and for tests that feed replies and events without a socket.
    void receive(QByteArrayView bytes);
    // Called instead of writing to the socket when set (tests, fuzzer).
    std::function<void(const QByteArray&)> writer;
    // The connection has ended (closed, failed, given up).
    void connectionLost();

private:
    enum class Stage { Idle, Greeting, Authenticating, Ready };
    using Done = std::function<void(const std::vector<query::Item>& data, long long error)>;
    struct Pending {
        QByteArray command;
        Done done;
    };
    struct Row {
        int32_t clid = 0;
        int32_t cid = 0;
        QByteArray nickname; // cut to the record's width
        int type = 0;
        bool talking = false;
    };

    void connectNow();
    void handleLine(QByteArrayView line);
    void handleEvent(const query::Line& line);
    void finishCommand(long long error);
    void send(QByteArray command, Done done = {});
    void writeNext();
    void authenticate();
    void registerEvents();
    void resync();
    void clearServer();
    Row* row(int32_t clid);
    static Row rowFrom(const query::Item& item);
    void publish();

    QString host_;
    quint16 port_;
    std::function<QByteArray()> key_;
    QTcpSocket* socket_ = nullptr;
    QTimer authRetry_;
    QTimer resync_;
    QTimer deadline_; // greeting or reply
    QElapsedTimer sinceAttempt_;
    bool started_ = false;

    QByteArray buffer_;
    Stage stage_ = Stage::Idle;
    std::deque<Pending> queue_;
    bool inFlight_ = false;
    std::vector<query::Item> replyData_;
    bool syncing_ = false;
    // Changes with the tab and the connection: a read begun before answers for neither.
    uint64_t generation_ = 0;

    // The tab in use, as the client describes it.
    int schandler_ = 0;
    uint64_t tab_ = 0;
    bool connected_ = false;
    int32_t self_ = -1;
    std::vector<Row> rows_;
    ClientSnapshot::Server server_;
    ClientSnapshot::Version clientVersion_{};

    ClientSnapshot snapshot_;
    SnapshotLibrary library_{snapshot_};
};

// "3.6.2 [Build: 1695203293]" as 3, 6, 2, 1695203293; what is missing stays 0.
ClientSnapshot::Version parseTeamSpeakVersion(const QByteArray& text);
