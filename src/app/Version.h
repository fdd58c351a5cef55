#pragma once

#include <QString>

// The program's version: the title, the About window and the package show it.
struct ProgramVersion {
    int major;
    int minor;
    int revision;

    QString text() const {
        return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(revision);
    }
};

inline constexpr ProgramVersion kProgramVersion{1, 0, 4};

inline QString mainWindowTitle(const ProgramVersion& version = kProgramVersion) {
    return QStringLiteral("Staticor v") + version.text();
}
