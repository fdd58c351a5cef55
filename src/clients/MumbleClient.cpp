#include "MumbleClient.h"

#include "EightBitText.h"
#include "records/Records.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>

namespace {

const QByteArray kNoBusText = "No D-Bus session bus to find Mumble on";

QDBusMessage callOf(const char* method) {
    return QDBusMessage::createMethodCall(
        QLatin1String(MumbleClient::kService), QLatin1String(MumbleClient::kPath),
        QLatin1String(MumbleClient::kInterface), QLatin1String(method));
}

} // namespace

std::optional<MumbleUrl> parseMumbleUrl(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::TolerantMode);
    if (!url.isValid() || url.scheme() != QLatin1String("mumble")) {
        return std::nullopt;
    }
    MumbleUrl parsed;
    parsed.host = url.host(QUrl::FullyDecoded);
    if (parsed.host.isEmpty()) {
        return std::nullopt;
    }
    const int port = url.port(MumbleClient::kDefaultPort);
    parsed.port = port > 0 ? quint16(port) : MumbleClient::kDefaultPort;
    parsed.user = url.userName(QUrl::FullyDecoded);
    return parsed;
}

QDBusConnection MumbleClient::sessionBus() {
    const QString name = QStringLiteral("staticor-mumble");
    QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        const QString socket = runtime + QStringLiteral("/bus");
        if (runtime.isEmpty() || !QFileInfo(socket).exists()) {
            return QDBusConnection(name); // not connected: no bus to look on
        }
        address = QStringLiteral("unix:path=") + socket;
    }
    return QDBusConnection::connectToBus(address, name);
}

MumbleClient::MumbleClient(std::function<QDBusConnection()> bus) : busFactory_(std::move(bus)) {
    library_.onSpeakersRead([this] {
        if (passed(sinceTalkingAsked_, kTalkingIntervalMs)) {
            askTalking();
        }
    });
    urlTimer_.setInterval(kUrlIntervalMs);
    connect(&urlTimer_, &QTimer::timeout, this, &MumbleClient::askUrl);
    publish();
}

// Replies still on their way go with their watchers, which are children of this.
MumbleClient::~MumbleClient() = default;

void MumbleClient::start() {
    if (bus_) {
        return;
    }
    bus_ = busFactory_();
    if (!bus_->isConnected()) {
        publish();
        return;
    }
    watcher_ = new QDBusServiceWatcher(QLatin1String(kService), *bus_,
                                       QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString& oldOwner, const QString& newOwner) {
                if (!oldOwner.isEmpty()) {
                    vanished();
                }
                if (!newOwner.isEmpty()) {
                    appeared();
                }
            });
    // Mumble may be there already. The watcher is set first, so nothing falls in between.
    QDBusMessage hasOwner = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    hasOwner << QLatin1String(kService);
    auto* pending = new QDBusPendingCallWatcher(bus_->asyncCall(hasOwner, kCallTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, presence = presence_](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<bool> reply = *call;
                if (presence == presence_ && !reply.isError() && reply.value()) {
                    appeared();
                }
            });
}

void MumbleClient::appeared() {
    if (present_) {
        return;
    }
    present_ = true;
    ++presence_;
    talkingInFlight_ = false;
    urlInFlight_ = false;
    urlTimer_.start();
    publish();
    askUrl();
}

void MumbleClient::vanished() {
    if (!present_) {
        return;
    }
    present_ = false;
    ++presence_;
    urlTimer_.stop();
    forgetConnection();
    publish();
}

void MumbleClient::askUrl() {
    if (!bus_ || !present_ || urlInFlight_) {
        return;
    }
    urlInFlight_ = true;
    auto* pending =
        new QDBusPendingCallWatcher(bus_->asyncCall(callOf("getCurrentUrl"), kCallTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, presence = presence_](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (presence != presence_) {
                    return;
                }
                urlInFlight_ = false;
                const QDBusPendingReply<QString> reply = *call;
                // A call that failed or timed out tells nothing; the next one is on the timer,
                // and the watcher says when Mumble has gone. Off the server, Mumble answers
                // with its own error rather than an empty address.
                if (!reply.isError()) {
                    answeredUrl(reply.value());
                } else if (reply.error().name() == QLatin1String(kNotConnectedError)) {
                    answeredUrl(QString());
                }
            });
}

