#include "TeamSpeak5Client.h"

#include "EightBitText.h"
#include "TeamSpeak3Client.h"
#include "config/RegularFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>
#include <QWebSocket>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The client recognises a stored key only together with the identity it was given for: these
// never change.
constexpr const char* kIdentifier = "staticor";
constexpr const char* kIdentityVersion = "1.0";

// connectStatusChanged's and connections[]'s status: 0 disconnected, 1 connecting,
// 2 connected, 3 establishing, 4 established. Only at 4 are the server's clients known.
constexpr int kDisconnected = 0;
constexpr int kConnecting = 1;
constexpr int kEstablished = 4;
constexpr int kTalking = 1;

// An ID as the client writes it: a number, or a number in a string ("16292").
std::optional<qint64> idOf(const QJsonValue& value) {
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.0e15) {
            return qint64(d);
        }
        return std::nullopt;
    }
    if (value.isString()) {
        bool ok = false;
        const qint64 n = value.toString().trimmed().toLongLong(&ok);
        if (ok) {
            return n;
        }
    }
    return std::nullopt;
}

int32_t toInt32(qint64 n) {
    return int32_t(std::clamp<qint64>(n, INT32_MIN, INT32_MAX));
}

QString squeezed(const QString& text) {
    QString out = text.toLower();
    out.remove(QLatin1Char('_')).remove(QLatin1Char(' '));
    return out;
}

// A connection status as a number; names are taken as well.
std::optional<int> statusOf(const QJsonValue& value) {
    if (const auto n = idOf(value)) {
        return int(std::clamp<qint64>(*n, -1, 100));
    }
    if (!value.isString()) {
        return std::nullopt;
    }
    const QString name = squeezed(value.toString());
    if (name == QLatin1String("disconnected")) {
        return kDisconnected;
    }
    if (name == QLatin1String("connecting")) {
        return kConnecting;
    }
    if (name == QLatin1String("connectionestablishing") || name == QLatin1String("establishing")) {
        return 3;
    }
    if (name == QLatin1String("connected") || name == QLatin1String("connectionestablished") ||
        name == QLatin1String("established")) {
        return kEstablished;
    }
    return std::nullopt;
}

// talkStatusChanged's status: 0 not talking, 1 talking, 2 talking while the microphone is off
// (nothing is sent).
std::optional<int> talkStatusOf(const QJsonValue& value) {
    if (value.isBool()) {
        return value.toBool() ? kTalking : 0;
    }
    if (const auto n = idOf(value)) {
        return int(std::clamp<qint64>(*n, -1, 100));
    }
    if (value.isString()) {
        const QString name = squeezed(value.toString());
        if (name == QLatin1String("talking")) {
            return kTalking;
        }
        if (name == QLatin1String("nottalking")) {
            return 0;
        }
    }
    return std::nullopt;
}

QByteArray nicknameOf(const QJsonValue& value) {
    return eightBit::cut(value.toString(), eightBit::kNicknameBytes);
}

} // namespace

TeamSpeak5Client::Member* TeamSpeak5Client::Connection::member(qint64 client) {
    for (Member& m : members) {
        if (m.id == client) {
            return &m;
        }
    }
    return nullptr;
}

TeamSpeak5Client::TeamSpeak5Client(QString host, quint16 port, QString keyFile)
    : host_(std::move(host)), port_(port), keyFile_(std::move(keyFile)) {
    library_.onSpeakersRead([this] {
        if (started_ && stage_ == Stage::Idle && passed(sinceAttempt_, kRetryMs - kEarlyLookMs)) {
            connectNow();
        }
    });
    authDeadline_.setSingleShot(true);
    connect(&authDeadline_, &QTimer::timeout, this, [this] {
        if (stage_ != Stage::Authenticating || sentEmptyKey_) {
            return;
        }
        // Not the client, or not answering: try again later with the same key.
        stage_ = Stage::Idle;
        closeSocket();
        connections_.clear();
        inUse_.reset();
        publish();
    });
    publish();
}

TeamSpeak5Client::~TeamSpeak5Client() {
    if (socket_) {
        socket_->disconnect(this);
    }
}

QString TeamSpeak5Client::endpoint() const {
    return host_ + QLatin1Char(':') + QString::number(port_);
}

void TeamSpeak5Client::start() {
    if (started_) {
        return;
    }
    started_ = true;
    connectNow();
}

