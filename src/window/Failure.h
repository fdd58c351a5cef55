#pragma once

#include <QString>
#include <cstdint>
#include <exception>

// A failure as the program reports it: an error number and a description.
// Trap sites catch it, log "Label: " + description + " " with the number, and go on.
class Failure : public std::exception {
public:
    Failure(int32_t number, QString description)
        : number_(number), description_(std::move(description)), what_(description_.toUtf8()) {}

    int32_t number() const { return number_; }
    const QString& description() const { return description_; }
    const char* what() const noexcept override { return what_.constData(); }

    // The failures raised by the program's own controls and conversions.
    static Failure invalidPropertyValue() {
        return {380, QStringLiteral("Invalid property value")};
    }
    static Failure overflow() { return {6, QStringLiteral("Overflow")}; }

private:
    int32_t number_;
    QString description_;
    QByteArray what_;
};

// Not a failure: the program must end now, without the orderly shutdown
// (the sound device could not be started). Caught only where the event loop is entered.
struct EndProgram {
    int exitCode = 1;
};

// 16-bit conversion that refuses what does not fit, as the settings variables need.
inline int16_t toInt16(long long value) {
    if (value < INT16_MIN || value > INT16_MAX) {
        throw Failure::overflow();
    }
    return static_cast<int16_t>(value);
}
