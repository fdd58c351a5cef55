// The program beside the simulated client's Remote Apps face (TeamSpeak 5 and 6): found on its
// own, the radio effect for other callsigns only, the server and the client coming and going,
// and the API key: asked for once, kept, presented again, and asked for again once revoked.

#include "e2e/ClientRun.h"
#include "support/Eventually.h"
#include "support/LogEntries.h"
#include "support/ProgramRun.h"

#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

namespace {

using clientrun::logOf;
using clientrun::logShows;

const QString kKeyFile = QStringLiteral("ts5-remote-key");
const QString kRefused = QStringLiteral("CLIENT TeamSpeak 5 refused the API key");
const QByteArray kServer =
    "self 1 EDDH_TWR\nconnect 10.1.2.3:9987 Tower\njoin 2 DLH123\njoin 3 Afr456";
const QByteArray kConfig =
    "SOUNDDEVICE = 0\r\nCLICKVOLUME = 100\r\nNOISEVOLUME = 70\r\nEXCLUDED = AFR456,XYZ\r\n"
    "CLICKSOUND = click.wav\r\nNOISESOUND = noise.wav\r\nTXSOUND = tx.wav\r\nPLAYTXSOUND = 0\r\n"
    "BUGTRACKING = 1\r\nSENSITIVITY = 100\r\n";

// ts5-client-sim on a free port or the one given, with what it says on standard error.
struct RemoteAppsSim {
    QProcess* process = nullptr;
    quint16 port = 0;
    QByteArray said;

    RemoteAppsSim(ProgramRun& run, quint16 wanted = 0, QStringList arguments = {}) {
        arguments << QStringLiteral("--port=%1").arg(wanted);
        process =
            &run.start(QStringLiteral("ts5-client-sim"), arguments, QProcess::SeparateChannels);
        const QRegularExpression listening(QStringLiteral("Remote Apps on 127\\.0\\.0\\.1:(\\d+)"));
        EXPECT_TRUE(eventually(
            [&] {
                const auto match = listening.match(QString::fromLocal8Bit(stderrText()));
                port = match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
                return port != 0;
            },
            10000))
            << said.toStdString();
    }

    QByteArray stderrText() {
        process->waitForReadyRead(10);
        said += process->readAllStandardError();
        return said;
    }
    int saidTimes(const char* text) { return int(stderrText().count(text)); }

    void type(const QByteArray& commands) { ProgramRun::type(*process, commands + "\n"); }
};

QByteArray keyIn(const ProgramRun& run) {
    return run.readFile(kKeyFile).trimmed();
}

unsigned modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? unsigned(st.st_mode & 0777) : 0u;
}

} // namespace

