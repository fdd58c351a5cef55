#include "ErrorLog.h"

#include "RegularFile.h"
#include "window/MainWindow.h"

#include <QDir>
#include <QFile>

namespace {

bool isOpeningBracket(QChar c) {
    return c == QLatin1Char('(') || c == QLatin1Char('[');
}
QChar closingBracket(QChar opening) {
    return opening == QLatin1Char('(') ? QLatin1Char(')') : QLatin1Char(']');
}

// The locale's long time format without its time zone ("t", "tttt" and the like): the zone
// goes with brackets directly around it and with the blanks and the comma that set it off
// from the time, those after it when it comes first. Quoted text is kept as it is.
QString withoutTimeZone(const QString& format) {
    QString out;
    bool quoted = false;
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) {
            quoted = !quoted; // a doubled quote leaves and enters again
        }
        if (quoted || c != QLatin1Char('t')) {
            out += c;
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < format.size() && format[end] == QLatin1Char('t')) {
            ++end;
        }
        if (!out.isEmpty() && isOpeningBracket(out.back()) && end < format.size() &&
            format[end] == closingBracket(out.back())) {
            out.chop(1);
            ++end;
        }
        while (!out.isEmpty() && (out.back().isSpace() || out.back() == QLatin1Char(','))) {
            out.chop(1);
        }
        if (out.isEmpty()) {
            while (end < format.size() && format[end].isSpace()) {
                ++end;
            }
        }
        i = end;
    }
    return out;
}

// Texts from outside (a nickname, a library's error text) must not start lines of their own.
QString onOneLine(QString text) {
    for (QChar& c : text) {
        if (c.unicode() < 32 || c.unicode() == 127) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

} // namespace

ErrorLog::ErrorLog(QString directory, QLocale locale, Clock clock)
    : directory_(std::move(directory)), locale_(std::move(locale)),
      timeFormat_(withoutTimeZone(locale_.timeFormat(QLocale::LongFormat))),
      clock_(std::move(clock)) {}

QString ErrorLog::filePath() const {
    return QDir(directory_).filePath(QStringLiteral("errorlog.txt"));
}

QString ErrorLog::entryText(const QString& message, int32_t number) const {
    const QDateTime now = clock_();
    return locale_.toString(now.date(), QLocale::ShortFormat) + QLatin1Char('/') +
           locale_.toString(now.time(), timeFormat_) + QLatin1Char('/') + QString::number(number) +
           QLatin1Char(':') + onOneLine(message);
}

void ErrorLog::WriteErrorLog(const QString& message, int32_t number) const {
    QFile file;
    if (openRegularFile(file, filePath(), QIODevice::WriteOnly | QIODevice::Append) !=
        RegularFileOpen::Opened) {
        return;
    }
    // The file is 8-bit text in the locale's encoding, as are the texts the program read, so
    // the locale's own date and time and a nickname come out as they were.
    file.write(entryText(message, number).toLocal8Bit() + "\r\n");
}

bool logsFailures(const MainWindow& main) {
    return main.logErrors->value() > 0;
}

bool logsTrace(const MainWindow& main) {
    return main.logErrors->value() == 1;
}
