#include "TeamSpeak3Client.h"

#include "EightBitText.h"

#include <algorithm>

namespace {

// whoami's answer while the tab in use is not connected to a server.
constexpr long long kNotConnectedError = 1794;
// An answer that is not the interface's own: the connection is given up.
constexpr long long kNoAnswer = -1;

const char* const kEvents[] = {
    "notifytalkstatuschange",
    "notifycliententerview",
    "notifyclientleftview",
    "notifyclientmoved",
    "notifyclientupdated",
    "notifyconnectstatuschange",
    "notifycurrentserverconnectionchanged",
};

QString text(const QByteArray& utf8) {
    return QString::fromUtf8(utf8);
}

int32_t toInt32(long long n) {
    return int32_t(std::clamp<long long>(n, INT32_MIN, INT32_MAX));
}

} // namespace

ClientSnapshot::Version parseTeamSpeakVersion(const QByteArray& text) {
    ClientSnapshot::Version version{};
    // The dotted numbers first, then the build number in "[Build: N]".
    const qsizetype bracket = text.indexOf('[');
    const QByteArray dotted = (bracket < 0 ? text : text.first(bracket)).trimmed();
    const QList<QByteArray> parts = dotted.split('.');
    for (qsizetype i = 0; i < std::min<qsizetype>(parts.size(), 3); ++i) {
        bool ok = false;
        const long long n = parts[i].trimmed().toLongLong(&ok);
        if (!ok) {
            break;
        }
        version[size_t(i)] = toInt32(n);
    }
    const qsizetype build = text.indexOf("Build:");
    if (build >= 0) {
        QByteArray digits;
        for (qsizetype i = build + 6; i < text.size(); ++i) {
            const char c = text[i];
            if (c >= '0' && c <= '9') {
                digits += c;
            } else if (!digits.isEmpty() || c != ' ') {
                break;
            }
        }
        bool ok = false;
        const long long n = digits.toLongLong(&ok);
        if (ok) {
            version[3] = toInt32(n);
        }
    }
    return version;
}

TeamSpeak3Client::TeamSpeak3Client(QString host, quint16 port, std::function<QByteArray()> key)
    : host_(std::move(host)), port_(port), key_(std::move(key)) {
    library_.onSpeakersRead([this] {
        if (started_ && stage_ == Stage::Idle && passed(sinceAttempt_, kRetryMs - kEarlyLookMs)) {
            connectNow();
        }
    });
    authRetry_.setSingleShot(true);
    connect(&authRetry_, &QTimer::timeout, this, &TeamSpeak3Client::authenticate);
    resync_.setInterval(kResyncMs);
    connect(&resync_, &QTimer::timeout, this, &TeamSpeak3Client::resync);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        if (socket_) {
            socket_->abort();
        }
        connectionLost();
    });
    snapshot_.lastError =
        QStringLiteral("No TeamSpeak 3 client answers at %1").arg(endpoint()).toLocal8Bit();
}

TeamSpeak3Client::~TeamSpeak3Client() {
    if (socket_) {
        socket_->disconnect(this);
    }
}

QString TeamSpeak3Client::endpoint() const {
    return host_ + QLatin1Char(':') + QString::number(port_);
}

void TeamSpeak3Client::start() {
    if (started_) {
        return;
    }
    started_ = true;
    connectNow();
}

void TeamSpeak3Client::connectNow() {
    if (stage_ != Stage::Idle) {
        return;
    }
    sinceAttempt_.start();
    stage_ = Stage::Greeting;
    buffer_.clear();
    deadline_.start(kGreetingTimeoutMs);
    if (writer) {
        return; // fed by hand
    }
    if (!socket_) {
        socket_ = new QTcpSocket(this);
        connect(socket_, &QTcpSocket::readyRead, this, [this] {
            // Read in pieces: a peer that sends without end must not make one huge buffer.
            while (socket_ && socket_->bytesAvailable() > 0 && stage_ != Stage::Idle) {
                receive(socket_->read(64 * 1024));
            }
        });
        connect(socket_, &QTcpSocket::disconnected, this, &TeamSpeak3Client::connectionLost);
        connect(socket_, &QTcpSocket::errorOccurred, this, &TeamSpeak3Client::connectionLost);
    }
    socket_->connectToHost(host_, port_);
}

