// The program beside the simulated client's TeamSpeak 3 ClientQuery face: found on its own,
// the radio effect for other callsigns only, the server and the client coming and going, and
// the API key from the client's own settings.

#include "e2e/ClientRun.h"
#include "support/Eventually.h"
#include "support/LogEntries.h"
#include "support/ProgramRun.h"

#include <QDir>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using clientrun::logOf;
using clientrun::logShows;

const QByteArray kKey = "E2E-KEY-1234";

// The simulated client serving ClientQuery alone, on a free port or the one given.
struct ClientQuerySim {
    QProcess* process = nullptr;
    quint16 port = 0;

    ClientQuerySim(ProgramRun& run, quint16 wanted = 0) {
        process =
            &run.start(QStringLiteral("ts2-client-sim"),
                       {QStringLiteral("--no-ts2"), QStringLiteral("--clientquery=%1").arg(wanted),
                        QStringLiteral("--apikey=") + QString::fromLatin1(kKey)},
                       QProcess::SeparateChannels);
        const QRegularExpression listening(QStringLiteral("ClientQuery on 127\\.0\\.0\\.1:(\\d+)"));
        QByteArray said;
        EXPECT_TRUE(eventually(
            [&] {
                process->waitForReadyRead(50);
                said += process->readAllStandardError();
                const auto match = listening.match(QString::fromLocal8Bit(said));
                port = match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
                return port != 0;
            },
            10000))
            << said.toStdString();
    }

    void type(const QByteArray& commands) { ProgramRun::type(*process, commands + "\n"); }
};

} // namespace

TEST(ClientQueryE2E, FoundOnItsOwnItPlaysForOtherCallsignsAndFollowsTheClient) {
    ProgramRun run;
    run.writeFile(
        QStringLiteral("config.cfg"),
        "SOUNDDEVICE = 0\r\nCLICKVOLUME = 100\r\nNOISEVOLUME = 70\r\n"
        "EXCLUDED = J\xc3\x96RG,XYZ\r\nCLICKSOUND = click.wav\r\nNOISESOUND = noise.wav\r\n"
        "TXSOUND = tx.wav\r\nPLAYTXSOUND = 0\r\nBUGTRACKING = 1\r\nSENSITIVITY = 100\r\n");
    const QString wave = run.recordSound();
    // No TeamSpeak 2 client to find: the first client found is the ClientQuery one.
    run.env().insert(QStringLiteral("STATICOR_CLIENT"), QStringLiteral("auto"));
    run.env().insert(QStringLiteral("TS2_CLIENT_SIM_SOCKET"),
                     run.file(QStringLiteral("none.sock")));
    run.env().insert(QStringLiteral("TS3_CLIENTQUERY_APIKEY"), QString::fromLatin1(kKey));

    auto sim = std::make_unique<ClientQuerySim>(run);
    ASSERT_NE(sim->port, 0);
    const QByteArray server = "self 1 EDDH_TWR\nconnect 10.1.2.3:9987 Tower\njoin 2 DLH123\n"
                              "join 3 J\xc3\xb6rg";
    sim->type(server);
    QProcess& program = run.start(QStringLiteral("staticor"),
                                  {QStringLiteral("--ts3-query=127.0.0.1:%1").arg(sim->port)});
    ASSERT_TRUE(logShows(run, QStringLiteral("STAT Connected")))
        << logOf(run).join('\n').toStdString();

    // The local user, then the excluded callsign (written in capitals), then another callsign.
    const clientrun::Transmissions heard = clientrun::playTransmissions(
        run, wave, [&](const QByteArray& commands) { sim->type(commands); });

    // The server goes and comes back, then the client quits and comes back on its port.
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
    sim = std::make_unique<ClientQuerySim>(run, port);
    sim->type(server);
    ASSERT_TRUE(logShows(run, QStringLiteral("STAT Connected"), connectedBefore + 2));
    sim->type("talk 2");
    ASSERT_TRUE(logShows(run, QStringLiteral("TX: DLH123"), 2));
    sim->type("stop 2");
    ASSERT_TRUE(run.terminate(program));
    sim->type("quit");

    const QStringList log = logOf(run);
    const QString found = QStringLiteral("CLIENT TeamSpeak 3 ClientQuery 127.0.0.1:%1").arg(port);
    EXPECT_EQ(log.count(found), 2) << log.join('\n').toStdString(); // at start, and after the quit
    const qsizetype connected = log.indexOf(QStringLiteral("STAT Connected"));
    ASSERT_GT(connected, log.indexOf(found));
    EXPECT_EQ(log.value(connected + 2), QStringLiteral("SVRCON 10.1.2.3:9987"));
    // Back on the server after running without it: the client's version was shown meanwhile.
    const qsizetype again = log.indexOf(QStringLiteral("STAT Connected"), connected + 1);
    ASSERT_GT(again, connected);
    EXPECT_EQ(log.mid(again, 3),
              (QStringList{"STAT Connected", "VER 2.0.32.60", "SVRCON 10.1.2.3:9987"}));
    EXPECT_FALSE(log.contains(QStringLiteral("TX: EDDH_TWR"))) << "the local user";
    EXPECT_FALSE(log.contains(QStringLiteral("TX: J\u00f6rg"))) << "an excluded callsign";
    EXPECT_FALSE(log.join('\n').contains(QStringLiteral("refused")));

    clientrun::expectStaticForTheOtherOnly(wave, heard);
}

