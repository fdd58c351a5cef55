#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <functional>

class MainWindow;

// The two readings of the logging switch (logErrors), different on purpose: failures and
// the sound-device entries are written for any value above 0, trace entries ("STAT ",
// "VER ", "SVRCON ", "TX: ", the library's error text) only at exactly 1. So the greyed
// value 2 writes failures but no trace.
bool logsFailures(const MainWindow& main);
bool logsTrace(const MainWindow& main);

// errorlog.txt in the program directory. Each entry is appended on its own, opened and closed
// per call: date "/" time "/" number ":" message, CR LF. The date is the locale's short format,
// the time its long format without the time zone. The file is 8-bit text in the locale's
// encoding. The caller decides whether logging is on.
class ErrorLog {
public:
    using Clock = std::function<QDateTime()>;

    explicit ErrorLog(QString directory, QLocale locale = QLocale::system(),
                      Clock clock = &QDateTime::currentDateTime);

    // Appends one entry. A log that cannot be written, or that is not a regular file (a named
    // pipe, a device), drops the entry silently.
    void WriteErrorLog(const QString& message, int32_t number) const;

    QString filePath() const;
    // The entry's line without CR LF. Each control character of the message (codes 0 to 31
    // and 127) is written as one blank, so that every entry stays one line.
    QString entryText(const QString& message, int32_t number) const;

private:
    QString directory_;
    QLocale locale_;
    QString timeFormat_;
    Clock clock_;
};