void TeamSpeak3Client::connectionLost() {
    if (stage_ == Stage::Idle) {
        return;
    }
    stage_ = Stage::Idle;
    ++generation_;
    deadline_.stop();
    authRetry_.stop();
    resync_.stop();
    queue_.clear();
    inFlight_ = false;
    replyData_.clear();
    syncing_ = false;
    buffer_.clear();
    if (socket_ && socket_->state() != QAbstractSocket::UnconnectedState) {
        socket_->abort();
    }
    connected_ = false;
    self_ = -1;
    rows_.clear();
    clearServer();
    clientVersion_ = {};
    publish(); // the next attempt is made when the speakers are read again
}

void TeamSpeak3Client::receive(QByteArrayView bytes) {
    buffer_.append(bytes);
    qsizetype start = 0;
    while (stage_ != Stage::Idle) {
        const qsizetype end = buffer_.indexOf('\n', start);
        if (end < 0) {
            break;
        }
        QByteArrayView line = QByteArrayView(buffer_).sliced(start, end - start);
        start = end + 1;
        // Lines end in "\n\r": the return comes at the start of the next one.
        while (!line.isEmpty() && line.front() == '\r') {
            line = line.sliced(1);
        }
        while (!line.isEmpty() && line.back() == '\r') {
            line.chop(1);
        }
        if (!line.isEmpty()) {
            handleLine(line);
        }
    }
    if (stage_ == Stage::Idle) {
        return; // the connection ended while a line was handled
    }
    buffer_.remove(0, start);
    if (buffer_.size() > kMaxLineBytes) {
        connectionLost();
    }
}

void TeamSpeak3Client::handleLine(QByteArrayView text) {
    if (stage_ == Stage::Greeting) {
        // The greeting's last line names the tab in use; the lines before it vary by version.
        if (!text.startsWith("selected ")) {
            return;
        }
        const query::Line line = query::parse(text);
        schandler_ = line.items.empty() ? 0 : int(line.items[0].number("schandlerid"));
        stage_ = Stage::Authenticating;
        deadline_.stop();
        publish();
        authenticate();
        return;
    }
    const query::Line line = query::parse(text);
    if (line.name.startsWith("notify")) {
        handleEvent(line);
    } else if (line.name == "error") {
        finishCommand(line.items.empty() ? kNoAnswer : line.items[0].number("id", kNoAnswer));
    } else if (line.name.isEmpty() && inFlight_) {
        for (const query::Item& item : line.items) {
            if (replyData_.size() >= kMaxClients) {
                break;
            }
            replyData_.push_back(item);
        }
    }
}

void TeamSpeak3Client::send(QByteArray command, Done done) {
    queue_.push_back({std::move(command), std::move(done)});
    if (!inFlight_) {
        writeNext();
    }
}

void TeamSpeak3Client::writeNext() {
    if (queue_.empty() || stage_ == Stage::Idle) {
        return;
    }
    inFlight_ = true;
    replyData_.clear();
    deadline_.start(kReplyTimeoutMs);
    const QByteArray bytes = queue_.front().command + '\n';
    if (writer) {
        writer(bytes);
    } else if (socket_) {
        socket_->write(bytes);
    }
}

void TeamSpeak3Client::finishCommand(long long error) {
    if (!inFlight_ || queue_.empty()) {
        return; // an answer nobody asked for
    }
    deadline_.stop();
    Pending done = std::move(queue_.front());
    queue_.pop_front();
    inFlight_ = false;
    const std::vector<query::Item> data = std::move(replyData_);
    replyData_.clear();
    if (done.done) {
        done.done(data, error);
    }
    if (stage_ != Stage::Idle && !inFlight_) {
        writeNext();
    }
}

void TeamSpeak3Client::authenticate() {
    if (stage_ != Stage::Authenticating) {
        return;
    }
    send("auth apikey=" + query::escape(key_ ? key_() : QByteArray()),
         [this](const std::vector<query::Item>&, long long error) {
             if (error != 0) {
                 emit traced(name() + QStringLiteral(" refused the API key"));
                 authRetry_.start(kAuthRetryMs);
                 return;
             }
             stage_ = Stage::Ready;
             registerEvents();
             resync();
             resync_.start();
         });
}

