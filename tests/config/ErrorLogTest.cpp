#include "config/ErrorLog.h"

#include "support/LogEntries.h"
#include "support/TempDir.h"
#include "window/MainWindow.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

QDateTime fixedTime() {
    return QDateTime(QDate(2026, 12, 6), QTime(21, 5, 33));
}

TEST(ErrorLog, AnEntryIsDateSlashTimeSlashNumberColonMessage) {
    TempDir dir;
    const QLocale german(QLocale::German, QLocale::Germany);
    const ErrorLog log(dir.path(), german, fixedTime);
    const QString date = german.toString(fixedTime().date(), QLocale::ShortFormat);
    const QString time = german.toString(fixedTime().time(), QLocale::LongFormat);

    log.WriteErrorLog(QStringLiteral("STAT Connected"), 0);
    log.WriteErrorLog(QStringLiteral("SetupDX7Sound: no device "), -2005401480);

    const QByteArray expected = (date + "/" + time + "/0:STAT Connected\r\n" + date + "/" + time +
                                 "/-2005401480:SetupDX7Sound: no device \r\n")
                                    .toLatin1();
    EXPECT_EQ(dir.read("errorlog.txt"), expected);
    EXPECT_TRUE(date.startsWith(QStringLiteral("06.12.")));
}

TEST(ErrorLog, EntriesAreAppendedToWhatIsThere) {
    TempDir dir;
    dir.write("errorlog.txt", "older entry\r\n");
    const ErrorLog log(dir.path(), QLocale::c(), fixedTime);
    log.WriteErrorLog(QStringLiteral("new"), 1);
    const QList<QByteArray> lines = dir.lines("errorlog.txt");
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "older entry");
    EXPECT_TRUE(lines[1].endsWith("/1:new"));
}

TEST(ErrorLog, MessagesKeepTheirBytesInTheEightBitFile) {
    TempDir dir;
    const ErrorLog log(dir.path(), QLocale::c(), fixedTime);
    log.WriteErrorLog(QString::fromLatin1("Found Device: Lautsprecher (\xe4)"), 0);
    EXPECT_TRUE(dir.read("errorlog.txt").endsWith("Found Device: Lautsprecher (\xe4)\r\n"));
}

TEST(ErrorLog, AnUnwritableLogDropsTheEntry) {
    TempDir dir;
    // A directory where the file should be: the open fails.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("errorlog.txt")));
    const ErrorLog log(dir.path(), QLocale::c(), fixedTime);
    log.WriteErrorLog(QStringLiteral("lost"), 0);
    EXPECT_TRUE(QFileInfo(dir.file("errorlog.txt")).isDir());
}

TEST(ErrorLog, EveryLocalesEntriesReadBackWhateverTheMessageHolds) {
    // The tests read the log through one parser: it must find the number and the message in
    // any locale's date and time, whatever slashes and colons follow.
    const QString message = QStringLiteral("SVRCON 10.0.0.1:8767/3:x");
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
                                  QLocale(QLocale::English, QLocale::UnitedStates),
                                  QLocale(QLocale::Finnish, QLocale::Finland)}) {
        TempDir dir;
        ErrorLog(dir.path(), locale, fixedTime).WriteErrorLog(message, -7);
        const QList<LogEntry> entries = logEntries(dir.read("errorlog.txt"));
        ASSERT_EQ(entries.size(), 1) << locale.name().toStdString();
        EXPECT_EQ(entries[0].number, -7) << locale.name().toStdString();
        EXPECT_EQ(entries[0].message, message) << locale.name().toStdString();
    }
}

TEST(LoggingRule, TheGreyedSwitchWritesFailuresButNoTrace) {
    MainWindow main;
    const std::pair<int, std::pair<bool, bool>> expected[] = {
        {0, {false, false}}, {1, {true, true}}, {2, {true, false}}};
    for (const auto& [value, kinds] : expected) {
        main.logErrors->setValue(value);
        EXPECT_EQ(logsFailures(main), kinds.first) << value;
        EXPECT_EQ(logsTrace(main), kinds.second) << value;
    }
}

} // namespace
