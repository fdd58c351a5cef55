// The program and the simulated client as processes: the connection as the error log tells it.

#include "support/LogEntries.h"
#include "support/ProgramRun.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {} // namespace

TEST(TeamSpeakE2E, ConnectingIsLoggedAndTheLocalUserNeverTransmits) {
    ProgramRun run;
    run.env().insert("TS2_CLIENT_SIM_SOCKET", run.file("sim.sock"));
    run.writeFile("config.cfg", "BUGTRACKING = 1\r\nSENSITIVITY = 100\r\nCLICKSOUND = click.wav\r\n"
                                "NOISESOUND = noise.wav\r\nTXSOUND = tx.wav\r\n");
    run.writeFile("scenario.txt", "at 1 connect 127.0.0.1:8767 Tower\n"
                                  "self 5 DLH123\n"
                                  "join 7 EDDH_TWR 1 0 8\n"
                                  "at 1.5 talk 5\n"
                                  "at 2.5 stop 5\n"
                                  "at 3 talk 7\n"
                                  "at 4 stop 7\n"
                                  "at 4.5 quit\n");
    QProcess& staticor = run.start();
    // Without a client, every tick's failed player query is logged.
    ASSERT_TRUE(run.waitForText("errorlog.txt", "The TeamSpeak client is not running", 15000));

    QProcess& sim = run.start("ts2-client-sim", {"--scenario", run.file("scenario.txt")});
    ASSERT_TRUE(sim.waitForFinished(15000)) << "the scenario ends with quit";
    EXPECT_EQ(sim.exitCode(), 0);
    ASSERT_TRUE(run.waitForText("errorlog.txt", "STAT Not Running", 5000));
    ASSERT_TRUE(run.terminate(staticor));

    const QStringList log = logMessagesIn(run.dir());
    const qsizetype running = log.indexOf("STAT Running");
    ASSERT_GE(running, 0) << log.join('\n').toStdString();
    EXPECT_EQ(log.value(running + 1), "VER -") << "nothing was shown before";

    const qsizetype connected = log.indexOf("STAT Connected");
    ASSERT_GT(connected, running);
    EXPECT_EQ(log.mid(connected, 3),
              (QStringList{"STAT Connected", "VER 2.0.32.60", "SVRCON 127.0.0.1:8767"}));

    const qsizetype quit = log.indexOf("STAT Not Running");
    ASSERT_GT(quit, connected);
    EXPECT_EQ(log.value(quit + 1), "VER 2.0.32.60");
    // The other player's transmission shows; the local user's, a second earlier, never does.
    EXPECT_TRUE(log.contains("TX: EDDH_TWR")) << log.join('\n').toStdString();
    EXPECT_FALSE(log.contains("TX: DLH123")) << "the local user is never another speaker";
    // Not-running errors only before the client came and after it went: the tick that finds it
    // gone fails its player query first, then shows the status.
    EXPECT_EQ(log.value(quit - 1), "The TeamSpeak client is not running");
    for (qsizetype i = running; i < quit - 1; ++i) {
        EXPECT_NE(log[i], "The TeamSpeak client is not running") << i;
    }
}
