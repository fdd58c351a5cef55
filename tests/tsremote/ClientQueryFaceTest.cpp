// The simulated client's query face: the line codec, the notifications it derives from the
// state, one peer's conversation, and the real program serving it over TCP.

#include "ClientQueryFace.h"

#include "QueryLine.h"
#include "Scenario.h"
#include "support/Eventually.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tsremote;

namespace {

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + separator.size();
    }
}

// The lines of a reply, which must each end in LF CR.
std::vector<std::string> replyLines(const std::string& reply) {
    EXPECT_TRUE(reply.size() >= 2 && reply.substr(reply.size() - 2) == "\n\r") << reply;
    std::vector<std::string> lines = split(reply, "\n\r");
    lines.pop_back();
    return lines;
}

void run(ClientState& state, const std::string& line) {
    std::string error;
    const std::optional<Command> c = parseInteractiveLine(line, error);
    ASSERT_TRUE(c.has_value()) << line << ": " << error;
    state.apply(*c);
}

std::vector<std::string> notificationLines(const ClientState& before, const ClientState& after) {
    std::vector<std::string> lines;
    for (const Notification& n : notificationsBetween(before, after)) {
        EXPECT_EQ(n.line.substr(0, n.event.size() + 1), n.event + ' ') << n.line;
        lines.push_back(n.line);
    }
    return lines;
}

// What a command line does to the state, as a registered peer hears it.
std::vector<std::string> heard(ClientState& state, const std::string& line) {
    const ClientState before = state;
    run(state, line);
    return notificationLines(before, state);
}

} // namespace

TEST(QueryLineTest, EveryEscapeRoundTrips) {
    const std::pair<std::string, std::string> escapes[] = {
        {"\\", "\\\\"}, {"/", "\\/"},  {" ", "\\s"},  {"|", "\\p"},  {"\a", "\\a"}, {"\b", "\\b"},
        {"\f", "\\f"},  {"\n", "\\n"}, {"\r", "\\r"}, {"\t", "\\t"}, {"\v", "\\v"},
    };
    std::string all;
    for (const auto& [plain, escaped] : escapes) {
        EXPECT_EQ(query::escape(plain), escaped);
        EXPECT_EQ(query::unescape(escaped), plain);
        all += plain + "x";
    }
    all += "Jörg \xF0\x9F\x93\xBB=ok"; // UTF-8 and '=' pass as they are
    const std::string escaped = query::escape(all);
    EXPECT_EQ(escaped.find_first_of(" |\a\b\f\n\r\t\v"), std::string::npos) << escaped;
    EXPECT_EQ(query::unescape(escaped), all);
    EXPECT_EQ(query::escape("a\\sb"), "a\\\\sb"); // a literal backslash-s stays literal
    EXPECT_EQ(query::unescape(query::escape("a\\sb")), "a\\sb");
    EXPECT_EQ(query::unescape("end\\"), "end\\");
}

