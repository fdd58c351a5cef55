#include "config/ErrorLog.h"

#include "Fifo.h"
#include "support/LogEntries.h"
#include "support/TempDir.h"
#include "window/MainWindow.h"

#include <QFileInfo>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

QDateTime fixedTime() {
    return QDateTime(QDate(2026, 12, 6), QTime(21, 5, 33));
}

TEST(ErrorLog, AnEntryIsDateSlashTimeSlashNumberColonMessage) {
    TempDir dir;
    const QLocale german(QLocale::German, QLocale::Germany);
    const ErrorLog log(dir.path(), german, fixedTime);
    const QString date = german.toString(fixedTime().date(), QLocale::ShortFormat);
    const QString time = QStringLiteral("21:05:33");

    log.WriteErrorLog(QStringLiteral("STAT Connected"), 0);
    log.WriteErrorLog(QStringLiteral("SetupDX7Sound: no device "), -2005401480);

    const QByteArray expected = (date + "/" + time + "/0:STAT Connected\r\n" + date + "/" + time +
                                 "/-2005401480:SetupDX7Sound: no device \r\n")
                                    .toLocal8Bit();
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

TEST(ErrorLog, MessagesAreWrittenInTheLocalesEightBitEncoding) {
    TempDir dir;
    const ErrorLog log(dir.path(), QLocale::c(), fixedTime);
    const QString device = QStringLiteral("Found Device: Lautsprecher (\u00e4)");
    const QString nickname =
        QStringLiteral("TX: J\u00f6rg \u0395\u03bb\u03ad\u03bd\u03b7 \u674e\u96f7");
    log.WriteErrorLog(device, 0);
    log.WriteErrorLog(nickname, 0);
    const QByteArray bytes = dir.read("errorlog.txt");
    EXPECT_TRUE(bytes.contains(device.toLocal8Bit() + "\r\n"));
    EXPECT_TRUE(bytes.endsWith(nickname.toLocal8Bit() + "\r\n"));
    EXPECT_EQ(logMessages(bytes), (QStringList{device, nickname}));
}

TEST(ErrorLog, DatesAndTimesInNonLatinScriptsKeepTheirCharacters) {
    // These locales write their date or time in letters or digits of their own script: in
    // Latin-1 they would all have become question marks.
    for (const QLocale& locale :
         {QLocale(QLocale::Arabic, QLocale::Egypt), QLocale(QLocale::Persian, QLocale::Iran),
          QLocale(QLocale::Japanese, QLocale::Japan),
          QLocale(QLocale::Korean, QLocale::SouthKorea)}) {
        const std::string name = locale.name().toStdString();
        TempDir dir;
        const ErrorLog log(dir.path(), locale, fixedTime);
        const QString entry = log.entryText(QStringLiteral("STAT Connected"), 0);
        ASSERT_TRUE(
            std::any_of(entry.begin(), entry.end(), [](QChar c) { return c.unicode() > 0xFF; }))
            << name << ": nothing beyond Latin-1 in " << entry.toStdString();
        log.WriteErrorLog(QStringLiteral("STAT Connected"), 0);
        const QByteArray bytes = dir.read("errorlog.txt");
        EXPECT_FALSE(bytes.contains('?')) << name << ": " << bytes.toStdString();
        EXPECT_EQ(QString::fromLocal8Bit(bytes), entry + QStringLiteral("\r\n")) << name;
        const QList<LogEntry> entries = logEntries(bytes);
        ASSERT_EQ(entries.size(), 1) << name;
        EXPECT_EQ(entries[0].date, locale.toString(fixedTime().date(), QLocale::ShortFormat))
            << name;
        EXPECT_EQ(entries[0].message, QStringLiteral("STAT Connected")) << name;
    }
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
    for (const QLocale& locale :
         {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
          QLocale(QLocale::English, QLocale::UnitedStates),
          QLocale(QLocale::Finnish, QLocale::Finland), QLocale(QLocale::Arabic, QLocale::Egypt),
          QLocale(QLocale::Persian, QLocale::Iran), QLocale(QLocale::Japanese, QLocale::Japan),
          QLocale(QLocale::Korean, QLocale::SouthKorea)}) {
        TempDir dir;
        ErrorLog(dir.path(), locale, fixedTime).WriteErrorLog(message, -7);
        const QList<LogEntry> entries = logEntries(dir.read("errorlog.txt"));
        ASSERT_EQ(entries.size(), 1) << locale.name().toStdString();
        EXPECT_EQ(entries[0].number, -7) << locale.name().toStdString();
        EXPECT_EQ(entries[0].message, message) << locale.name().toStdString();
    }
}

// The time in an entry of a log in this locale, between the date and the number; taken from
// the text before it becomes 8-bit, so that every locale's letters are still there.
QString loggedTime(const QLocale& locale) {
    const QString entry = ErrorLog(QString(), locale, fixedTime).entryText(QStringLiteral("x"), 0);
    const QString date = locale.toString(fixedTime().date(), QLocale::ShortFormat) + u'/';
    const QString end = QStringLiteral("/0:x");
    if (!entry.startsWith(date) || !entry.endsWith(end)) {
        ADD_FAILURE() << "no date or number in " << entry.toStdString();
        return QString();
    }
    return entry.mid(date.size(), entry.size() - date.size() - end.size());
}

// The locale's own blanks (no-break spaces among them) as plain ones, to compare with.
QString plainBlanks(QString text) {
    for (QChar& c : text) {
        if (c.isSpace()) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

TEST(ErrorLog, TheTimeIsTheLongTimeFormatWithoutTheTimeZone) {
    EXPECT_EQ(loggedTime(QLocale(QLocale::German, QLocale::Germany)), QStringLiteral("21:05:33"));
    EXPECT_EQ(loggedTime(QLocale(QLocale::Finnish, QLocale::Finland)), QStringLiteral("21.05.33"));
    EXPECT_EQ(plainBlanks(loggedTime(QLocale(QLocale::English, QLocale::UnitedStates))),
              QStringLiteral("9:05:33 PM"));
    // The zone in brackets, after a comma, and in front of the time.
    EXPECT_EQ(loggedTime(QLocale(QLocale::Catalan, QLocale::Spain)), QStringLiteral("21:05:33"));
    EXPECT_EQ(loggedTime(QLocale(QLocale::Belarusian, QLocale::Belarus)),
              QStringLiteral("21:05:33"));
    const QLocale hongKong(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::HongKong);
    EXPECT_EQ(loggedTime(hongKong),
              hongKong.toString(fixedTime().time(), QStringLiteral("APh:mm:ss")));
    // Quoted text stays, with the letter t in it.
    EXPECT_EQ(loggedTime(QLocale(QLocale::French, QLocale::Canada)),
              QStringLiteral("21 h 05 min 33 s"));
}

TEST(ErrorLog, NoLocaleWritesTheTimeZone) {
    // What the long time format would put for its zone.
    const QString zone = QLocale::c().toString(fixedTime().time(), QStringLiteral("t"));
    ASSERT_FALSE(zone.isEmpty());
    for (const QLocale& locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript,
                                                          QLocale::AnyTerritory)) {
        const QString time = loggedTime(locale);
        const std::string name = locale.name().toStdString();
        ASSERT_FALSE(time.isEmpty()) << name;
        EXPECT_FALSE(time.contains(zone)) << name << ": " << time.toStdString();
        EXPECT_FALSE(time.front().isSpace() || time.back().isSpace()) << name;
        for (const QChar left : {QLatin1Char('('), QLatin1Char('[')}) {
            EXPECT_FALSE(time.contains(left)) << name << ": " << time.toStdString();
        }
        EXPECT_FALSE(time.endsWith(QLatin1Char(','))) << name;
    }
}

TEST(ErrorLog, ControlCharactersInAMessageBecomeBlanks) {
    TempDir dir;
    const ErrorLog log(dir.path(), QLocale::c(), fixedTime);
    // A nickname that tries to start a line of its own, and every other control character.
    log.WriteErrorLog(QStringLiteral("TX: EVIL\r\n01.01.2026/00:00:00/0:STAT Connected"), 0);
    QString controls;
    for (char16_t code = 0; code < 32; ++code) {
        controls += QChar(code);
    }
    controls += QChar(127);
    log.WriteErrorLog(QStringLiteral("<") + controls + QString::fromLatin1(" \xa0\xe4>"), 3);

    const QList<LogEntry> entries = logEntries(dir.read("errorlog.txt"));
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].message, QStringLiteral("TX: EVIL  01.01.2026/00:00:00/0:STAT Connected"));
    EXPECT_EQ(entries[1].number, 3);
    EXPECT_EQ(entries[1].message, QStringLiteral("<") + QString(33, QLatin1Char(' ')) +
                                      QString::fromLatin1(" \xa0\xe4>"));
}