void TeamSpeak3Client::registerEvents() {
    for (const char* event : kEvents) {
        send(QByteArray("clientnotifyregister schandlerid=0 event=") + event);
    }
}

void TeamSpeak3Client::resync() {
    if (stage_ != Stage::Ready || syncing_) {
        return;
    }
    syncing_ = true;
    struct Found {
        bool connected = false;
        int32_t self = -1;
        uint64_t generation;
    };
    auto found = std::make_shared<Found>(Found{false, -1, generation_});
    // Whether an answer still belongs to this read.
    auto current = [this, found] { return found->generation == generation_; };
    send("whoami", [this, found, current](const std::vector<query::Item>& data, long long error) {
        if (!current()) {
            return;
        }
        if (error == 0 && !data.empty() && data[0].has("clid")) {
            found->connected = true;
            found->self = toInt32(data[0].number("clid", -1));
        } else if (error == kNotConnectedError) {
            connected_ = false;
            self_ = -1;
            rows_.clear();
            clearServer();
            publish();
        }
    });
    send("clientlist -voice",
         [this, found, current](const std::vector<query::Item>& data, long long error) {
             if (!current() || !found->connected || error != 0) {
                 return;
             }
             rows_.clear();
             for (const query::Item& item : data) {
                 rows_.push_back(rowFrom(item));
             }
             self_ = found->self;
             publish();
         });
    send("servervariable virtualserver_name virtualserver_welcomemessage virtualserver_platform "
         "virtualserver_version virtualserver_maxclients virtualserver_clientsonline "
         "virtualserver_channelsonline",
         [this, found, current](const std::vector<query::Item>& data, long long error) {
             if (!current() || !found->connected || error != 0 || data.empty()) {
                 return;
             }
             const query::Item& s = data[0];
             server_.name =
                 eightBit::cut(text(s.value("virtualserver_name")), eightBit::kServerNameBytes);
             server_.welcome = eightBit::cut(text(s.value("virtualserver_welcomemessage")),
                                             eightBit::kWelcomeBytes);
             server_.platform =
                 eightBit::cut(text(s.value("virtualserver_platform")), eightBit::kPlatformBytes);
             server_.version = parseTeamSpeakVersion(s.value("virtualserver_version"));
             server_.maximumUsers = toInt32(s.number("virtualserver_maxclients"));
             server_.players = toInt32(s.number("virtualserver_clientsonline"));
             server_.channels = toInt32(s.number("virtualserver_channelsonline"));
             publish();
         });
    send("serverconnectinfo",
         [this, found, current](const std::vector<query::Item>& data, long long error) {
             if (!current()) {
                 return;
             }
             if (found->connected && error == 0 && !data.empty() && data[0].has("ip")) {
                 const QString ip = text(data[0].value("ip"));
                 QString address = ip;
                 if (data[0].has("port")) {
                     address += QLatin1Char(':') + text(data[0].value("port"));
                 }
                 server_.address = eightBit::cut(address, eightBit::kAddressBytes);
                 server_.hostName = eightBit::cut(ip, eightBit::kHostNameBytes);
             }
             if (!found->connected) {
                 syncing_ = false;
                 return;
             }
             send("clientvariable clid=" + QByteArray::number(found->self) + " client_version",
                  [this, current](const std::vector<query::Item>& data, long long error) {
                      if (!current()) {
                          return;
                      }
                      syncing_ = false;
                      if (error == 0 && !data.empty()) {
                          clientVersion_ = parseTeamSpeakVersion(data[0].value("client_version"));
                      }
                      // Connected only once everything the status line reads is known.
                      connected_ = self_ >= 0 && row(self_) != nullptr;
                      publish();
                  });
         });
}

