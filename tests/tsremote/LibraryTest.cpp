// libTSRemote.so against a real ts2-client-sim process, and against a client that answers
// nonsense.

#include "Protocol.h"
#include "SocketPath.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

#include <QFileInfo>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern "C" {
int32_t tsrGetLastError(char* buffer, int32_t size);
int32_t tsrGetVersion(void* record);
int32_t tsrGetUserInfo(void* record);
int32_t tsrGetServerInfo(void* record);
int32_t tsrGetPlayers(void* records, int32_t* count);
int32_t tsrGetSpeakers(int32_t* ids, int32_t* count);
}

namespace {

std::string lastError() {
    std::array<char, 1024> text{};
    tsrGetLastError(text.data(), 1024);
    return text.data();
}

std::vector<int32_t> speakers(int32_t* result = nullptr) {
    std::vector<int32_t> ids(1024, 0);
    int32_t count = 1024;
    const int32_t r = tsrGetSpeakers(ids.data(), &count);
    if (result) {
        *result = r;
    }
    ids.resize(r == 0 ? size_t(count) : 0);
    return ids;
}

int32_t speakersResult() {
    int32_t r = 0;
    speakers(&r);
    return r;
}

bool acceptsConnections(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof(address.sun_path) - 1);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return ok;
}

bool isSocket(const QString& path) {
    struct stat info {};
    return lstat(path.toLocal8Bit().constData(), &info) == 0 && S_ISSOCK(info.st_mode);
}

class LibraryTest : public ::testing::Test {
protected:
    ~LibraryTest() override { unsetenv("TS2_CLIENT_SIM_SOCKET"); }
    QString socket() const { return dir.file("sim.sock"); }
    // The socket's path, with the library pointed at it.
    std::string librarySocket() const {
        const std::string path = socket().toStdString();
        setenv("TS2_CLIENT_SIM_SOCKET", path.c_str(), 1);
        return path;
    }
    TempDir dir;
};

// A client that answers a request with the given bytes: after delayMs, and when splitAt is
// within them, in two pieces pauseMs apart.
class ScriptedClient {
public:
    ScriptedClient(const std::string& path, std::vector<uint8_t> reply, int delayMs = 0,
                   size_t splitAt = 0, int pauseMs = 0)
        : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)), reply_(std::move(reply)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        EXPECT_EQ(listen(fd_, 4), 0);
        thread_ = std::thread([this, delayMs, splitAt, pauseMs] {
            const int client = accept(fd_, nullptr, nullptr);
            if (client < 0) {
                return;
            }
            tsremote::Request request{};
            [[maybe_unused]] ssize_t n = recv(client, &request, sizeof(request), MSG_WAITALL);
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            const size_t first = splitAt > 0 && splitAt < reply_.size() ? splitAt : reply_.size();
            n = send(client, reply_.data(), first, MSG_NOSIGNAL);
            if (first < reply_.size()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
                n = send(client, reply_.data() + first, reply_.size() - first, MSG_NOSIGNAL);
            }
            close(client);
        });
    }
    ~ScriptedClient() {
        shutdown(fd_, SHUT_RDWR);
        thread_.join();
        close(fd_);
    }

private:
    int fd_;
    std::vector<uint8_t> reply_;
    std::thread thread_;
};

std::vector<uint8_t> replyBytes(int32_t result, int32_t count, uint32_t payloadSize,
                                uint32_t errorSize, size_t payloadSent) {
    const tsremote::ReplyHeader header{tsremote::kReplyMagic, result, count, payloadSize,
                                       errorSize};
    std::vector<uint8_t> bytes(sizeof(header) + payloadSent, 0x5A);
    std::memcpy(bytes.data(), &header, sizeof(header));
    return bytes;
}

// A client that serves one connection at a time, every request on it until the caller
// closes it. The reply to the n-th request (from 1) names one speaker, ID n, so a caller
// that took a reply meant for an earlier call would show it.
class CountingClient {
public:
    struct Behaviour {
        bool closeAfterEachReply = false;
        int delayFirstReplyMs = 0;
        size_t extraBytesAfterFirstReply = 0;
        bool repeatFirstReplyLater = false;
    };