TEST(ClientQueryE2E, AWrongKeyKeepsItRunningUntilTheClientsKeyFileHasTheRightOne) {
    ProgramRun run;
    run.writeFile(QStringLiteral("config.cfg"), "BUGTRACKING = 1\r\n");
    // The key from the client's own settings, as a user who runs the client has it.
    const QString home = run.file(QStringLiteral("home"));
    QDir().mkpath(home + QStringLiteral("/.ts3client"));
    const QString keyFile = home + QStringLiteral("/.ts3client/clientquery.ini");
    auto writeKey = [&](const QByteArray& key) {
        QFile file(keyFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General]\r\napi_key=" + key + "\r\n");
    };
    writeKey("WRONG-KEY");
    run.env().insert(QStringLiteral("HOME"), home);
    run.env().remove(QStringLiteral("TS3_CLIENTQUERY_APIKEY"));

    ClientQuerySim sim(run);
    sim.type("self 1 EDDH_TWR\nconnect 10.1.2.3:9987 Tower");
    QProcess& program = run.start(
        QStringLiteral("staticor"),
        {QStringLiteral("--client=ts3"), QStringLiteral("--ts3-query=127.0.0.1:%1").arg(sim.port)});
    const QString refused = QStringLiteral("CLIENT TeamSpeak 3 ClientQuery refused the API key");
    ASSERT_TRUE(logShows(run, refused)) << logOf(run).join('\n').toStdString();
    ASSERT_TRUE(logShows(run, QStringLiteral("STAT Running")));
    writeKey(kKey);
    ASSERT_TRUE(logShows(run, QStringLiteral("STAT Connected")))
        << logOf(run).join('\n').toStdString();
    ASSERT_TRUE(run.terminate(program));
    sim.type("quit");

    const QStringList log = logOf(run);
    // Retried every few seconds, never every tick; the key itself is never written.
    const qsizetype refusals = log.count(refused);
    EXPECT_GE(refusals, 1);
    EXPECT_LE(refusals, 4) << log.join('\n').toStdString();
    EXPECT_FALSE(run.readFile(QStringLiteral("errorlog.txt")).contains(kKey));
    EXPECT_FALSE(run.readFile(QStringLiteral("errorlog.txt")).contains("WRONG-KEY"));
}

TEST(ClientQueryE2E, AnUnknownClientEndsBeforeAnyFileIsWritten) {
    ProgramRun run;
    QProcess& program = run.start(QStringLiteral("staticor"), {QStringLiteral("--client=ts9")},
                                  QProcess::SeparateChannels);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 2);
    EXPECT_TRUE(program.readAllStandardError().contains("unknown client \"ts9\""));
    EXPECT_FALSE(QFile::exists(run.file(QStringLiteral("config.cfg"))));
    EXPECT_FALSE(QFile::exists(run.file(QStringLiteral("errorlog.txt"))));
}
