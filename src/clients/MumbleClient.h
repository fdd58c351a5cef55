#pragma once

#include "ClientBackend.h"
#include "ClientSnapshot.h"
#include "SnapshotLibrary.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>

class QDBusServiceWatcher;

// The server and local user named by an address from getCurrentUrl.
struct MumbleUrl {
    QString host;
    quint16 port = 0;
    QString user; // percent-decoded
    bool operator==(const MumbleUrl&) const = default;
};
// Nothing unless text is a mumble:// address with a host; the port is 64738 when not named.
std::optional<MumbleUrl> parseMumbleUrl(const QString& text);

// Mumble (1.3 and later) through its D-Bus interface on the session bus. The interface tells
// the address of the server the client is connected to (with the local user's name in it) and
// the names of the users talking now, nothing else: no list of the users on the server, no
// version. So the players are the local user (ID 1) and everyone heard talking since the
// connection was made, each keeping the ID it was given until the connection ends.
class MumbleClient : public ClientBackend {
    Q_OBJECT

public:
    static constexpr const char* kService = "net.sourceforge.mumble.mumble";
    static constexpr const char* kPath = "/";
    static constexpr const char* kInterface = "net.sourceforge.mumble.Mumble";
    // What Mumble answers both calls with while it is on no server.
    static constexpr const char* kNotConnectedError = "net.sourceforge.mumble.Error.connection";
    // The talking users are asked when the speakers are read (each 50 ms tick), at most this
    // often, one call at a time: nobody reading, no calls, and no wake-up of their own.
    static constexpr int kTalkingIntervalMs = 40;
    static constexpr int kUrlIntervalMs = 1000;
    // A call not answered by then counts as failed, and the next one is made.
    static constexpr int kCallTimeoutMs = 2000;
    static constexpr quint16 kDefaultPort = 64738;
    static constexpr int32_t kSelfId = 1;

    // bus gives the connection to watch, asked once at start(); a connection that is not
    // connected means there is no session bus, and Mumble is never found.
    explicit MumbleClient(std::function<QDBusConnection()> bus);
    ~MumbleClient() override;

    QString name() const override { return QStringLiteral("Mumble"); }
    QString endpoint() const override { return QStringLiteral("D-Bus"); }
    void start() override;
    RemoteLibrary& library() override { return library_; }
    uint64_t tab() const override { return tab_; }

    const ClientSnapshot& snapshot() const { return snapshot_; }

    // The session bus the way the client itself finds it: $DBUS_SESSION_BUS_ADDRESS, else
    // the user's bus in $XDG_RUNTIME_DIR. Never launches a bus of its own.
    static QDBusConnection sessionBus();

    // Public for tests and the fuzzer, which play Mumble without a bus: the service came or
    // went; an answer to getCurrentUrl, to getTalkingUsers.
    void appeared();
    void vanished();
    void answeredUrl(const QString& url);
    void answeredTalking(const QStringList& names);

private:
    struct Heard {
        int32_t id = 0;
        quint64 lastHeard = 0; // the answer it was last in
    };

    void askTalking();
    void askUrl();
    // Makes room for one more name heard: the one heard longest ago gives up its row.
    void evictOldest();
    void forgetConnection();
    void publish();

    std::function<QDBusConnection()> busFactory_;
    std::optional<QDBusConnection> bus_;
    QDBusServiceWatcher* watcher_ = nullptr;
    QElapsedTimer sinceTalkingAsked_;
    QTimer urlTimer_;
    // Replies of an earlier presence of the service are not taken.
    quint64 presence_ = 0;
    bool present_ = false;
    bool talkingInFlight_ = false;
    bool urlInFlight_ = false;

    std::optional<MumbleUrl> server_;
    // Replies asked for during an earlier connection are not taken either.
    quint64 connection_ = 0;
    QHash<QString, Heard> heard_; // by the name as Mumble gives it, the local user not among them
    int32_t nextId_ = kSelfId + 1;
    quint64 answers_ = 0;
    uint64_t tab_ = 0;

    // Kept current in place: the players in the order of their IDs, the local user first.
    ClientSnapshot snapshot_;
    SnapshotLibrary library_{snapshot_};
};