    CountingClient(const std::string& path, Behaviour behaviour)
        : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)), behaviour_(behaviour) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        EXPECT_EQ(listen(fd_, 4), 0);
        thread_ = std::thread([this] { serve(); });
    }
    ~CountingClient() {
        shutdown(fd_, SHUT_RDWR);
        // The library keeps its connection: end the one being served too.
        shutdown(client_.load(), SHUT_RDWR);
        thread_.join();
        close(fd_);
    }
    int connections() const { return connections_; }

private:
    void serve() {
        for (;;) {
            const int client = accept(fd_, nullptr, nullptr);
            if (client < 0) {
                return;
            }
            client_ = client;
            ++connections_;
            tsremote::Request request{};
            while (recv(client, &request, sizeof(request), MSG_WAITALL) == sizeof(request)) {
                ++requests_;
                const int32_t id = requests_;
                std::vector<uint8_t> reply = replyBytes(0, 1, 4, 0, 4);
                std::memcpy(reply.data() + sizeof(tsremote::ReplyHeader), &id, 4);
                if (requests_ == 1) {
                    std::this_thread::sleep_for(
                        std::chrono::milliseconds(behaviour_.delayFirstReplyMs));
                    reply.resize(reply.size() + behaviour_.extraBytesAfterFirstReply, 0x5A);
                }
                if (send(client, reply.data(), reply.size(), MSG_NOSIGNAL) < 0 ||
                    behaviour_.closeAfterEachReply) {
                    break;
                }
                if (requests_ == 1 && behaviour_.repeatFirstReplyLater) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    (void)!send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
                }
            }
            client_ = -1;
            close(client);
        }
    }

    int fd_;
    std::atomic<int> client_{-1};
    Behaviour behaviour_;
    std::atomic<int> connections_{0};
    int requests_ = 0;
    std::thread thread_;
};

} // namespace