void MumbleClient::askTalking() {
    if (!bus_ || !present_ || !server_ || talkingInFlight_) {
        return;
    }
    talkingInFlight_ = true;
    sinceTalkingAsked_.start();
    auto* pending = new QDBusPendingCallWatcher(
        bus_->asyncCall(callOf("getTalkingUsers"), kCallTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, presence = presence_, connection = connection_](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (presence != presence_) {
                    return;
                }
                talkingInFlight_ = false;
                const QDBusPendingReply<QStringList> reply = *call;
                // Names heard on an earlier server are not this server's. Told that it is off
                // the server, the speakers end now rather than at the next address asked.
                if (connection != connection_) {
                    return;
                }
                if (!reply.isError()) {
                    answeredTalking(reply.value());
                } else if (reply.error().name() == QLatin1String(kNotConnectedError)) {
                    answeredUrl(QString());
                }
            });
}

void MumbleClient::answeredUrl(const QString& url) {
    const std::optional<MumbleUrl> server = present_ ? parseMumbleUrl(url) : std::nullopt;
    if (server == server_) {
        return;
    }
    const bool wasConnected = server_.has_value();
    forgetConnection();
    server_ = server;
    if (server_) {
        if (wasConnected) {
            ++tab_; // straight from one server to another
        }
        snapshot_.players.push_back(
            {kSelfId, 0, eightBit::cut(server_->user, eightBit::kNicknameBytes), 0, 0, 0});
    }
    publish();
    askTalking();
}

void MumbleClient::evictOldest() {
    auto oldest = heard_.end();
    for (auto it = heard_.begin(); it != heard_.end(); ++it) {
        if (oldest == heard_.end() || it->lastHeard < oldest->lastHeard) {
            oldest = it;
        }
    }
    if (oldest == heard_.end()) {
        return;
    }
    const int32_t id = oldest->id;
    heard_.erase(oldest);
    std::erase_if(snapshot_.players, [id](const ClientSnapshot::Player& p) { return p.id == id; });
    std::erase(snapshot_.speakers, id);
}

void MumbleClient::answeredTalking(const QStringList& names) {
    if (!server_) {
        return;
    }
    ++answers_;
    snapshot_.speakers.clear();
    bool selfTalks = false;
    int32_t others = 0;
    for (const QString& name : names) {
        if (name == server_->user) {
            if (!selfTalks) {
                selfTalks = true;
                snapshot_.speakers.push_back(kSelfId);
            }
            continue;
        }
        // No more can talk at once than the library has rows beside the local user's: the
        // names beyond would only push out the ones just taken.
        if (others == records::kCapacity - 1) {
            continue;
        }
        auto it = heard_.find(name);
        if (it == heard_.end()) {
            // The local user always keeps the first of the library's rows.
            if (heard_.size() >= records::kCapacity - 1) {
                evictOldest();
            }
            it = heard_.insert(name, {nextId_, 0});
            snapshot_.players.push_back(
                {nextId_, 0, eightBit::cut(name, eightBit::kNicknameBytes), 0, 0, 0});
            ++nextId_;
        } else if (it->lastHeard == answers_) {
            continue; // named twice in this answer
        }
        it->lastHeard = answers_;
        snapshot_.speakers.push_back(it->id);
        ++others;
    }
    publish();
}

void MumbleClient::forgetConnection() {
    ++connection_;
    server_.reset();
    heard_.clear();
    snapshot_.players.clear();
    snapshot_.speakers.clear();
    nextId_ = kSelfId + 1;
}

void MumbleClient::publish() {
    snapshot_.running = present_;
    snapshot_.connected = present_ && server_.has_value();
    snapshot_.lastError.clear();
    if (bus_ && !bus_->isConnected()) {
        snapshot_.lastError = kNoBusText;
    } else if (!present_) {
        snapshot_.lastError = QStringLiteral("Mumble is not running (nothing owns %1 on the "
                                             "session bus)")
                                  .arg(QLatin1String(kService))
                                  .toLocal8Bit();
    }
    snapshot_.server = {};
    snapshot_.self = {};
    if (snapshot_.connected) {
        const QString host = server_->host.contains(QLatin1Char(':'))
                                 ? QLatin1Char('[') + server_->host + QLatin1Char(']')
                                 : server_->host;
        snapshot_.server.address = eightBit::cut(
            host + QLatin1Char(':') + QString::number(server_->port), eightBit::kAddressBytes);
        snapshot_.server.hostName = eightBit::cut(server_->host, eightBit::kHostNameBytes);
        snapshot_.self = snapshot_.players.front();
    }
}