void TeamSpeak5Client::connectNow() {
    if (stage_ != Stage::Idle) {
        return;
    }
    sinceAttempt_.start();
    stage_ = Stage::Opening;
    if (writer) {
        return; // played by hand: the test says when the socket opens
    }
    closeSocket();
    socket_ = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    socket_->setMaxAllowedIncomingMessageSize(quint64(kMaxMessageBytes));
    socket_->setMaxAllowedIncomingFrameSize(quint64(kMaxMessageBytes));
    connect(socket_, &QWebSocket::connected, this, &TeamSpeak5Client::opened);
    connect(socket_, &QWebSocket::textMessageReceived, this,
            [this](const QString& text) { receive(text.toUtf8()); });
    auto ended = [this] {
        if (stage_ == Stage::Opening) {
            unreachable();
        } else {
            connectionLost();
        }
    };
    connect(socket_, &QWebSocket::disconnected, this, ended);
    connect(socket_, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this, ended);
    QUrl url;
    url.setScheme(QStringLiteral("ws"));
    url.setHost(host_);
    url.setPort(port_);
    socket_->open(url);
}

void TeamSpeak5Client::closeSocket() {
    if (!socket_) {
        return;
    }
    socket_->disconnect(this);
    socket_->abort();
    socket_->deleteLater();
    socket_ = nullptr;
}

void TeamSpeak5Client::opened() {
    if (stage_ != Stage::Opening) {
        return;
    }
    if (declined_) {
        // The user said no during this run of the client: only see whether it still runs.
        stage_ = Stage::Idle;
        closeSocket();
        publish();
        return;
    }
    stage_ = Stage::Authenticating;
    const QByteArray key = storedKey();
    sentEmptyKey_ = key.isEmpty();
    if (sentEmptyKey_) {
        askedThisRun_ = true;
        authDeadline_.stop();
    } else {
        authDeadline_.start(kAuthTimeoutMs);
    }
    const QJsonObject content{{QStringLiteral("apiKey"), QString::fromUtf8(key)}};
    const QJsonObject payload{
        {QStringLiteral("identifier"), QLatin1String(kIdentifier)},
        {QStringLiteral("version"), QLatin1String(kIdentityVersion)},
        {QStringLiteral("name"), QStringLiteral("Staticor")},
        {QStringLiteral("description"), QStringLiteral("Plays radio static while others talk")},
        {QStringLiteral("content"), content},
    };
    send(QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("auth")},
                                   {QStringLiteral("payload"), payload}})
             .toJson(QJsonDocument::Compact));
    publish();
}

void TeamSpeak5Client::unreachable() {
    if (stage_ != Stage::Opening) {
        return;
    }
    stage_ = Stage::Idle;
    closeSocket();
    // Nobody listens: when the client is there again, it is another run of it.
    askedThisRun_ = false;
    declined_ = false;
    publish();
}

void TeamSpeak5Client::connectionLost() {
    if (stage_ == Stage::Idle) {
        return;
    }
    if (stage_ == Stage::Opening) {
        unreachable();
        return;
    }
    const bool unanswered = stage_ == Stage::Authenticating;
    stage_ = Stage::Idle;
    authDeadline_.stop();
    closeSocket();
    connections_.clear();
    inUse_.reset();
    if (unanswered) {
        // Closing on auth is how a client may refuse.
        refused();
    }
    publish();
}

void TeamSpeak5Client::refused() {
    emit traced(name() + QStringLiteral(" refused the API key"));
    if (sentEmptyKey_) {
        declined_ = true; // the user did not allow the app: ask again in the next run
        return;
    }
    // A revoked key is of no more use; ask for a new one once.
    deleteKey();
    if (askedThisRun_) {
        declined_ = true;
    }
}

void TeamSpeak5Client::send(const QByteArray& message) {
    if (writer) {
        writer(message);
    } else if (socket_) {
        socket_->sendTextMessage(QString::fromUtf8(message));
    }
}

QByteArray TeamSpeak5Client::storedKey() const {
    QFile file;
    if (openRegularFile(file, keyFile_, QIODevice::ReadOnly) != RegularFileOpen::Opened) {
        return {};
    }
    return file.read(4096).trimmed();
}