TEST(RemoteAppsE2E, FoundOnItsOwnItPlaysForOtherCallsignsAndFollowsTheClient) {
    ProgramRun run;
    run.writeFile(QStringLiteral("config.cfg"), kConfig);
    const QString wave = run.recordSound();
    // No TeamSpeak 2 or 3 client to find: the first client found is the TeamSpeak 5 one.
    run.env().insert(QStringLiteral("STATICOR_CLIENT"), QStringLiteral("auto"));
    run.env().insert(QStringLiteral("TS2_CLIENT_SIM_SOCKET"),
                     run.file(QStringLiteral("none.sock")));

    auto sim = std::make_unique<RemoteAppsSim>(run);
    ASSERT_NE(sim->port, 0);
    sim->type(kServer);
    QProcess& program = run.start(QStringLiteral("staticor"),
                                  {QStringLiteral("--ts3-query=127.0.0.1:1"),
                                   QStringLiteral("--ts5-remote=127.0.0.1:%1").arg(sim->port)});
    ASSERT_TRUE(logShows(run, QStringLiteral("STAT Connected")))
        << logOf(run).join('\n').toStdString();
    // Allowed at the first contact; the key kept for the owner alone.
    EXPECT_EQ(sim->saidTimes("the user allowed an app"), 1);
    const QByteArray key = keyIn(run);
    EXPECT_FALSE(key.isEmpty());
    EXPECT_EQ(modeOf(run.file(kKeyFile)), 0600u);

    const clientrun::Transmissions heard = clientrun::playTransmissions(
        run, wave, [&](const QByteArray& commands) { sim->type(commands); });

    // The server goes and comes back, then the client quits and comes back on its port,
    // remembering the app it allowed.
    auto seen = [&](const char* entry) { return int(logOf(run).count(entry)); };
    const int running = seen("STAT Running");
    const int connectedBefore = seen("STAT Connected");
    const int notRunning = seen("STAT Not Running");
    sim->type("disconnect");
    ASSERT_TRUE(logShows(run, QStringLiteral("STAT Running"), running + 1));
    sim->type("connect 10.1.2.3:9987 Tower\njoin 2 DLH123");
    ASSERT_TRUE(logShows(run, QStringLiteral("STAT Connected"), connectedBefore + 1));
    const quint16 port = sim->port;
    sim->type("quit");
    ASSERT_TRUE(logShows(run, QStringLiteral("STAT Not Running"), notRunning + 1));
    sim = std::make_unique<RemoteAppsSim>(run, port,
                                          QStringList{"--key=" + QString::fromLatin1(key)});
    sim->type(kServer);
    ASSERT_TRUE(logShows(run, QStringLiteral("STAT Connected"), connectedBefore + 2));
    sim->type("talk 2");
    ASSERT_TRUE(logShows(run, QStringLiteral("TX: DLH123"), 2));
    sim->type("stop 2");
    EXPECT_EQ(sim->saidTimes("an app presented a known key"), 1);
    EXPECT_EQ(sim->saidTimes("the user allowed an app"), 0);
    ASSERT_TRUE(run.terminate(program));
    sim->type("quit");

    const QStringList log = logOf(run);
    const QString found = QStringLiteral("CLIENT TeamSpeak 5 127.0.0.1:%1").arg(port);
    EXPECT_EQ(log.count(found), 2) << log.join('\n').toStdString(); // at start, and after the quit
    const qsizetype connected = log.indexOf(QStringLiteral("STAT Connected"));
    ASSERT_GT(connected, log.indexOf(found));
    ASSERT_LT(connected + 2, log.size());
    EXPECT_EQ(log[connected + 2], QStringLiteral("SVRCON 10.1.2.3:9987"));
    // The client's own version, as its properties give it.
    EXPECT_TRUE(log.contains(QStringLiteral("VER 2.0.32.60"))) << log.join('\n').toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("TX: EDDH_TWR"))) << "the local user";
    EXPECT_FALSE(log.contains(QStringLiteral("TX: Afr456"))) << "an excluded callsign";
    EXPECT_FALSE(log.join('\n').contains(QStringLiteral("refused")));
    EXPECT_EQ(keyIn(run), key);
    EXPECT_FALSE(run.readFile(QStringLiteral("errorlog.txt")).contains(key));

    clientrun::expectStaticForTheOtherOnly(wave, heard);
}

