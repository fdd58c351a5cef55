// The program as a process: settings read at start-up, written back when SIGTERM closes it.

#include "support/ProgramRun.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

TEST(ShellE2E, SigtermSavesTheSettingsReadAtStartUp) {
    ProgramRun run;
    run.writeFile("config.cfg", "SENSITIVITY = 900\r\n  ClickVolume=40  \r\nBUGTRACKING = 1\r\n");
    QProcess& staticor = run.start();
    ASSERT_TRUE(run.waitForText("errorlog.txt", "Selected Device", 15000));

    ASSERT_TRUE(run.terminate(staticor));
    EXPECT_EQ(staticor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(staticor.exitCode(), 0);

    const QStringList config = run.lines("config.cfg");
    ASSERT_EQ(config.size(), 15);
    EXPECT_EQ(config[0], "# STATICOR Configuration File");
    EXPECT_EQ(config[6], "CLICKVOLUME = 40");
    EXPECT_EQ(config[13], "BUGTRACKING = 1");
    EXPECT_EQ(config[14], "SENSITIVITY = 600");

    const QStringList log = run.lines("errorlog.txt");
    ASSERT_FALSE(log.isEmpty());
    EXPECT_TRUE(log.first().endsWith("0:Selected Device: 0 ")) << log.first().toStdString();
}

TEST(ShellE2E, AClosedTerminalSavesTheSettingsAsALogoutDoes) {
    ProgramRun run;
    run.writeFile("config.cfg", "NOISEVOLUME = 44\r\nBUGTRACKING = 1\r\n");
    QProcess& staticor = run.start();
    ASSERT_TRUE(run.waitForText("errorlog.txt", "Selected Device", 15000));
    ASSERT_TRUE(run.terminate(staticor, 10000, SIGHUP));
    EXPECT_EQ(staticor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(staticor.exitCode(), 0);
    const QStringList config = run.lines("config.cfg");
    ASSERT_EQ(config.size(), 15);
    EXPECT_EQ(config[7], "NOISEVOLUME = 44");
}

TEST(ShellE2E, ASecondInstanceInTheSameFolderSaysSoAndTouchesNoFile) {
    ProgramRun run;
    run.writeFile("config.cfg", "NOISEVOLUME = 44\r\nBUGTRACKING = 1\r\n");
    QProcess& first = run.start();
    ASSERT_TRUE(run.waitForText("errorlog.txt", "Selected Device", 15000));

    QProcess& second = run.start(QStringLiteral("staticor"), {}, QProcess::SeparateChannels);
    QElapsedTimer wait;
    wait.start();
    QByteArray said;
    const QByteArray message = "staticor: Staticor is already running from this folder.\n";
    while (!said.contains(message) && wait.elapsed() < 15000) {
        second.waitForReadyRead(100);
        said += second.readAllStandardError();
    }
    EXPECT_TRUE(said.contains(message)) << said.toStdString();
    // Its message box waits for OK; a logout ends it at once, with nothing to save.
    EXPECT_EQ(second.state(), QProcess::Running);
    ASSERT_TRUE(run.terminate(second));
    EXPECT_EQ(run.readFile("config.cfg"), "NOISEVOLUME = 44\r\nBUGTRACKING = 1\r\n");
    // The first instance keeps logging; a second start-up would have logged its device.
    EXPECT_EQ(run.readFile("errorlog.txt").count("Selected Device"), 1);

    EXPECT_EQ(first.state(), QProcess::Running);
    ASSERT_TRUE(run.terminate(first));
    EXPECT_TRUE(run.lines("config.cfg").contains("NOISEVOLUME = 44"));
    // The lock went with the first instance: the folder can be used again.
    QProcess& third = run.start();
    wait.restart();
    while (run.readFile("errorlog.txt").count("Selected Device") < 2 && wait.elapsed() < 15000) {
        QThread::msleep(20);
    }
    EXPECT_EQ(run.readFile("errorlog.txt").count("Selected Device"), 2);
    ASSERT_TRUE(run.terminate(third));
    EXPECT_EQ(third.exitCode(), 0);
}

TEST(ShellE2E, ALogoutWhileTheStartUpFailureBoxWaitsKeepsTheSettings) {
    ProgramRun run;
    const QByteArray settings = "BUGTRACKING = 1\r\nNOISEVOLUME = 33\r\n";
    run.writeFile("config.cfg", settings);
    run.env().insert(QStringLiteral("ALSOFT_DRIVERS"), QStringLiteral("none")); // no device
    QProcess& staticor = run.start();
    // The failure is logged just before its message box is shown.
    ASSERT_TRUE(run.waitForText("errorlog.txt", "SetupDX7Sound: ", 15000));
    QThread::msleep(300);
    ASSERT_TRUE(run.terminate(staticor));
    EXPECT_EQ(staticor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(staticor.exitCode(), 1);
    EXPECT_EQ(run.readFile("config.cfg"), settings) << "the failed device was stored";
}

TEST(ShellE2E, SecondRunAppendsToTheLogAndKeepsTheSavedSettings) {
    ProgramRun run;
    run.writeFile("config.cfg", "BUGTRACKING = 1\r\nSOUNDDEVICE = 0\r\nNOISEVOLUME = 55\r\n");
    for (int i = 0; i < 2; ++i) {
        QProcess& staticor = run.start();
        // Each run writes its "Selected Device" entry once; wait for this run's.
        QElapsedTimer wait;
        wait.start();
        while (run.readFile("errorlog.txt").count("Selected Device") < i + 1 &&
               wait.elapsed() < 15000) {
            QThread::msleep(20);
        }
        ASSERT_TRUE(run.terminate(staticor));
    }
    EXPECT_EQ(run.readFile("errorlog.txt").count("Selected Device: 0 "), 2);
    EXPECT_TRUE(run.lines("config.cfg").contains("NOISEVOLUME = 55"));
}

TEST(ShellE2E, WithoutConfigurationTheWrittenFileHoldsTheInitialValues) {
    ProgramRun run;
    QProcess& staticor = run.start();
    QThread::msleep(1500);
    ASSERT_TRUE(run.terminate(staticor));
    const QStringList config = run.lines("config.cfg");
    ASSERT_EQ(config.size(), 15);
    EXPECT_EQ(config.mid(5),
              (QStringList{"SOUNDDEVICE = 0", "CLICKVOLUME = 100", "NOISEVOLUME = 70",
                           "EXCLUDED = ", "CLICKSOUND = ", "NOISESOUND = ", "TXSOUND = ",
                           "PLAYTXSOUND = 0", "BUGTRACKING = 0", "SENSITIVITY = 0"}));
    EXPECT_FALSE(QFile::exists(run.file("errorlog.txt")));
}

TEST(ShellE2E, ATerminationDuringStartUpStillSavesTheSettings) {
    ProgramRun run;
    run.writeFile("config.cfg", "NOISEVOLUME = 33\r\n");
    QProcess& staticor = run.start();
    // As soon as the program catches SIGTERM, which it does before anything else.
    const QString status = QStringLiteral("/proc/%1/status").arg(staticor.processId());
    QElapsedTimer wait;
    wait.start();
    bool caught = false;
    while (!caught && wait.elapsed() < 10000) {
        QFile file(status);
        file.open(QIODevice::ReadOnly);
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.startsWith("SigCgt:")) {
                caught = (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
            }
        }
    }
    ASSERT_TRUE(caught);
    ASSERT_TRUE(run.terminate(staticor));
    EXPECT_EQ(staticor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.lines("config.cfg").size(), 15);
    EXPECT_TRUE(run.lines("config.cfg").contains("NOISEVOLUME = 33"));
}
