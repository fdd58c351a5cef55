#include "LogEntries.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

std::optional<LogEntry> parseLogEntry(const QString& line) {
    // The date may hold slashes and the message anything: the time is the first field that
    // holds a digit, a colon or a dot and a digit, and no slash.
    static const QRegularExpression entry(
        QStringLiteral("^(.*?)/([^/]*\\d[:.]\\d[^/]*)/(-?\\d+):(.*)$"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = entry.match(line);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    return LogEntry{match.captured(1), match.captured(2), match.captured(3).toInt(),
                    match.captured(4)};
}

QList<LogEntry> logEntries(const QByteArray& bytes) {
    QList<LogEntry> out;
    // A last line without its end is an entry still being written: not one yet.
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        // The log is 8-bit text, written byte for byte as the program holds it.
        const QString text = QString::fromLatin1(line);
        const std::optional<LogEntry> parsed = parseLogEntry(text);
        EXPECT_TRUE(parsed.has_value()) << "not a log entry: " << text.toStdString();
        if (parsed) {
            out.append(*parsed);
        }
    }
    return out;
}

QStringList logMessages(const QByteArray& bytes) {
    QStringList out;
    for (const LogEntry& entry : logEntries(bytes)) {
        out.append(entry.message);
    }
    return out;
}

QStringList logMessagesIn(const QString& directory) {
    QFile file(QDir(directory).filePath(QStringLiteral("errorlog.txt")));
    return file.open(QIODevice::ReadOnly) ? logMessages(file.readAll()) : QStringList();
}

qsizetype waitForLogMessage(const QString& directory, const QString& message, qsizetype from,
                            int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    do {
        const qsizetype at = logMessagesIn(directory).indexOf(message, from);
        if (at >= 0) {
            return at;
        }
        QThread::msleep(20);
    } while (timer.elapsed() < timeoutMs);
    return -1;
}
