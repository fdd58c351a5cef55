#include "ErrorLog.h"

#include "window/MainWindow.h"

#include <QDir>
#include <QFile>

ErrorLog::ErrorLog(QString directory, QLocale locale, Clock clock)
    : directory_(std::move(directory)), locale_(std::move(locale)), clock_(std::move(clock)) {}

QString ErrorLog::filePath() const {
    return QDir(directory_).filePath(QStringLiteral("errorlog.txt"));
}

QString ErrorLog::entryText(const QString& message, int32_t number) const {
    const QDateTime now = clock_();
    return locale_.toString(now.date(), QLocale::ShortFormat) + QLatin1Char('/') +
           locale_.toString(now.time(), QLocale::LongFormat) + QLatin1Char('/') +
           QString::number(number) + QLatin1Char(':') + message;
}

void ErrorLog::WriteErrorLog(const QString& message, int32_t number) const {
    QFile file(filePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return;
    }
    // The file is 8-bit text; Latin-1 keeps every byte the program read as it was.
    file.write(entryText(message, number).toLatin1() + "\r\n");
}

bool logsFailures(const MainWindow& main) {
    return main.logErrors->value() > 0;
}

bool logsTrace(const MainWindow& main) {
    return main.logErrors->value() == 1;
}
