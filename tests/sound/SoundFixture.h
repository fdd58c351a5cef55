#pragma once

#include "config/ErrorLog.h"
#include "sound/DX7Sound.h"
#include "support/FakeSoundSystem.h"
#include "support/TempDir.h"
#include "window/MainWindow.h"

#include <QDateTime>
#include <QLocale>
#include <gtest/gtest.h>

// The engine on a recording fake, with a main window, a log at a fixed time and the
// message box recorded instead of shown.
class SoundFixture : public ::testing::Test {
protected:
    SoundFixture() {
        main.setProgramDirectory(dir.path());
        main.messageBox = [this](const QString&, const QString& text, QMessageBox::Icon) {
            messages.append(text);
        };
        fake.attach(engine);
    }

    // The lines of errorlog.txt, in the locale's 8-bit encoding as the program writes them.
    QStringList logLines() const {
        QStringList out;
        for (const QByteArray& line : dir.lines(QStringLiteral("errorlog.txt"))) {
            out.append(QString::fromLocal8Bit(line));
        }
        return out;
    }
    QString entry(const QString& message, int32_t number) const {
        return log.entryText(message, number);
    }

    TempDir dir;
    MainWindow main;
    ErrorLog log{dir.path(), QLocale::c(),
                 [] { return QDateTime(QDate(2026, 12, 6), QTime(21, 5, 33)); }};
    FakeSoundSystem fake;
    DX7Sound engine{main, fake, log};
    QStringList messages;
};