TEST(RemoteAppsE2E, TheStoredKeyServesTheNextStartAndARevokedKeyIsAskedForAgainOnce) {
    ProgramRun run;
    run.writeFile(QStringLiteral("config.cfg"), kConfig);
    RemoteAppsSim sim(run);
    sim.type("self 1 EDDH_TWR\nconnect 10.1.2.3:9987 Tower\njoin 2 DLH123");
    const QStringList arguments{QStringLiteral("--client=ts5"),
                                QStringLiteral("--ts5-remote=127.0.0.1:%1").arg(sim.port)};

    QProcess* program = &run.start(QStringLiteral("staticor"), arguments);
    ASSERT_TRUE(logShows(run, QStringLiteral("STAT Connected")))
        << logOf(run).join('\n').toStdString();
    const QByteArray first = keyIn(run);
    ASSERT_FALSE(first.isEmpty());
    ASSERT_TRUE(run.terminate(*program));

    // The second start presents the kept key: the user is not asked again.
    program = &run.start(QStringLiteral("staticor"), arguments);
    ASSERT_TRUE(logShows(run, QStringLiteral("STAT Connected"), 2));
    EXPECT_EQ(sim.saidTimes("an app presented a known key"), 1);
    EXPECT_EQ(sim.saidTimes("the user allowed an app"), 1);

    // Revoked in the client: refused once, the old key gone, approval asked for once more.
    sim.type("revoke");
    ASSERT_TRUE(logShows(run, kRefused)) << logOf(run).join('\n').toStdString();
    ASSERT_TRUE(logShows(run, QStringLiteral("STAT Connected"), 3))
        << logOf(run).join('\n').toStdString();
    EXPECT_TRUE(eventually([&] { return sim.saidTimes("the user allowed an app") == 2; }, 5000));
    const QByteArray second = keyIn(run);
    EXPECT_FALSE(second.isEmpty());
    EXPECT_NE(second, first);
    EXPECT_EQ(modeOf(run.file(kKeyFile)), 0600u);
    sim.type("talk 2");
    ASSERT_TRUE(logShows(run, QStringLiteral("TX: DLH123")));
    ASSERT_TRUE(run.terminate(*program));
    sim.type("quit");

    const QStringList log = logOf(run);
    EXPECT_EQ(log.count(kRefused), 1) << log.join('\n').toStdString();
    const QByteArray text = run.readFile(QStringLiteral("errorlog.txt"));
    EXPECT_FALSE(text.contains(first));
    EXPECT_FALSE(text.contains(second));
}

TEST(RemoteAppsE2E, ADeclinedAppIsNotAskedAgainUntilTheClientReturns) {
    ProgramRun run;
    run.writeFile(QStringLiteral("config.cfg"), "BUGTRACKING = 1\r\n");
    auto sim = std::make_unique<RemoteAppsSim>(run, 0, QStringList{"--approve=no"});
    sim->type("self 1 EDDH_TWR\nconnect 10.1.2.3:9987 Tower");
    QProcess& program = run.start(QStringLiteral("staticor"),
                                  {QStringLiteral("--client=ts5"),
                                   QStringLiteral("--ts5-remote=127.0.0.1:%1").arg(sim->port)});
    ASSERT_TRUE(logShows(run, kRefused)) << logOf(run).join('\n').toStdString();
    // It still looks whether the client runs, without asking: three more contacts, no request.
    const int contacts = sim->saidTimes("an app connected");
    ASSERT_TRUE(
        eventually([&] { return sim->saidTimes("an app connected") >= contacts + 3; }, 20000))
        << sim->said.toStdString();
    EXPECT_EQ(sim->saidTimes("the user declined an app"), 1) << sim->said.toStdString();
    EXPECT_FALSE(QFile::exists(run.file(kKeyFile)));

    // The client quits, and something else answers there for a moment; then the client
    // returns: another run of it, so the user is asked again.
    const quint16 port = sim->port;
    sim->type("quit");
    ASSERT_TRUE(sim->process->waitForFinished(10000));
    {
        QTcpServer other;
        ASSERT_TRUE(other.listen(QHostAddress::LocalHost, port));
        ASSERT_TRUE(other.waitForNewConnection(10000));
        delete other.nextPendingConnection();
    }
    sim = std::make_unique<RemoteAppsSim>(run, port);
    sim->type("self 1 EDDH_TWR\nconnect 10.1.2.3:9987 Tower");
    ASSERT_TRUE(logShows(run, QStringLiteral("STAT Connected")))
        << logOf(run).join('\n').toStdString();
    EXPECT_FALSE(keyIn(run).isEmpty());
    ASSERT_TRUE(run.terminate(program));
    sim->type("quit");
    EXPECT_EQ(logOf(run).count(kRefused), 1);
}