TEST(QueryLineTest, RequestsSplitItemsAtBarePipesOnly) {
    const query::Request r =
        query::parseRequest("clientvariable clid=1|clid=2 client_version -uid nick=a\\pb\\sc");
    EXPECT_EQ(r.name, "clientvariable");
    ASSERT_EQ(r.items.size(), 2u);
    EXPECT_EQ(r.values("clid"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(r.bareWords(), (std::vector<std::string>{"client_version"}));
    EXPECT_TRUE(r.hasOption("uid"));
    EXPECT_EQ(r.value("nick"), "a|b c");
    EXPECT_EQ(query::errorLine(1796, "currently not possible"),
              "error id=1796 msg=currently\\snot\\spossible");
    EXPECT_EQ(query::pair("client_away_message", ""), "client_away_message");
}

TEST(QueryLineTest, LinesEndInAnyOfTheUsualWaysAndOverlongOnesAreCaught) {
    query::LineReader reader(16);
    const std::string bytes = "one\ntwo\r\nthree\n\rfour\n\r\n\rfive";
    // Byte by byte, as a slow peer sends it.
    std::vector<std::string> lines;
    for (const char c : bytes) {
        reader.append(&c, 1);
        while (const std::optional<std::string> line = reader.next()) {
            lines.push_back(*line);
        }
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three", "four"}));
    EXPECT_FALSE(reader.overlong());
    const std::string longer(20, 'x');
    reader.append(longer.data(), longer.size());
    EXPECT_FALSE(reader.next().has_value());
    EXPECT_TRUE(reader.overlong());
}

TEST(ClientQueryNotificationTest, ConnectingReportsTheStatusTheClientsThereAndWhoTalks) {
    ClientState state;
    run(state, "join 17 \"Ann Lee\" 3");
    run(state, "talk 17");
    const std::vector<std::string> lines = heard(state, "connect 127.0.0.1:8767 Base");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "notifyconnectstatuschange schandlerid=1 status=connecting error=0");
    EXPECT_EQ(lines[1], "notifyconnectstatuschange schandlerid=1 status=connected error=0");
    EXPECT_EQ(lines[2],
              "notifyconnectstatuschange schandlerid=1 status=connection_establishing error=0");
    // The local user does not enter its own view; the other client does.
    EXPECT_EQ(lines[3].rfind("notifycliententerview schandlerid=1 cfid=0 ctid=3 reasonid=0 "
                             "clid=17 ",
                             0),
              0u)
        << lines[3];
    EXPECT_NE(lines[3].find(" client_nickname=Ann\\sLee "), std::string::npos) << lines[3];
    EXPECT_EQ(lines[4],
              "notifyconnectstatuschange schandlerid=1 status=connection_established error=0");
    EXPECT_EQ(lines[5], "notifytalkstatuschange schandlerid=1 status=1 isreceivedwhisper=0 "
                        "clid=17");

    EXPECT_EQ(heard(state, "disconnect"),
              (std::vector<std::string>{
                  "notifyconnectstatuschange schandlerid=1 status=disconnected error=0"}));
    EXPECT_TRUE(heard(state, "join 18 Bob").empty()) << "nothing is seen while not connected";
}

TEST(ClientQueryNotificationTest, ChangesWhileConnected) {
    ClientState state;
    run(state, "connect 127.0.0.1:8767 Base");
    run(state, "join 17 Ann");

    EXPECT_EQ(heard(state, "talk 17"),
              (std::vector<std::string>{
                  "notifytalkstatuschange schandlerid=1 status=1 isreceivedwhisper=0 clid=17"}));
    EXPECT_TRUE(heard(state, "talk 17").empty()) << "still talking is no change";
    EXPECT_TRUE(heard(state, "talk 99").empty()) << "a client out of view is not heard";
    EXPECT_EQ(heard(state, "stop 17"),
              (std::vector<std::string>{
                  "notifytalkstatuschange schandlerid=1 status=0 isreceivedwhisper=0 clid=17"}));

    // Joining again under the same ID moves and renames.
    EXPECT_EQ(heard(state, "join 17 Annie 5"),
              (std::vector<std::string>{
                  "notifyclientmoved schandlerid=1 ctid=5 reasonid=0 clid=17",
                  "notifyclientupdated schandlerid=1 clid=17 client_nickname=Annie"}));
    EXPECT_EQ(heard(state, "self 1 \"New Name\""),
              (std::vector<std::string>{
                  "notifyclientupdated schandlerid=1 clid=1 client_nickname=New\\sName"}));

    // A talker who leaves gets the left-view alone, without a talk stop before it.
    run(state, "talk 17");
    EXPECT_EQ(heard(state, "leave 17"),
              (std::vector<std::string>{"notifyclientleftview schandlerid=1 cfid=5 ctid=0 "
                                        "reasonid=8 reasonmsg=leaving clid=17"}));

    const std::vector<std::string> crowd = heard(state, "crowd 3");
    ASSERT_EQ(crowd.size(), 3u);
    for (const std::string& line : crowd) {
        EXPECT_EQ(line.rfind("notifycliententerview ", 0), 0u) << line;
    }
}

class ClientQuerySessionTest : public ::testing::Test {
protected:
    std::vector<std::string> ask(const std::string& line) {
        return replyLines(session.answer(line, state));
    }
    ClientQuerySession session{"KEY-1"};
    ClientState state;
};

TEST_F(ClientQuerySessionTest, OnlyAuthHelpAndQuitWorkBeforeTheRightKey) {
    const std::vector<std::string> greeting = replyLines(ClientQuerySession::greeting());
    ASSERT_FALSE(greeting.empty());
    EXPECT_EQ(greeting.front(), "TS3 Client");
    EXPECT_EQ(greeting.back(), "selected schandlerid=1");

    for (const char* refused : {"whoami", "clientlist", "use schandlerid=1",
                                "clientnotifyregister schandlerid=1 event=any"}) {
        EXPECT_EQ(ask(refused).back(), "error id=1796 msg=currently\\snot\\spossible") << refused;
    }
    EXPECT_EQ(ask("nosuchcommand").back(), "error id=256 msg=command\\snot\\sfound");
    EXPECT_EQ(ask("help").back(), "error id=0 msg=ok");
    EXPECT_EQ(ask("auth apikey=KEY-2").back(), "error id=1538 msg=invalid\\sparameter");
    EXPECT_EQ(ask("auth").back(), "error id=1542 msg=missing\\srequired\\sparameter");
    EXPECT_FALSE(session.authenticated());
    EXPECT_EQ(ask("auth apikey=KEY-1").back(), "error id=0 msg=ok");
    EXPECT_EQ(ask("whoami").back(), "error id=1794 msg=not\\sconnected");
    EXPECT_FALSE(session.quitting());
    ask("quit");
    EXPECT_TRUE(session.quitting());
}

TEST_F(ClientQuerySessionTest, AnswersFromTheState) {
    ask("auth apikey=KEY-1");
    run(state, "connect voice.example.org:9988 \"Base Ops\"");
    run(state, "self 4 Me");
    run(state, "version 3.6.2.1695203293");
    run(state, "server Linux \"Hello | there\"");
    run(state, "join 17 \"Ann|Lee\" 2");
    run(state, "talk 17");

    EXPECT_EQ(ask("whoami"), (std::vector<std::string>{"clid=4 cid=1", "error id=0 msg=ok"}));
    const std::vector<std::string> list = ask("clientlist -voice");
    ASSERT_EQ(list.size(), 2u);
    const std::vector<std::string> items = split(list[0], "|");
    ASSERT_EQ(items.size(), 2u) << "the pipe in the nickname is escaped";
    EXPECT_EQ(items[0].rfind("clid=4 cid=1 client_database_id=4 client_nickname=Me "
                             "client_type=0 client_flag_talking=0",
                             0),
              0u)
        << items[0];
    EXPECT_EQ(items[1].rfind("clid=17 cid=2 client_database_id=17 client_nickname=Ann\\pLee "
                             "client_type=0 client_flag_talking=1",
                             0),
              0u)
        << items[1];

    EXPECT_EQ(ask("servervariable virtualserver_name virtualserver_welcomemessage "
                  "virtualserver_clientsonline virtualserver_channelsonline")[0],
              "virtualserver_name=Base\\sOps virtualserver_welcomemessage=Hello\\s\\p\\sthere "
              "virtualserver_clientsonline=2 virtualserver_channelsonline=2");
    EXPECT_EQ(ask("servervariable virtualserver_nosuch").back(),
              "error id=1538 msg=invalid\\sparameter");
    EXPECT_EQ(ask("serverconnectinfo")[0], "ip=voice.example.org port=9988 password");
    EXPECT_EQ(ask("clientvariable clid=4 client_version")[0],
              "clid=4 client_version=3.6.2\\s[Build:\\s1695203293]");
    EXPECT_EQ(ask("clientvariable clid=5 client_version").back(),
              "error id=512 msg=invalid\\sclientID");
    EXPECT_EQ(ask("currentschandlerid")[0], "schandlerid=1");
    EXPECT_EQ(ask("use schandlerid=2").back(),
              "error id=1799 msg=invalid\\sserver\\sconnection\\shandler\\sID");

    EXPECT_FALSE(session.wants("notifytalkstatuschange"));
    EXPECT_EQ(ask("clientnotifyregister schandlerid=1 event=notifytalkstatuschange").back(),
              "error id=0 msg=ok");
    EXPECT_TRUE(session.wants("notifytalkstatuschange"));
    EXPECT_FALSE(session.wants("notifyclientleftview"));
    EXPECT_EQ(ask("clientnotifyregister schandlerid=1 event=notifynonsense").back(),
              "error id=1538 msg=invalid\\sparameter");
    ask("clientnotifyunregister");
    EXPECT_FALSE(session.wants("notifytalkstatuschange"));
}

TEST_F(ClientQuerySessionTest, ListsAThousandAndTwentyFourClients) {
    ask("auth apikey=KEY-1");
    run(state, "connect 127.0.0.1:8767");
    run(state, "crowd 1023");
    const std::vector<std::string> list = ask("clientlist -uid -away -voice -groups");
    ASSERT_EQ(list.size(), 2u);
    const std::vector<std::string> items = split(list[0], "|");
    ASSERT_EQ(items.size(), 1024u);
    EXPECT_NE(items.back().find("client_nickname=PLAYER1023 "), std::string::npos) << items.back();
}

// --- the real program ---

namespace {

// A peer on the query port, reading with generous time-outs.
class QueryPeer {
public:
    explicit QueryPeer(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~QueryPeer() { close(fd_); }
    bool connected() const { return connected_; }

    void send(const std::string& text) { ASSERT_TRUE(trySend(text)); }
    // False when the client has hung up.
    bool trySend(const std::string& text) {
        return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
    }

    // The next line, without its LF CR; nothing on time-out or end of stream.
    std::optional<std::string> line(int timeoutMs = 10000) {
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            const size_t end = buffer_.find("\n\r");
            if (end != std::string::npos) {
                std::string l = buffer_.substr(0, end);
                buffer_.erase(0, end + 2);
                return l;
            }
            const int left = timeoutMs - int(timer.elapsed());
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) <= 0) {
                return std::nullopt;
            }
            char chunk[65536];
            const ssize_t n = recv(fd_, chunk, sizeof(chunk), 0);
            if (n <= 0) {
                return std::nullopt;
            }
            buffer_.append(chunk, size_t(n));
        }
    }

    // Sends a command and returns its reply's lines up to the error line; notifications that
    // come in between are kept for next().
    std::vector<std::string> command(const std::string& text) {
        send(text + "\n");
        std::vector<std::string> reply;
        while (const std::optional<std::string> l = line()) {
            if (l->rfind("notify", 0) == 0) {
                notifications_.push_back(*l);
                continue;
            }
            reply.push_back(*l);
            if (l->rfind("error ", 0) == 0) {
                return reply;
            }
        }
        ADD_FAILURE() << "no reply to " << text;
        return reply;
    }

    // The next notification of that event.
    std::optional<std::string> next(const std::string& event) {
        const auto matches = [&](const std::string& l) { return l.rfind(event + ' ', 0) == 0; };
        for (auto it = notifications_.begin(); it != notifications_.end(); ++it) {
            if (matches(*it)) {
                std::string found = *it;
                notifications_.erase(notifications_.begin(), it + 1);
                return found;
            }
        }
        notifications_.clear();
        while (const std::optional<std::string> l = line()) {
            if (matches(*l)) {
                return l;
            }
        }
        return std::nullopt;
    }

    // Whether the client has hung up (reads until it does or the time-out).
    bool closedByClient() {
        while (line()) {
        }
        char c;
        const ssize_t n = recv(fd_, &c, 1, MSG_DONTWAIT);
        // Unread bytes at the client's end turn its close into a reset.
        return n == 0 || (n < 0 && errno == ECONNRESET);
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::string buffer_;
    std::vector<std::string> notifications_;
};

// The port the client tells on standard error.
uint16_t announcedPort(QProcess& process) {
    static const QRegularExpression told("ClientQuery on 127\\.0\\.0\\.1:(\\d+)");
    QByteArray err;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        const QRegularExpressionMatch m = told.match(QString::fromUtf8(err));
        if (m.hasMatch()) {
            return uint16_t(m.captured(1).toUInt());
        }
        process.waitForReadyRead(100);
        err += process.readAllStandardError();
    }
    return 0;
}

} // namespace