void TeamSpeak3Client::handleEvent(const query::Line& line) {
    if (line.items.empty() || stage_ != Stage::Ready) {
        return;
    }
    const query::Item& first = line.items[0];
    if (line.name == "notifycurrentserverconnectionchanged") {
        const int tab = int(first.number("schandlerid", schandler_));
        if (tab == schandler_) {
            return;
        }
        schandler_ = tab;
        ++tab_;
        ++generation_;
        connected_ = false;
        self_ = -1;
        rows_.clear();
        clearServer();
        publish();
        send("use schandlerid=" + QByteArray::number(tab));
        syncing_ = false; // what a read under way returns is the old tab's; read again
        resync();
        return;
    }
    // Events of other tabs are not ours.
    if (first.has("schandlerid") && first.number("schandlerid") != schandler_) {
        return;
    }
    if (line.name == "notifyconnectstatuschange") {
        const QByteArray status = first.value("status");
        if (status == "connection_established") {
            resync();
        } else if (status == "disconnected") {
            connected_ = false;
            self_ = -1;
            rows_.clear();
            clearServer();
            publish();
        }
        return;
    }
    bool changed = false;
    // A notification may carry several clients, one per item.
    for (const query::Item& item : line.items) {
        const int32_t clid = toInt32(item.number("clid", -1));
        if (clid < 0) {
            continue;
        }
        Row* known = row(clid);
        if (line.name == "notifytalkstatuschange") {
            if (known) {
                known->talking = item.number("status") == 1;
                changed = true;
            }
        } else if (line.name == "notifycliententerview") {
            Row entered = rowFrom(item);
            entered.cid = toInt32(item.number("ctid", entered.cid));
            if (known) {
                *known = entered;
            } else if (rows_.size() < kMaxClients) {
                rows_.push_back(entered);
            }
            changed = true;
        } else if (line.name == "notifyclientleftview") {
            rows_.erase(std::remove_if(rows_.begin(), rows_.end(),
                                       [clid](const Row& r) { return r.clid == clid; }),
                        rows_.end());
            changed = true;
        } else if (line.name == "notifyclientmoved") {
            if (known && item.has("ctid")) {
                known->cid = toInt32(item.number("ctid"));
                changed = true;
            }
        } else if (line.name == "notifyclientupdated") {
            if (known && item.has("client_nickname")) {
                known->nickname =
                    eightBit::cut(text(item.value("client_nickname")), eightBit::kNicknameBytes);
                changed = true;
            }
        }
    }
    if (changed) {
        publish();
    }
}

TeamSpeak3Client::Row TeamSpeak3Client::rowFrom(const query::Item& item) {
    Row r;
    r.clid = toInt32(item.number("clid"));
    r.cid = toInt32(item.number("cid"));
    r.nickname = eightBit::cut(text(item.value("client_nickname")), eightBit::kNicknameBytes);
    r.type = int(item.number("client_type"));
    r.talking = item.number("client_flag_talking") == 1;
    return r;
}

TeamSpeak3Client::Row* TeamSpeak3Client::row(int32_t clid) {
    for (Row& r : rows_) {
        if (r.clid == clid) {
            return &r;
        }
    }
    return nullptr;
}

void TeamSpeak3Client::clearServer() {
    server_ = {};
}

void TeamSpeak3Client::publish() {
    ClientSnapshot next;
    next.running = stage_ != Stage::Idle && stage_ != Stage::Greeting;
    next.connected = next.running && stage_ == Stage::Ready && connected_;
    next.clientVersion = clientVersion_;
    if (!next.running) {
        next.lastError =
            QStringLiteral("No TeamSpeak 3 client answers at %1").arg(endpoint()).toLocal8Bit();
    }
    if (next.connected) {
        const Row* me = row(self_);
        const bool selfPlays = me != nullptr && me->type == 0;
        bool selfListed = false;
        next.server = server_;
        next.players.reserve(std::min(rows_.size(), size_t(records::kCapacity)));
        for (const Row& r : rows_) {
            // ServerQuery clients are no players; on a server beyond the library's capacity
            // the local user keeps a place.
            const size_t room = size_t(records::kCapacity) - (selfPlays && !selfListed ? 1 : 0);
            if (r.type != 0 || (r.clid != self_ && next.players.size() >= room)) {
                continue;
            }
            next.players.push_back({r.clid, r.cid, r.nickname, 0, 0, 0});
            if (r.talking && next.speakers.size() < size_t(records::kCapacity)) {
                next.speakers.push_back(r.clid);
            }
            if (r.clid == self_) {
                next.self = next.players.back();
                selfListed = true;
            }
        }
        // Without the local user among the players its nickname could not be found: a client
        // that lists itself as a ServerQuery client, or not at all, is not followed.
        next.connected = selfListed;
    }
    snapshot_ = std::move(next);
}
