// The Debian package as a user meets it: unpacked into a scratch root, started through its
// launcher twice, with a setting changed in the first run by a click on the real window.

#include "XDisplay.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

QString runTool(const QString& program, const QStringList& arguments, int timeoutMs = 120000) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    if (!tool.waitForFinished(timeoutMs) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        tool.kill();
        tool.waitForFinished(1000);
        ADD_FAILURE() << program.toStdString() << " failed: " << tool.readAll().toStdString();
        return {};
    }
    return QString::fromLocal8Bit(tool.readAll());
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(PackageE2E, TheLauncherGivesEachUserAProgramDirectoryThatKeepsTheSettings) {
    const QString programDir = qEnvironmentVariable("STATICOR_PROGRAM_DIR");
    ASSERT_FALSE(programDir.isEmpty()) << "STATICOR_PROGRAM_DIR is not set";
    // The program directory is bin/ in the build tree, beside the packaging configuration.
    const QString config = QDir(programDir).filePath(QStringLiteral("../CPackConfig.cmake"));
    ASSERT_TRUE(QFile::exists(config)) << config.toStdString();
    QTemporaryDir scratch;
    const QString packages = scratch.filePath(QStringLiteral("packages"));
    runTool(QStringLiteral("cpack"), {QStringLiteral("--config"), config, QStringLiteral("-G"),
                                      QStringLiteral("DEB"), QStringLiteral("-B"), packages});
    const QStringList debs =
        QDir(packages).entryList({QStringLiteral("staticor_" STATICOR_VERSION "_*.deb")});
    ASSERT_EQ(debs.size(), 1);
    const QString deb = QDir(packages).filePath(debs.first());
    const QString depends =
        runTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QStringLiteral("Depends")});
    EXPECT_TRUE(depends.contains(QLatin1String("libqt6widgets6"))) << depends.toStdString();
    EXPECT_TRUE(depends.contains(QLatin1String("libopenal1"))) << depends.toStdString();

    const QString root = scratch.filePath(QStringLiteral("root"));
    runTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, root});
    const QString installed = root + QStringLiteral("/opt/staticor");
    ASSERT_TRUE(QFile::exists(installed + QStringLiteral("/staticor")));
    EXPECT_TRUE(QFile::exists(root + QStringLiteral("/usr/share/applications/staticor.desktop")));
    EXPECT_EQ(QFile::symLinkTarget(root + QStringLiteral("/usr/bin/staticor")),
              QStringLiteral("/opt/staticor/staticor-launcher"));
    const QByteArray templateConfig = readFile(installed + QStringLiteral("/config.cfg"));
    ASSERT_TRUE(templateConfig.contains("PLAYTXSOUND = 0\r\n"));
    // The installed copy is read-only, as under /opt.
    for (const QString& name : QDir(installed).entryList(QDir::Files)) {
        QFile::setPermissions(installed + QLatin1Char('/') + name,
                              QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                  QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    }

    XDisplay display;
    ASSERT_TRUE(display.ready());
    const QString home = scratch.filePath(QStringLiteral("home"));
    QDir().mkpath(home);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    env.insert(QStringLiteral("DISPLAY"), display.name());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("ALSOFT_DRIVERS"), QStringLiteral("null"));
    env.insert(QStringLiteral("TS2_CLIENT_SIM_SOCKET"),
               scratch.filePath(QStringLiteral("none.sock")));
    const QString userDir = home + QStringLiteral("/.local/share/staticor");

    for (int runNumber = 1; runNumber <= 2; ++runNumber) {
        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(installed + QStringLiteral("/staticor-launcher"), {});
        ASSERT_TRUE(program.waitForStarted(10000));
        const auto window = display.waitForWindow(QStringLiteral("^Staticor v"), 15000);
        ASSERT_TRUE(window.has_value()) << "run " << runNumber;
        if (runNumber == 1) {
            // Tick "Play initial TX-Sound" (left 120, top 2760 twips, under the menu bar).
            display.run(QStringLiteral("xdotool"),
                        {QStringLiteral("mousemove"), QStringLiteral("--window"), *window,
                         QStringLiteral("14"), QStringLiteral("217"), QStringLiteral("click"),
                         QStringLiteral("1")});
            QThread::msleep(300);
        }
        display.run(QStringLiteral("wmctrl"), {QStringLiteral("-c"), QStringLiteral("Staticor v")});
        ASSERT_TRUE(program.waitForFinished(15000)) << "run " << runNumber;
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_TRUE(
            readFile(userDir + QStringLiteral("/config.cfg")).contains("PLAYTXSOUND = 1\r\n"))
            << "run " << runNumber;
    }
    EXPECT_EQ(readFile(installed + QStringLiteral("/config.cfg")), templateConfig);
    EXPECT_TRUE(QFile::exists(userDir + QStringLiteral("/staticor")));
    EXPECT_FALSE(QFileInfo(userDir + QStringLiteral("/staticor")).isSymLink());
}

} // namespace