TEST(ClientQueryProcessTest, ServesTheStateOverTcpWithoutTheTs2Socket) {
    TempDir dir;
    const QString ts2Socket = dir.file("sim.sock");
    SimProcess sim(ts2Socket, {"--no-ts2", "--clientquery=0", "--apikey=K"}, false);
    const uint16_t port = announcedPort(sim.process());
    ASSERT_NE(port, 0) << "the client did not tell its port";
    EXPECT_FALSE(QFileInfo::exists(ts2Socket)) << "--no-ts2 still made the socket";

    QueryPeer peer(port);
    ASSERT_TRUE(peer.connected());
    std::vector<std::string> greeting;
    while (greeting.empty() || greeting.back().rfind("selected ", 0) != 0) {
        const std::optional<std::string> l = peer.line();
        ASSERT_TRUE(l.has_value()) << "the greeting did not end in a selected line";
        greeting.push_back(*l);
    }
    EXPECT_EQ(greeting.front(), "TS3 Client");
    EXPECT_EQ(greeting.back(), "selected schandlerid=1");

    EXPECT_EQ(peer.command("whoami").back(), "error id=1796 msg=currently\\snot\\spossible");
    EXPECT_NE(peer.command("auth apikey=wrong").back(), "error id=0 msg=ok");
    EXPECT_EQ(peer.command("whoami").back(), "error id=1796 msg=currently\\snot\\spossible");
    EXPECT_EQ(peer.command("auth apikey=K").back(), "error id=0 msg=ok");
    EXPECT_EQ(peer.command("whoami").back(), "error id=1794 msg=not\\sconnected");
    EXPECT_EQ(peer.command("clientnotifyregister schandlerid=1 event=any").back(),
              "error id=0 msg=ok");

    sim.write("self 3 Observer\nconnect 127.0.0.1:8767 Base\n");
    EXPECT_EQ(peer.next("notifyconnectstatuschange"),
              "notifyconnectstatuschange schandlerid=1 status=connecting error=0");
    EXPECT_EQ(peer.next("notifyconnectstatuschange"),
              "notifyconnectstatuschange schandlerid=1 status=connected error=0");
    EXPECT_EQ(peer.next("notifyconnectstatuschange"),
              "notifyconnectstatuschange schandlerid=1 status=connection_establishing error=0");
    EXPECT_EQ(peer.next("notifyconnectstatuschange"),
              "notifyconnectstatuschange schandlerid=1 status=connection_established error=0");
    EXPECT_EQ(peer.command("whoami"),
              (std::vector<std::string>{"clid=3 cid=1", "error id=0 msg=ok"}));

    sim.write("join 17 \"Ann Lee\"\n");
    const std::optional<std::string> entered = peer.next("notifycliententerview");
    ASSERT_TRUE(entered.has_value());
    EXPECT_NE(entered->find(" clid=17 "), std::string::npos) << *entered;
    EXPECT_NE(entered->find(" client_nickname=Ann\\sLee "), std::string::npos) << *entered;

    sim.write("talk 17\n");
    EXPECT_EQ(peer.next("notifytalkstatuschange"),
              "notifytalkstatuschange schandlerid=1 status=1 isreceivedwhisper=0 clid=17");
    const std::vector<std::string> talking = peer.command("clientlist -voice");
    ASSERT_EQ(talking.size(), 2u);
    EXPECT_NE(talking[0].find("clid=17 cid=1 client_database_id=17 client_nickname=Ann\\sLee "
                              "client_type=0 client_flag_talking=1"),
              std::string::npos)
        << talking[0];

    sim.write("leave 17\n");
    EXPECT_EQ(peer.next("notifyclientleftview"),
              "notifyclientleftview schandlerid=1 cfid=1 ctid=0 reasonid=8 reasonmsg=leaving "
              "clid=17");

    sim.write("crowd 1023\n");
    std::vector<std::string> list;
    ASSERT_TRUE(eventually(
        [&] {
            list = peer.command("clientlist");
            return list.size() == 2 && split(list[0], "|").size() == 1024;
        },
        10000))
        << "the list never held 1024 clients";
    EXPECT_EQ(list.back(), "error id=0 msg=ok");

    sim.write("disconnect\n");
    EXPECT_EQ(peer.next("notifyconnectstatuschange"),
              "notifyconnectstatuschange schandlerid=1 status=disconnected error=0");
    EXPECT_EQ(peer.command("whoami").back(), "error id=1794 msg=not\\sconnected");

    EXPECT_EQ(peer.command("quit").back(), "error id=0 msg=ok");
    EXPECT_TRUE(peer.closedByClient());
    ASSERT_TRUE(sim.terminate());
}

TEST(ClientQueryProcessTest, CutsOffOverlongLinesAndKeepsServingOthers) {
    TempDir dir;
    SimProcess sim(dir.file("sim.sock"), {"--no-ts2", "--clientquery=0", "--apikey=K"}, false);
    const uint16_t port = announcedPort(sim.process());
    ASSERT_NE(port, 0);

    QueryPeer hostile(port);
    ASSERT_TRUE(hostile.connected());
    const std::string endless(16384, 'x');
    for (int i = 0; i < 8 && hostile.trySend(endless); ++i) { // 128 KB without a line end
    }
    EXPECT_TRUE(hostile.closedByClient());

    QueryPeer peer(port);
    ASSERT_TRUE(peer.connected());
    EXPECT_EQ(peer.command("auth apikey=K").back(), "error id=0 msg=ok");
    ASSERT_TRUE(sim.terminate());
}