TEST_F(LibraryTest, WithoutAClientEveryCallFailsAsNotRunning) {
    setenv("TS2_CLIENT_SIM_SOCKET", socket().toLocal8Bit().constData(), 1);
    EXPECT_EQ(speakersResult(), -1000);
    EXPECT_EQ(lastError(), "The TeamSpeak client is not running");
    std::array<uint8_t, 1024 * 50> records{};
    int32_t count = 1024;
    EXPECT_NE(tsrGetPlayers(records.data(), &count), 0);
    EXPECT_NE(tsrGetUserInfo(records.data()), 0);
    EXPECT_NE(tsrGetServerInfo(records.data()), 0);
    EXPECT_NE(tsrGetVersion(records.data()), 0);
    EXPECT_TRUE(std::all_of(records.begin(), records.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(lastError(), "The TeamSpeak client is not running");
}

TEST_F(LibraryTest, RunningConnectedTalkingAndQuitting) {
    SimProcess sim(socket());
    EXPECT_EQ(speakersResult(), -1) << "running, not connected";
    std::array<uint8_t, 16> version{};
    EXPECT_EQ(tsrGetVersion(version.data()), 0);
    EXPECT_EQ(records::readInt32(version.data() + records::version::kNumbers + 8), 32)
        << "the release number";

    sim.type("connect 127.0.0.1:8767\njoin 7 EDDH_TWR\njoin 8 DLH123\ntalk 8\ntalk 7");
    EXPECT_EQ(speakers(), (std::vector<int32_t>{8, 7}));
    std::vector<uint8_t> records(1024 * 50, 0);
    int32_t count = 1024;
    ASSERT_EQ(tsrGetPlayers(records.data(), &count), 0);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(
        records::readText(records.data() + records::player::kSize, records::player::kNickname),
        "EDDH_TWR");
    std::array<uint8_t, 482> server{};
    EXPECT_EQ(tsrGetServerInfo(server.data()), 0);
    EXPECT_EQ(records::readText(server.data(), records::serverInfo::kAddress), "127.0.0.1:8767");

    sim.type("stop 8\nstop 7");
    EXPECT_EQ(speakers(), std::vector<int32_t>{});

    sim.write("quit\n");
    ASSERT_TRUE(sim.process().waitForFinished(5000));
    EXPECT_EQ(sim.process().exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(socket())) << "the socket is removed";
    EXPECT_EQ(speakersResult(), -1000);
}

TEST_F(LibraryTest, NeverMoreRecordsThanTheCountGiven) {
    SimProcess sim(socket());
    sim.type("connect a:1\ncrowd 10\ntalk 1000\ntalk 1001\ntalk 1002");
    std::vector<uint8_t> records(10 * 50, 0xEE);
    int32_t count = 3;
    ASSERT_EQ(tsrGetPlayers(records.data(), &count), 0);
    EXPECT_EQ(count, 3);
    EXPECT_TRUE(std::all_of(records.begin() + 150, records.end(), [](uint8_t b) {
        return b == 0xEE;
    })) << "nothing written past the third record";
    std::array<int32_t, 4> ids{-9, -9, -9, -9};
    count = 2;
    ASSERT_EQ(tsrGetSpeakers(ids.data(), &count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(ids[2], -9);
}

TEST_F(LibraryTest, ScriptedFailuresCarryTheirText) {
    SimProcess sim(socket());
    sim.type("connect a:1\nfail tsrGetPlayers 3 \"Player list locked\"");
    std::vector<uint8_t> records(1024 * 50, 0);
    int32_t count = 1024;
    EXPECT_EQ(tsrGetPlayers(records.data(), &count), 3);
    EXPECT_EQ(lastError(), "Player list locked");
    std::array<char, 8> small{};
    tsrGetLastError(small.data(), 8);
    EXPECT_STREQ(small.data(), "Player ") << "the text is cut to the buffer";
    sim.type("fail tsrGetPlayers 0");
    EXPECT_EQ(tsrGetPlayers(records.data(), &count), 0);
}

TEST_F(LibraryTest, AStalledClientIsGivenUpWithinTheTimeout) {
    SimProcess sim(socket());
    sim.type("connect a:1");
    sim.write("stall 400\n");
    QElapsedTimer wait;
    wait.start();
    while (speakersResult() == 0 && wait.elapsed() < 5000) {
    }
    QElapsedTimer call;
    call.start();
    EXPECT_EQ(speakersResult(), tsremote::kNoAnswer);
    EXPECT_LT(call.elapsed(), 400) << "the stalled reply was not waited for";
    EXPECT_EQ(lastError(), "The TeamSpeak client did not answer in time");
    // The client survives callers that gave up, and is heard from again once it answers.
    sim.write("stall 0\n");
    ASSERT_TRUE(sim.serving(5000));
    wait.restart();
    while (speakersResult() != 0 && wait.elapsed() < 5000) {
        QThread::msleep(5);
    }
    EXPECT_EQ(speakersResult(), 0);
}

// A tick of the program calls five times in a row: together they wait for one time-out, not
// five, and the calls after it fail at once as the timed-out one did.
TEST_F(LibraryTest, AStalledClientHoldsATickOfCallsForOneTimeOutOnly) {
    SimProcess sim(socket());
    sim.type("connect a:1");
    sim.write("stall 150\n");
    QElapsedTimer wait;
    wait.start();
    while (speakersResult() == 0 && wait.elapsed() < 5000) {
    }
    // Until the time the stalled call took is back: the tick below starts afresh.
    QThread::msleep(2 * tsremote::kTimeoutMs);

    std::vector<uint8_t> records(1024 * records::player::kSize, 0);
    std::array<uint8_t, records::serverInfo::kSize> server{};
    std::array<uint8_t, records::userInfo::kSize> user{};
    std::array<uint8_t, records::version::kSize> version{};
    int32_t count = 1024;
    QElapsedTimer tick;
    tick.start();
    const std::array<int32_t, 5> results = {
        tsrGetPlayers(records.data(), &count), speakersResult(), tsrGetServerInfo(server.data()),
        tsrGetUserInfo(user.data()), tsrGetVersion(version.data())};
    const qint64 waited = tick.elapsed();
    for (const int32_t result : results) {
        EXPECT_EQ(result, tsremote::kNoAnswer);
    }
    EXPECT_EQ(lastError(), "The TeamSpeak client did not answer in time");
    // Each call alone would wait kTimeoutMs: five of them, nearly half a second.
    EXPECT_LT(waited, 200) << "the tick waited for more than one time-out";

    sim.write("stall 0\n");
    wait.restart();
    while (speakersResult() != 0 && wait.elapsed() < 5000) {
        QThread::msleep(5);
    }
    EXPECT_EQ(speakersResult(), 0) << "a client that answers in time again is followed";
    EXPECT_EQ(tsrGetPlayers(records.data(), &count), 0);
}

// The connection is kept from call to call, and given up whenever its state is in doubt.
TEST_F(LibraryTest, OneConnectionServesCallAfterCall) {
    const std::string path = librarySocket();
    CountingClient client(path, {});
    for (int32_t n = 1; n <= 20; ++n) {
        EXPECT_EQ(speakers(), std::vector<int32_t>{n});
    }
    EXPECT_EQ(client.connections(), 1);
}

TEST_F(LibraryTest, AClientThatClosesAfterEveryReplyIsCalledAgainAtOnce) {
    const std::string path = librarySocket();
    CountingClient client(path, {.closeAfterEachReply = true});
    for (int32_t n = 1; n <= 5; ++n) {
        EXPECT_EQ(speakers(), std::vector<int32_t>{n}) << "no call fails for the closing";
    }
    EXPECT_EQ(client.connections(), 5);
}

TEST_F(LibraryTest, BytesBeyondAReplyAreNeverReadAsTheNextOne) {
    const std::string path = librarySocket();
    CountingClient client(path, {.extraBytesAfterFirstReply = sizeof(tsremote::ReplyHeader) + 4});
    EXPECT_EQ(speakers(), std::vector<int32_t>{1});
    EXPECT_EQ(speakers(), std::vector<int32_t>{2});
    EXPECT_EQ(client.connections(), 2);
}

TEST_F(LibraryTest, AReplySentTwiceDoesNotShiftEveryLaterAnswerByOne) {
    const std::string path = librarySocket();
    CountingClient client(path, {.repeatFirstReplyLater = true});
    EXPECT_EQ(speakers(), std::vector<int32_t>{1});
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the repeat has arrived
    EXPECT_EQ(speakers(), std::vector<int32_t>{2});
    EXPECT_EQ(speakers(), std::vector<int32_t>{3});
    EXPECT_EQ(client.connections(), 2);
}

TEST_F(LibraryTest, AReplyThatCameTooLateIsNotTakenForTheNextCall) {
    const std::string path = librarySocket();
    CountingClient client(path, {.delayFirstReplyMs = tsremote::kTimeoutMs + 60});
    EXPECT_EQ(speakersResult(), tsremote::kNoAnswer);
    // Past the time the late reply needed, and until the waiting time is back.
    std::this_thread::sleep_for(std::chrono::milliseconds(2 * tsremote::kTimeoutMs));
    EXPECT_EQ(speakers(), std::vector<int32_t>{2});
    EXPECT_EQ(client.connections(), 2);
}

TEST_F(LibraryTest, ARestartedClientAnswersTheFirstCallAfterIt) {
    SimProcess sim(socket());
    EXPECT_EQ(speakersResult(), -1);
    sim.process().kill();
    ASSERT_TRUE(sim.process().waitForFinished(5000));

    // Waited for without the library, so that its next call is the first one it makes.
    SimProcess restarted(socket(), {}, false);
    QElapsedTimer wait;
    wait.start();
    while (!acceptsConnections(socket()) && wait.elapsed() < 5000) {
        QThread::msleep(5);
    }
    EXPECT_EQ(speakersResult(), -1) << "no failed call for the connection the old one left";
}

TEST_F(LibraryTest, GarbledRepliesAreRefusedAndWriteNothing) {
    const std::string path = librarySocket();
    struct Case {
        const char* what;
        std::vector<uint8_t> reply;
    };
    std::vector<uint8_t> wrongMagic = replyBytes(0, 1, 50, 0, 50);
    wrongMagic[0] ^= 0xFF;
    const Case cases[] = {
        {"a cut-off header", std::vector<uint8_t>{0x54, 0x53, 0x52}},
        {"a wrong magic", wrongMagic},
        {"more records than room", replyBytes(0, 5, 250, 0, 250)},
        {"a negative count", replyBytes(0, -1, 0, 0, 0)},
        {"a payload that does not fit the count", replyBytes(0, 2, 99, 0, 99)},
        {"a cut-off payload", replyBytes(0, 2, 100, 0, 50)},
        {"an oversized error text", replyBytes(7, 0, 0, 5000, 0)},
    };
    for (const Case& c : cases) {
        unlink(path.c_str());
        ScriptedClient client(path, c.reply);
        std::vector<uint8_t> records(4 * 50, 0xEE);
        int32_t count = 4;
        EXPECT_EQ(tsrGetPlayers(records.data(), &count), tsremote::kGarbledReply) << c.what;
        EXPECT_EQ(count, 4) << c.what;
        EXPECT_TRUE(std::all_of(records.begin(), records.end(), [](uint8_t b) {
            return b == 0xEE;
        })) << c.what;
        EXPECT_EQ(lastError(), "The TeamSpeak client sent a reply that could not be read");
    }
    unlink(path.c_str());
}

TEST_F(LibraryTest, OnlyASuccessfulReplyWritesItsRecords) {
    const std::string path = librarySocket();
    const auto untouched = [](const std::vector<uint8_t>& bytes) {
        return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xEE; });
    };
    {
        // A failure code with two whole records after it: the code counts, not the records.
        unlink(path.c_str());
        ScriptedClient client(path, replyBytes(7, 2, 100, 0, 100));
        std::vector<uint8_t> records(4 * 50, 0xEE);
        int32_t count = 4;
        EXPECT_EQ(tsrGetPlayers(records.data(), &count), 7);
        EXPECT_EQ(count, 4);
        EXPECT_TRUE(untouched(records));
    }
    {
        unlink(path.c_str());
        ScriptedClient client(path, replyBytes(7, 1, 16, 0, 16));
        std::vector<uint8_t> version(16, 0xEE);
        EXPECT_EQ(tsrGetVersion(version.data()), 7);
        EXPECT_TRUE(untouched(version));
    }
    {
        // Success without the record: the caller's record stays as it was.
        unlink(path.c_str());
        ScriptedClient client(path, replyBytes(0, 1, 0, 0, 0));
        std::vector<uint8_t> version(16, 0xEE);
        EXPECT_EQ(tsrGetVersion(version.data()), 0);
        EXPECT_TRUE(untouched(version));
    }
    {
        // Success: exactly the records announced, up to the count, and nothing after them.
        unlink(path.c_str());
        ScriptedClient client(path, replyBytes(0, 2, 100, 0, 100));
        std::vector<uint8_t> records(4 * 50, 0xEE);
        int32_t count = 4;
        EXPECT_EQ(tsrGetPlayers(records.data(), &count), 0);
        EXPECT_EQ(count, 2);
        EXPECT_TRUE(std::all_of(records.begin(), records.begin() + 100,
                                [](uint8_t b) { return b == 0x5A; }));
        EXPECT_TRUE(untouched({records.begin() + 100, records.end()}));
    }
    unlink(path.c_str());
}

TEST_F(LibraryTest, ASlowOrPiecemealReplyWithinTheTimeOutIsTakenWhole) {
    const std::string path = librarySocket();
    std::vector<uint8_t> reply = replyBytes(0, 3, 150, 0, 150);
    const size_t header = sizeof(tsremote::ReplyHeader);
    struct Case {
        const char* what;
        int delayMs;
        size_t splitAt;
        int pauseMs;
    };
    const Case cases[] = {
        {"late", tsremote::kTimeoutMs / 3, 0, 0},
        {"cut inside the header", 0, header - 3, 20},
        {"cut inside a record", 5, header + 70, 30},
        {"late and cut", 20, header + 1, 20},
    };
    for (const Case& c : cases) {
        unlink(path.c_str());
        ScriptedClient client(path, reply, c.delayMs, c.splitAt, c.pauseMs);
        std::vector<uint8_t> records(4 * 50, 0xEE);
        int32_t count = 4;
        EXPECT_EQ(tsrGetPlayers(records.data(), &count), 0) << c.what;
        EXPECT_EQ(count, 3) << c.what;
        EXPECT_TRUE(std::all_of(records.begin(), records.begin() + 150, [](uint8_t b) {
            return b == 0x5A;
        })) << c.what;
        EXPECT_TRUE(std::all_of(records.begin() + 150, records.end(), [](uint8_t b) {
            return b == 0xEE;
        })) << c.what;
        // Time for the budget of waits to grow back before the next case.
        QThread::msleep(2 * tsremote::kTimeoutMs);
    }
    unlink(path.c_str());
}

TEST_F(LibraryTest, SocketIsPrivateAndAStaleOneIsReplaced) {
    // A socket left by a client that died: bound, never removed.
    const std::string path = socket().toStdString();
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        close(fd);
    }
    SimProcess sim(socket());
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(speakersResult(), -1);

    // A second client on a live socket refuses to start and leaves the first one alone.
    SimProcess second(socket(), {}, false);
    ASSERT_TRUE(second.process().waitForFinished(5000));
    EXPECT_EQ(second.process().exitCode(), 1);
    EXPECT_TRUE(second.process().readAllStandardError().contains("another simulated client"));
    EXPECT_EQ(speakersResult(), -1);

    EXPECT_TRUE(sim.terminate());
    EXPECT_FALSE(QFileInfo::exists(socket())) << "SIGTERM removes the socket";
}

TEST_F(LibraryTest, EndOfInputEndsTheClientWithoutAScenario) {
    SimProcess sim(socket());
    sim.type("bogus 1\nconnect a:1\njoin 5 KEPT");
    std::vector<uint8_t> records(1024 * 50, 0);
    int32_t count = 1024;
    ASSERT_EQ(tsrGetPlayers(records.data(), &count), 0);
    EXPECT_EQ(count, 2) << "the bad line was ignored, the good ones ran";
    sim.process().closeWriteChannel();
    ASSERT_TRUE(sim.process().waitForFinished(5000));
    EXPECT_TRUE(sim.process().readAllStandardError().contains("line 1: unknown command 'bogus'"));
    EXPECT_FALSE(isSocket(socket()));
}

TEST_F(LibraryTest, ScenarioRunsOnTimeIgnoresInputAndLoops) {
    dir.write("s.txt", "at 0 connect 127.0.0.1:8767\njoin 7 EDDH_TWR\n"
                       "at 0.3 talk 7\nat 0.6 stop 7\nat 0.9 disconnect\nat 1.2 stop 7\n");
    SimProcess sim(socket(), {"--scenario", dir.file("s.txt"), "--loop"});
    sim.process().closeWriteChannel(); // standard input is not what keeps it running
    // Watch a few cycles: connected, talking, quiet, disconnected, and again.
    QElapsedTimer clock;
    clock.start();
    std::vector<std::string> phases;
    while (clock.elapsed() < 3000) {
        int32_t result = 0;
        const std::vector<int32_t> ids = speakers(&result);
        const std::string phase = result == -1 ? "off" : ids.empty() ? "quiet" : "talk";
        if (phases.empty() || phases.back() != phase) {
            phases.push_back(phase);
        }
        QThread::msleep(10);
    }
    EXPECT_EQ(sim.process().state(), QProcess::Running);
    // Starting anywhere in the cycle, the order repeats: quiet, talk, quiet, off.
    const std::vector<std::string> cycle = {"quiet", "talk", "quiet", "off"};
    const auto first = std::find(phases.begin(), phases.end(), "off");
    ASSERT_NE(first, phases.end());
    ASSERT_GE(phases.end() - first, 5);
    for (size_t i = 1; i < 5; ++i) {
        EXPECT_EQ(first[i], cycle[(i - 1) % 4]) << i;
    }
}

TEST_F(LibraryTest, ABadScenarioIsRefusedWithItsLineNumber) {
    dir.write("bad.txt", "at 0 connect a:1\n# fine\nat 1 talk seven\n");
    SimProcess sim(socket(), {"--scenario", dir.file("bad.txt")}, false);
    ASSERT_TRUE(sim.process().waitForFinished(5000));
    EXPECT_EQ(sim.process().exitCode(), 2);
    EXPECT_TRUE(sim.process().readAllStandardError().contains("line 3: bad player ID 'seven'"));
    EXPECT_FALSE(QFileInfo::exists(socket()));
}

TEST(SocketPath, EnvironmentChoosesThePath) {
    setenv("TS2_CLIENT_SIM_SOCKET", "/x/y.sock", 1);
    setenv("XDG_RUNTIME_DIR", "/run/user/77", 1);
    EXPECT_EQ(tsremote::socketPath(), "/x/y.sock");
    unsetenv("TS2_CLIENT_SIM_SOCKET");
    EXPECT_EQ(tsremote::socketPath(), "/run/user/77/ts2-client-sim.sock");
    setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(tsremote::socketPath(),
              "/tmp/ts2-client-sim-" + std::to_string(getuid()) + "/socket");
    unsetenv("XDG_RUNTIME_DIR");
}

// The socket is trusted only when it can only be this user's: the fallback directory in the
// shared /tmp must be theirs and private, and whoever listens must run as them.

namespace {

struct User {
    uid_t uid;
    gid_t gid;
};

// Another user, when this one may act as them (root).
std::optional<User> otherUser() {
    const passwd* entry = getpwnam("nobody");
    if (geteuid() != 0 || !entry || entry->pw_uid == 0) {
        return std::nullopt;
    }
    return User{entry->pw_uid, entry->pw_gid};
}

// A socket at path on which a process of another user listens: bound here, then listened on
// by a child that has become that user. Root only.
class ForeignListener {
public:
    ForeignListener(const std::string& path, User user) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        int ready[2];
        EXPECT_EQ(pipe(ready), 0);
        pid_ = fork();
        if (pid_ == 0) {
            // Only system calls from here: the child of a threaded process.
            close(ready[0]);
            if (setgid(user.gid) != 0 || setuid(user.uid) != 0 || listen(fd, 4) != 0) {
                _exit(1);
            }
            const char byte = 1;
            [[maybe_unused]] const ssize_t n = write(ready[1], &byte, 1);
            for (;;) {
                pause(); // never answers; ended by the test
            }
        }
        close(ready[1]);
        close(fd);
        char byte = 0;
        listening_ = read(ready[0], &byte, 1) == 1;
        close(ready[0]);
    }
    ~ForeignListener() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool listening() const { return listening_; }

private:
    pid_t pid_ = -1;
    bool listening_ = false;
};

// The fallback directory, made here for one test and removed after it, with the library
// pointed at the fallback path as it is when neither variable is set.
class FallbackDirectory {
public:
    FallbackDirectory()
        : directory_("/tmp/ts2-client-sim-" + std::to_string(getuid())),
          path_(directory_ + "/socket") {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime) {
            runtime_ = runtime;
        }
        unsetenv("XDG_RUNTIME_DIR");
        unsetenv("TS2_CLIENT_SIM_SOCKET");
        // A client of this user's may be using it: then it is left alone.
        made_ = mkdir(directory_.c_str(), 0700) == 0;
    }
    ~FallbackDirectory() {
        if (made_) {
            unlink(path_.c_str());
            rmdir(directory_.c_str());
        }
        if (runtime_) {
            setenv("XDG_RUNTIME_DIR", runtime_->c_str(), 1);
        }
    }
    bool made() const { return made_; }
    const std::string& directory() const { return directory_; }
    const std::string& path() const { return path_; }

private:
    std::string directory_;
    std::string path_;
    std::optional<std::string> runtime_;
    bool made_ = false;
};

} // namespace

