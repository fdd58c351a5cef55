// Names beyond ASCII end to end: the simulated client sends a nickname as typed (UTF-8), the
// program shows, excludes and logs it, and config.cfg and errorlog.txt hold it in UTF-8.

#include "support/LogEntries.h"
#include "support/ProgramRun.h"

#include <gtest/gtest.h>

namespace {

struct Exclusion {
    const char* name;
    QByteArray excludedLine; // the EXCLUDED line of config.cfg as it is on disk, or none
    bool excludesJoerg;
};

void PrintTo(const Exclusion& exclusion, std::ostream* out) {
    *out << exclusion.name;
}

const QString kJoerg = QStringLiteral("J\u00f6rg");

class EncodingE2E : public ::testing::TestWithParam<Exclusion> {};

TEST_P(EncodingE2E, AUtf8NicknameIsLoggedAsSentAndExcludedByItsUpperCasedName) {
    const Exclusion& exclusion = GetParam();
    ProgramRun run;
    run.env().insert("TS2_CLIENT_SIM_SOCKET", run.file("sim.sock"));
    // Logging at 1 writes the "TX: " entries.
    run.writeFile("config.cfg", "BUGTRACKING = 1\r\nSENSITIVITY = 100\r\nCLICKSOUND = click.wav\r\n"
                                "NOISESOUND = noise.wav\r\nTXSOUND = tx.wav\r\n" +
                                    exclusion.excludedLine);
    // Jörg talks first, then the tower: the tower's entry shows that the program saw the
    // transmissions, whether or not Jörg's is left out.
    run.writeFile("scenario.txt", "at 1 connect 127.0.0.1:8767 Tower\n"
                                  "self 5 DLH123\n"
                                  "join 6 " +
                                      kJoerg.toUtf8() +
                                      " 1 0 0\n"
                                      "join 7 EDDH_TWR 1 0 8\n"
                                      "at 1.5 talk 6\n"
                                      "at 2.5 stop 6\n"
                                      "at 3 talk 7\n"
                                      "at 4 stop 7\n"
                                      "at 4.5 quit\n");
    QProcess& staticor = run.start();
    ASSERT_TRUE(run.waitForText("errorlog.txt", "The TeamSpeak client is not running", 15000));

    QProcess& sim = run.start("ts2-client-sim", {"--scenario", run.file("scenario.txt")});
    ASSERT_TRUE(sim.waitForFinished(15000)) << "the scenario ends with quit";
    EXPECT_EQ(sim.exitCode(), 0);
    ASSERT_TRUE(run.waitForText("errorlog.txt", "STAT Not Running", 5000));
    ASSERT_TRUE(run.terminate(staticor));

    const QStringList log = logMessagesIn(run.dir());
    ASSERT_TRUE(log.contains("TX: EDDH_TWR")) << log.join('\n').toStdString();
    const QByteArray bytes = run.readFile("errorlog.txt");
    if (exclusion.excludesJoerg) {
        EXPECT_FALSE(log.contains("TX: " + kJoerg)) << log.join('\n').toStdString();
        EXPECT_FALSE(bytes.contains("TX: J")) << "no spelling of the name at all";
    } else {
        EXPECT_TRUE(log.contains("TX: " + kJoerg)) << log.join('\n').toStdString();
        EXPECT_TRUE(bytes.contains("/0:TX: J\xc3\xb6rg\r\n")) << "the name's UTF-8 bytes";
    }

    // The settings are written back in UTF-8, an older version's Latin-1 line included.
    const QStringList config = run.lines("config.cfg");
    EXPECT_TRUE(config.contains(exclusion.excludesJoerg ? QStringLiteral("EXCLUDED = J\u00d6RG")
                                                        : QStringLiteral("EXCLUDED = ")))
        << config.join('\n').toStdString();
    EXPECT_FALSE(run.readFile("config.cfg").contains('\xd6')) << "no Latin-1 is written";
}

INSTANTIATE_TEST_SUITE_P(
    Exclusions, EncodingE2E,
    ::testing::Values(Exclusion{"none", "", false},
                      Exclusion{"utf8", "EXCLUDED = J\xc3\x96RG\r\n", true},
                      Exclusion{"latin1FromAnOlderVersion", "EXCLUDED = J\xd6RG\r\n", true}),
    [](const ::testing::TestParamInfo<Exclusion>& info) { return std::string(info.param.name); });

} // namespace