TEST(ErrorLog, ANamedPipeAsTheLogIsNotWaitedForAndGetsNoEntry) {
    TempDir dir;
    const QString fifo = dir.file("errorlog.txt");
    ASSERT_TRUE(makeFifo(fifo));
    const ErrorLog log(dir.path(), QLocale::c(), fixedTime);
    // Nobody reads the pipe: opening it to write would wait for a reader.
    EXPECT_TRUE(returnsByItself(fifo, [&] { log.WriteErrorLog(QStringLiteral("lost"), 0); }))
        << "the entry waited for a reader of the pipe";

    // Somebody reads it: still no regular file, so still no entry.
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    log.WriteErrorLog(QStringLiteral("lost"), 0);
    char byte = 0;
    const ssize_t got = ::read(reader, &byte, 1);
    ::close(reader);
    EXPECT_LE(got, 0) << "an entry went into the pipe";
    EXPECT_TRUE(isFifo(fifo));
}

TEST(ErrorLog, ALinkToARegularFileIsAppendedToThroughTheLink) {
    TempDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("elsewhere")));
    dir.write(QStringLiteral("elsewhere/log.txt"), "older entry\r\n");
    ASSERT_TRUE(
        QFile::link(dir.file(QStringLiteral("elsewhere/log.txt")), dir.file("errorlog.txt")));
    ErrorLog(dir.path(), QLocale::c(), fixedTime).WriteErrorLog(QStringLiteral("new"), 1);
    const QList<QByteArray> lines = dir.lines(QStringLiteral("elsewhere/log.txt"));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "older entry");
    EXPECT_TRUE(lines[1].endsWith("/1:new"));
    EXPECT_TRUE(QFileInfo(dir.file("errorlog.txt")).isSymLink());
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
