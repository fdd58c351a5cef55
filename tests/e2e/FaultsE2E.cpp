// The program as a process under faults: a read-only program directory, a client that dies,
// stalls or answers garbage, and sound files that cannot be used. Whatever happens, it keeps
// running, ends normally when asked, and recovers when the client is back.

#include "Protocol.h"
#include "support/LogEntries.h"
#include "support/ProgramRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray kLoggingConfig =
    "BUGTRACKING = 1\r\nSENSITIVITY = 100\r\nCLICKSOUND = click.wav\r\n"
    "NOISESOUND = noise.wav\r\nTXSOUND = tx.wav\r\n";

// Ends the program as a logout does and expects a normal end.
void expectNormalEnd(ProgramRun& run, QProcess& staticor) {
    ASSERT_EQ(staticor.state(), QProcess::Running) << "the program ended by itself";
    ASSERT_TRUE(run.terminate(staticor));
    EXPECT_EQ(staticor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(staticor.exitCode(), 0);
}

QProcess& startClient(ProgramRun& run) {
    QProcess& sim = run.start("ts2-client-sim");
    ProgramRun::type(sim, "connect 127.0.0.1:8767 Tower\nself 5 DLH123\njoin 7 EDDH_TWR 1 0 8\n");
    return sim;
}

TEST(FaultsE2E, AReadOnlyProgramDirectoryKeepsTheOldSettingsAndDropsTheLog) {
    ProgramRun run;
    run.writeFile("config.cfg", kLoggingConfig);
    QStringList command{"staticor"};
    // Root writes anywhere: run the program as nobody, who may only read the directory.
    if (geteuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (setpriv.isEmpty()) {
            GTEST_SKIP() << "running as root without setpriv to drop the rights";
        }
        command = {setpriv, "--reuid=65534",     "--regid=65534", "--clear-groups",
                   "--",    run.file("staticor")};
    }
    const QFile::Permissions before = QFileInfo(run.dir()).permissions();
    QFile::setPermissions(run.dir(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                         QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    QProcess& staticor = run.start(command.takeFirst(), command);
    // Every tick logs the missing client, and every entry is dropped.
    EXPECT_FALSE(staticor.waitForFinished(3000)) << staticor.exitCode();
    expectNormalEnd(run, staticor);
    QFile::setPermissions(run.dir(), before);

    EXPECT_EQ(run.readFile("config.cfg"), kLoggingConfig);
    EXPECT_FALSE(QFile::exists(run.file("errorlog.txt")));
    EXPECT_TRUE(QDir(run.dir()).entryList({"*.tmp", "*~", "config.cfg.*"}, QDir::Files).isEmpty());
}

TEST(FaultsE2E, AClientThatDiesOrStallsIsFollowedAndTheProgramRecoversWhenItIsBack) {
    ProgramRun run;
    run.env().insert("TS2_CLIENT_SIM_SOCKET", run.file("sim.sock"));
    run.writeFile("config.cfg", kLoggingConfig);
    QProcess& staticor = run.start();

    QProcess* sim = &startClient(run);
    ProgramRun::type(*sim, "talk 7\n");
    const qsizetype first = waitForLogMessage(run.dir(), "TX: EDDH_TWR", 0);
    ASSERT_GE(first, 0) << logMessagesIn(run.dir()).join('\n').toStdString();

    // Killed while connected: nothing answers the next tick.
    ::kill(static_cast<pid_t>(sim->processId()), SIGKILL);
    ASSERT_TRUE(sim->waitForFinished(5000));
    const qsizetype gone = waitForLogMessage(run.dir(), "STAT Not Running", first);
    ASSERT_GT(gone, first) << logMessagesIn(run.dir()).join('\n').toStdString();

    // Back, on the socket the dead one left behind.
    sim = &startClient(run);
    const qsizetype back = waitForLogMessage(run.dir(), "STAT Connected", gone);
    ASSERT_GT(back, gone) << logMessagesIn(run.dir()).join('\n').toStdString();

    // Stalled for far longer than a call may wait: the program gives up on each call and
    // goes on; once the client answers in time again, transmissions show again.
    ProgramRun::type(*sim, "stall 3000\n");
    const qsizetype stalled =
        waitForLogMessage(run.dir(), "The TeamSpeak client did not answer in time", back);
    ASSERT_GT(stalled, back) << logMessagesIn(run.dir()).join('\n').toStdString();
    ProgramRun::type(*sim, "stall 0\nstop 7\n");
    QThread::msleep(1000);
    ProgramRun::type(*sim, "talk 7\n");
    EXPECT_GT(waitForLogMessage(run.dir(), "TX: EDDH_TWR", stalled), stalled)
        << logMessagesIn(run.dir()).join('\n').toStdString();

    // A stall again, and a logout in the middle of it: the window still closes at once.
    ProgramRun::type(*sim, "stall 60000\n");
    QThread::msleep(500);
    QElapsedTimer closing;
    closing.start();
    expectNormalEnd(run, staticor);
    EXPECT_LT(closing.elapsed(), 5000);
    EXPECT_TRUE(run.readFile("config.cfg").contains("SENSITIVITY = 100\r\n"));
}

// A socket where the client's should be, answering every call with a different garbled reply.
class GarbageClient {
public:
    explicit GarbageClient(const QString& path) : path_(path.toStdString()) {
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);
        unlink(path_.c_str());
        ok_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
              listen(fd_, 16) == 0;
    }
    ~GarbageClient() {
        if (fd_ >= 0) {
            close(fd_);
        }
        unlink(path_.c_str());
    }
    bool ok() const { return ok_; }

    // Serves for that long; the number of calls answered.
    int serve(int milliseconds) {
        QElapsedTimer timer;
        timer.start();
        int calls = 0;
        while (timer.elapsed() < milliseconds) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) {
                continue;
            }
            const int peer = accept(fd_, nullptr, nullptr);
            if (peer < 0) {
                continue;
            }
            answer(peer, calls++);
            close(peer);
        }
        return calls;
    }

private:
    static QByteArray header(uint32_t magic, int32_t result, int32_t count, uint32_t payload,
                             uint32_t error) {
        const tsremote::ReplyHeader h{magic, result, count, payload, error};
        return QByteArray(reinterpret_cast<const char*>(&h), sizeof(h));
    }

    static void answer(int peer, int call) {
        char request[sizeof(tsremote::Request)];
        pollfd p{peer, POLLIN, 0};
        if (poll(&p, 1, 200) > 0) {
            (void)!read(peer, request, sizeof(request));
        }
        const uint32_t magic = tsremote::kReplyMagic;
        QByteArray reply;
        switch (call % 8) {
        case 0: // closed without a word
            return;
        case 1:
            reply = "garbage, not a reply at all";
            break;
        case 2: // more records than anyone asked for, none sent
            reply = header(magic, 0, 70000, 70000 * records::player::kSize, 0);
            break;
        case 3:
            reply = header(magic, 0, -5, 0, 0);
            break;
        case 4: // an error text longer than allowed
            reply = header(magic, 1, 0, 0, 0xFFFFFFFF) + QByteArray(64, 'e');
            break;
        case 5: // records without a zero byte anywhere
            reply = header(magic, 0, 2, 2 * records::player::kSize, 0) +
                    QByteArray(2 * records::player::kSize, 'A');
            break;
        case 6: // cut inside the header
            reply = header(magic, 0, 1, 4, 0).left(7);
            break;
        default: // a result code the client never gives
            reply = header(magic, 123456, 0, 0, 5) + "oops!";
            break;
        }
        (void)!write(peer, reply.constData(), static_cast<size_t>(reply.size()));
    }

    std::string path_;
    int fd_ = -1;
    bool ok_ = false;
};

