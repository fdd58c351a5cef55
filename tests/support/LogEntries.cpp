#include "LogEntries.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

std::optional<LogEntry> parseLogEntry(const QString& line) {
    // The date may hold slashes and the message anything: the time is the first field that
    // holds two digits with something between them (a colon, a dot, the Japanese or Korean
    // signs for hours and minutes), and no slash. Digits are any script's: an Arabic or a
    // Persian locale writes its own.
    static const QRegularExpression entry(
        QStringLiteral("^(.*?)/([^/]*\\d[^/\\d]+\\d[^/]*)/(-?[0-9]+):(.*)$"),
        QRegularExpression::DotMatchesEverythingOption |
            QRegularExpression::UseUnicodePropertiesOption);
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
        // The log is 8-bit text in the locale's encoding, as the program writes it.
        const QString text = QString::fromLocal8Bit(line);
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