TEST(SocketTrust, OnlyAPrivateDirectoryOfThisUserIsTrusted) {
    TempDir dir;
    const std::string base = dir.path().toStdString();
    const std::string good = base + "/good";
    const std::string open = base + "/open";
    const std::string link = base + "/link";
    const std::string file = base + "/file";
    ASSERT_EQ(mkdir(good.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
    ASSERT_EQ(chmod(open.c_str(), 0755), 0);
    ASSERT_EQ(symlink(good.c_str(), link.c_str()), 0);
    dir.write("file", "");
    EXPECT_EQ(tsremote::privateDirectoryProblem(good), "");
    EXPECT_EQ(tsremote::privateDirectoryProblem(open),
              open + ": open to other users (mode 0755, not 0700)");
    EXPECT_EQ(tsremote::privateDirectoryProblem(link), link + ": not a directory");
    EXPECT_EQ(tsremote::privateDirectoryProblem(file), file + ": not a directory");
    EXPECT_EQ(tsremote::privateDirectoryProblem(base + "/none"),
              base + "/none: No such file or directory");

    const std::optional<User> other = otherUser();
    if (!other) {
        GTEST_SKIP() << "a directory of another user takes root to make";
    }
    ASSERT_EQ(chown(good.c_str(), other->uid, other->gid), 0);
    EXPECT_EQ(tsremote::privateDirectoryProblem(good),
              good + ": belongs to another user (uid " + std::to_string(other->uid) + ")");
}

TEST(SocketTrust, AFallbackDirectoryOthersCanReachIsRefusedBeforeConnecting) {
    FallbackDirectory fallback;
    if (!fallback.made()) {
        GTEST_SKIP() << fallback.directory() << " exists already (a client of this user's?)";
    }
    ASSERT_EQ(tsremote::socketPath(), fallback.path());
    // Made first by someone else, open to all, with a socket in it that would answer.
    ASSERT_EQ(chmod(fallback.directory().c_str(), 0755), 0);
    {
        CountingClient squatter(fallback.path(), {});
        EXPECT_EQ(speakersResult(), tsremote::kNotRunning);
        EXPECT_EQ(lastError(), "The TeamSpeak client is not running: " + fallback.directory() +
                                   ": open to other users (mode 0755, not 0700)");
        EXPECT_EQ(squatter.connections(), 0);

        // Once private it is this user's client, and is called.
        ASSERT_EQ(chmod(fallback.directory().c_str(), 0700), 0);
        EXPECT_EQ(speakers(), std::vector<int32_t>{1});
        EXPECT_EQ(squatter.connections(), 1);
    }
    unlink(fallback.path().c_str());

    const std::optional<User> other = otherUser();
    if (!other) {
        GTEST_SKIP() << "a directory of another user takes root to make";
    }
    ASSERT_EQ(chown(fallback.directory().c_str(), other->uid, other->gid), 0);
    CountingClient squatter(fallback.path(), {});
    EXPECT_EQ(speakersResult(), tsremote::kNotRunning);
    EXPECT_EQ(lastError(), "The TeamSpeak client is not running: " + fallback.directory() +
                               ": belongs to another user (uid " + std::to_string(other->uid) +
                               ")");
    EXPECT_EQ(squatter.connections(), 0);
}

TEST_F(LibraryTest, ASocketServedByAnotherUserIsRefused) {
    const std::optional<User> other = otherUser();
    if (!other) {
        GTEST_SKIP() << "a process of another user takes root to start";
    }
    const std::string path = librarySocket();
    {
        ForeignListener foreign(path, *other);
        ASSERT_TRUE(foreign.listening());
        EXPECT_EQ(speakersResult(), tsremote::kNotRunning);
        EXPECT_EQ(lastError(), "The TeamSpeak client is not running: " + path +
                                   " is served by another user (uid " + std::to_string(other->uid) +
                                   ")");
    }
    // The same path served by this user is called.
    unlink(path.c_str());
    CountingClient own(path, {});
    EXPECT_EQ(speakers(), std::vector<int32_t>{1});
}