TEST(FaultsE2E, AClientAnsweringGarbageNeverBringsTheProgramDown) {
    ProgramRun run;
    const QString socket = run.file("sim.sock");
    run.env().insert("TS2_CLIENT_SIM_SOCKET", socket);
    run.writeFile("config.cfg", kLoggingConfig);
    QProcess& staticor = run.start();
    {
        GarbageClient garbage(socket);
        ASSERT_TRUE(garbage.ok());
        EXPECT_GT(garbage.serve(4000), 40) << "the program kept calling";
    }
    ASSERT_EQ(staticor.state(), QProcess::Running);
    const qsizetype before = logMessagesIn(run.dir()).size();
    startClient(run);
    EXPECT_GE(waitForLogMessage(run.dir(), "STAT Connected", before), before)
        << logMessagesIn(run.dir()).join('\n').toStdString();
    expectNormalEnd(run, staticor);
}

TEST(FaultsE2E, SoundFilesThatCannotBeUsedLeaveTheProgramRunning) {
    {
        ProgramRun run;
        run.env().insert("TS2_CLIENT_SIM_SOCKET", run.file("sim.sock"));
        ASSERT_TRUE(QDir(run.dir()).mkdir("folder.wav"));
        run.writeFile("empty.wav", "");
        run.writeFile("text.wav", "RIFF but no sound in it");
        run.writeFile("config.cfg", "BUGTRACKING = 1\r\nSENSITIVITY = 100\r\n"
                                    "CLICKSOUND = folder.wav\r\nNOISESOUND = empty.wav\r\n"
                                    "TXSOUND = text.wav\r\n");
        QProcess& staticor = run.start();
        QProcess& sim = startClient(run);
        ProgramRun::type(sim, "talk 7\n");
        // The slots keep the fill sound; the effect goes on.
        ASSERT_GE(waitForLogMessage(run.dir(), "TX: EDDH_TWR", 0), 0)
            << logMessagesIn(run.dir()).join('\n').toStdString();
        ProgramRun::type(sim, "stop 7\ntalk 7\nstop 7\n");
        QThread::msleep(1000);
        expectNormalEnd(run, staticor);
        EXPECT_GE(logMessagesIn(run.dir()).filter("DX7LoadSound: ").size(), 3);
    }
    {
        // Without the fill sound Apply stops early, and start-up says so; the window stays.
        ProgramRun run;
        ASSERT_TRUE(QFile::remove(run.file("info.wav")));
        run.writeFile("config.cfg", kLoggingConfig);
        QProcess& staticor = run.start();
        EXPECT_FALSE(staticor.waitForFinished(3000));
        expectNormalEnd(run, staticor);
        EXPECT_GE(logMessagesIn(run.dir()).indexOf(
                      "DX7LoadSound: The system cannot find the file specified. "),
                  0)
            << logMessagesIn(run.dir()).join('\n').toStdString();
    }
}

} // namespace
