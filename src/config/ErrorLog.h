#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <functional>

// errorlog.txt in the program directory. Each entry is appended on its own, opened and closed
// per call: date "/" time "/" number ":" message, CR LF. The caller decides whether logging is on.
class ErrorLog {
public:
    using Clock = std::function<QDateTime()>;

    explicit ErrorLog(QString directory, QLocale locale = QLocale::system(),
                      Clock clock = &QDateTime::currentDateTime);

    // Appends one entry. A log that cannot be written drops the entry silently.
    void WriteErrorLog(const QString& message, int32_t number) const;

    QString filePath() const;
    QString entryText(const QString& message, int32_t number) const;

private:
    QString directory_;
    QLocale locale_;
    Clock clock_;
};
