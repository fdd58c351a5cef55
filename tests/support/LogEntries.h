#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// errorlog.txt as the tests read it: each entry is date "/" time "/" number ":" message.
struct LogEntry {
    QString date;
    QString time;
    int32_t number = 0;
    QString message;
};

// One line without its CR LF; nothing when it is no entry.
std::optional<LogEntry> parseLogEntry(const QString& line);
// The entries of the file's bytes; a line that is no entry fails the running test.
QList<LogEntry> logEntries(const QByteArray& bytes);
// The messages of the entries, in order.
QStringList logMessages(const QByteArray& bytes);
// The messages of directory/errorlog.txt.
QStringList logMessagesIn(const QString& directory);
// Waits until directory/errorlog.txt holds the message at or after index from; its index, or
// -1 when it did not come within timeoutMs.
qsizetype waitForLogMessage(const QString& directory, const QString& message, qsizetype from,
                            int timeoutMs = 10000);