void TeamSpeak5Client::storeKey(const QByteArray& key) {
    // Written whole under another name, then renamed: never a half-written key, never a
    // moment in which others could read it (mkstemp makes the file 0600).
    QByteArray temporary = QFile::encodeName(keyFile_) + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    bool ok = fd >= 0;
    if (ok) {
        const QByteArray bytes = key + '\n';
        ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 &&
             ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size() &&
             ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        ok = ok && ::rename(temporary.constData(), QFile::encodeName(keyFile_).constData()) == 0;
        if (!ok) {
            ::unlink(temporary.constData());
        }
    }
    if (!ok) {
        // Said where the user sees it, as a failed write of config.cfg is: the error log
        // holds only the entries it always had and the clients found or refused.
        std::fprintf(stderr, "staticor: could not write %s\n",
                     QFile::encodeName(keyFile_).constData());
    }
}

void TeamSpeak5Client::deleteKey() {
    QFile::remove(keyFile_);
}

void TeamSpeak5Client::receive(QByteArrayView utf8) {
    if (stage_ != Stage::Authenticating && stage_ != Stage::Ready) {
        return;
    }
    if (utf8.size() > kMaxMessageBytes) {
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(utf8.toByteArray());
    if (!document.isObject()) {
        return; // not one of the client's messages
    }
    const QJsonObject message = document.object();
    const QString type = message.value(QStringLiteral("type")).toString();
    if (type == QLatin1String("auth")) {
        handleAuth(message);
        return;
    }
    if (stage_ != Stage::Ready) {
        return;
    }
    handleEvent(type, message.value(QStringLiteral("payload")).toObject());
}

void TeamSpeak5Client::handleAuth(const QJsonObject& message) {
    if (stage_ != Stage::Authenticating) {
        return;
    }
    authDeadline_.stop();
    const QJsonValue status = message.value(QStringLiteral("status"));
    if (status.isObject()) {
        const auto code = idOf(status.toObject().value(QStringLiteral("code")));
        if (code && *code != 0) {
            stage_ = Stage::Idle;
            closeSocket();
            connections_.clear();
            inUse_.reset();
            refused();
            publish();
            return;
        }
    }
    const QJsonObject payload = message.value(QStringLiteral("payload")).toObject();
    const QByteArray key = payload.value(QStringLiteral("apiKey")).toString().toUtf8();
    if (!key.isEmpty() && key != storedKey()) {
        storeKey(key);
    }
    stage_ = Stage::Ready;
    connections_.clear();
    inUse_.reset();
    const QJsonArray list = payload.value(QStringLiteral("connections")).toArray();
    for (const QJsonValue& entry : list) {
        if (connections_.size() >= kMaxConnections) {
            break;
        }
        const QJsonObject object = entry.toObject();
        const auto id = idOf(object.value(QStringLiteral("id")));
        if (!id) {
            continue;
        }
        Connection c;
        c.id = *id;
        c.self = idOf(object.value(QStringLiteral("clientId"))).value_or(-1);
        c.established = statusOf(object.value(QStringLiteral("status"))) == kEstablished;
        applyServerProperties(c, object.value(QStringLiteral("properties")).toObject());
        for (const QJsonValue& info : object.value(QStringLiteral("clientInfos")).toArray()) {
            if (c.members.size() >= kMaxClients) {
                break;
            }
            const QJsonObject client = info.toObject();
            const auto clientId = idOf(client.value(QStringLiteral("id")));
            if (!clientId || c.member(*clientId)) {
                continue;
            }
            Member m;
            m.id = *clientId;
            m.channel = toInt32(idOf(client.value(QStringLiteral("channelId"))).value_or(0));
            const QJsonObject properties = client.value(QStringLiteral("properties")).toObject();
            const auto talk = talkStatusOf(client.value(QStringLiteral("talkStatus")));
            m.talking =
                talk ? *talk == kTalking : properties.value(QStringLiteral("flagTalking")).toBool();
            c.members.push_back(m);
            applyClientProperties(c, c.members.back(), properties);
        }
        connections_.push_back(std::move(c));
    }
    chooseConnectionInUse(idOf(payload.value(QStringLiteral("currentConnectionId"))));
    publish();
}

void TeamSpeak5Client::applyClientProperties(Connection& c, Member& m,
                                             const QJsonObject& properties) {
    const QJsonValue nickname = properties.value(QStringLiteral("nickname"));
    if (nickname.isString()) {
        m.nickname = nicknameOf(nickname);
    }
    if (m.id != c.self) {
        return;
    }
    const QJsonValue hardware = properties.value(QStringLiteral("inputHardware"));
    if (hardware.isBool()) {
        c.ownInputHardware = hardware.toBool();
    }
    const QJsonValue version = properties.value(QStringLiteral("version"));
    if (version.isString()) {
        c.clientVersion = parseTeamSpeakVersion(version.toString().toUtf8());
    }
}

void TeamSpeak5Client::applyServerProperties(Connection& c, const QJsonObject& properties) {
    ClientSnapshot::Server& s = c.server;
    const QJsonValue name = properties.value(QStringLiteral("name"));
    if (name.isString()) {
        s.name = eightBit::cut(name.toString(), eightBit::kServerNameBytes);
    }
    const QJsonValue platform = properties.value(QStringLiteral("platform"));
    if (platform.isString()) {
        s.platform = eightBit::cut(platform.toString(), eightBit::kPlatformBytes);
    }
    const QJsonValue version = properties.value(QStringLiteral("version"));
    if (version.isString()) {
        s.version = parseTeamSpeakVersion(version.toString().toUtf8());
    }
    const QJsonValue ip = properties.value(QStringLiteral("connectionServerIp"));
    if (ip.isString() && !ip.toString().isEmpty()) {
        QString address = ip.toString();
        s.hostName = eightBit::cut(address, eightBit::kHostNameBytes);
        const auto port = idOf(properties.value(QStringLiteral("connectionServerPort")));
        if (port && *port > 0) {
            address += QLatin1Char(':') + QString::number(*port);
        }
        s.address = eightBit::cut(address, eightBit::kAddressBytes);
    }
    if (const auto online = idOf(properties.value(QStringLiteral("clientsOnline")))) {
        s.players = toInt32(*online);
    }
}

TeamSpeak5Client::Connection* TeamSpeak5Client::connection(const QJsonObject& payload,
                                                           bool create) {
    const auto id = idOf(payload.value(QStringLiteral("connectionId")));
    if (!id) {
        return nullptr;
    }
    for (Connection& c : connections_) {
        if (c.id == *id) {
            return &c;
        }
    }
    if (!create || connections_.size() >= kMaxConnections) {
        return nullptr;
    }
    Connection c;
    c.id = *id;
    connections_.push_back(std::move(c));
    return &connections_.back();
}

void TeamSpeak5Client::use(qint64 connectionId) {
    if (inUse_ == connectionId) {
        return;
    }
    if (inUse_) {
        ++tab_; // another tab: the program looks at its server afresh
    }
    inUse_ = connectionId;
}

void TeamSpeak5Client::chooseConnectionInUse(std::optional<qint64> named) {
    auto known = [this](qint64 id) {
        return std::any_of(connections_.begin(), connections_.end(),
                           [id](const Connection& c) { return c.id == id; });
    };
    // currentConnectionId has been seen naming no connection at all: then the tab with the
    // microphone is the one in use.
    if (named && known(*named)) {
        use(*named);
        return;
    }
    if (inUse_ && known(*inUse_)) {
        return;
    }
    const Connection* best = nullptr;
    for (const Connection& c : connections_) {
        const int rank = (c.established ? 2 : 0) + (c.ownInputHardware ? 1 : 0);
        const int bestRank =
            best ? (best->established ? 2 : 0) + (best->ownInputHardware ? 1 : 0) : -1;
        if (rank > bestRank) {
            best = &c;
        }
    }
    if (best) {
        use(best->id);
    } else {
        inUse_.reset();
    }
}

void TeamSpeak5Client::setStatus(Connection& c, const QJsonObject& payload) {
    const auto status = statusOf(payload.value(QStringLiteral("status")));
    if (!status) {
        return;
    }
    c.established = *status == kEstablished;
    if (*status == kDisconnected || *status == kConnecting) {
        // The server's clients arrive anew with the next connection.
        c.members.clear();
        c.server = {};
        c.self = -1;
    }
    const QJsonObject info = payload.value(QStringLiteral("info")).toObject();
    if (const auto self = idOf(info.value(QStringLiteral("clientId")))) {
        c.self = *self;
    }
    const QJsonValue serverName = info.value(QStringLiteral("serverName"));
    if (serverName.isString()) {
        c.server.name = eightBit::cut(serverName.toString(), eightBit::kServerNameBytes);
    }
}

void TeamSpeak5Client::handleEvent(const QString& type, const QJsonObject& payload) {
    const auto clientId = idOf(payload.value(QStringLiteral("clientId")));
    if (type == QLatin1String("talkStatusChanged")) {
        Connection* c = connection(payload);
        Member* m = c && clientId ? c->member(*clientId) : nullptr;
        const auto status = talkStatusOf(payload.value(QStringLiteral("status")));
        if (!m || !status) {
            return;
        }
        m->talking = *status == kTalking;
    } else if (type == QLatin1String("clientMoved")) {
        Connection* c = connection(payload);
        const auto channel = idOf(payload.value(QStringLiteral("newChannelId")));
        if (!c || !clientId || !channel) {
            return;
        }
        const QJsonObject properties = payload.value(QStringLiteral("properties")).toObject();
        if (*channel == 0) {
            // Channel 0: gone from view (left the server).
            c->members.erase(std::remove_if(c->members.begin(), c->members.end(),
                                            [&](const Member& m) { return m.id == *clientId; }),
                             c->members.end());
        } else if (Member* m = c->member(*clientId)) {
            m->channel = toInt32(*channel);
            applyClientProperties(*c, *m, properties);
        } else if (c->members.size() < kMaxClients) {
            Member entered;
            entered.id = *clientId;
            entered.channel = toInt32(*channel);
            entered.talking = properties.value(QStringLiteral("flagTalking")).toBool();
            c->members.push_back(entered);
            applyClientProperties(*c, c->members.back(), properties);
        }
    } else if (type == QLatin1String("clientPropertiesUpdated")) {
        Connection* c = connection(payload);
        Member* m = c && clientId ? c->member(*clientId) : nullptr;
        if (!m) {
            return;
        }
        applyClientProperties(*c, *m, payload.value(QStringLiteral("properties")).toObject());
    } else if (type == QLatin1String("clientSelfPropertyUpdated")) {
        Connection* c = connection(payload);
        if (!c) {
            return;
        }
        const QString flag = payload.value(QStringLiteral("flag")).toString();
        const QJsonValue value = payload.value(QStringLiteral("newValue"));
        if (flag == QLatin1String("inputHardware") && value.isBool()) {
            c->ownInputHardware = value.toBool();
            // The microphone went to this tab: the user is on it now.
            if (value.toBool()) {
                use(c->id);
            }
        } else if (flag == QLatin1String("flagTalking") && value.isBool()) {
            if (Member* self = c->member(c->self)) {
                self->talking = value.toBool();
            }
        }
    } else if (type == QLatin1String("serverPropertiesUpdated")) {
        if (Connection* c = connection(payload)) {
            applyServerProperties(*c, payload.value(QStringLiteral("properties")).toObject());
        }
    } else if (type == QLatin1String("connectStatusChanged")) {
        Connection* c = connection(payload, true);
        if (!c) {
            return;
        }
        setStatus(*c, payload);
        const qint64 id = c->id;
        // A tab that comes up while the one in use is not connected is the one the user
        // turned to.
        const Connection* current = nullptr;
        for (const Connection& other : connections_) {
            if (inUse_ && other.id == *inUse_) {
                current = &other;
            }
        }
        if (!current || (!current->established && id != current->id)) {
            use(id);
        }
    } else if (type == QLatin1String("currentServerConnectionChanged")) {
        if (Connection* c = connection(payload, true)) {
            use(c->id);
        }
    } else {
        return; // nothing this program needs
    }
    publish();
}

void TeamSpeak5Client::publish() {
    ClientSnapshot next;
    next.running = stage_ == Stage::Authenticating || stage_ == Stage::Ready;
    if (!next.running) {
        next.lastError =
            QStringLiteral("No TeamSpeak 5 client answers at %1").arg(endpoint()).toLocal8Bit();
    } else if (stage_ == Stage::Authenticating) {
        next.lastError = QStringLiteral("Waiting for TeamSpeak 5 to allow the app").toLocal8Bit();
    }
    Connection* c = nullptr;
    for (Connection& candidate : connections_) {
        if (inUse_ && candidate.id == *inUse_) {
            c = &candidate;
        }
    }
    if (c) {
        next.clientVersion = c->clientVersion;
    }
    // Connected only once the local user is among the clients: the status line reads them.
    const Member* self = c ? c->member(c->self) : nullptr;
    next.connected = next.running && stage_ == Stage::Ready && c && c->established && self;
    if (next.connected) {
        next.server = c->server;
        const size_t capacity = size_t(records::kCapacity);
        next.players.reserve(std::min(c->members.size(), capacity));
        for (const Member& m : c->members) {
            if (next.players.size() >= capacity) {
                break;
            }
            next.players.push_back({toInt32(m.id), m.channel, m.nickname, 0, 0, 0});
            if (m.talking) {
                next.speakers.push_back(toInt32(m.id));
            }
        }
        next.self = {toInt32(self->id), self->channel, self->nickname, 0, 0, 0};
    }
    snapshot_ = std::move(next);
}
