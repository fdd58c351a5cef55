#pragma once

#include <QByteArray>

// Without a display or a sound card: the offscreen platform and OpenAL Soft's null device,
// unless the environment names others. Call before the application object is made.
inline void useHeadlessDefaults() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("ALSOFT_DRIVERS")) {
        qputenv("ALSOFT_DRIVERS", "null");
    }
}
