#pragma once

#include <QByteArray>
#include <QString>

// The records' 8-bit texts: the locale's encoding, cut to a field's width at a character
// boundary (a nickname to 29 bytes, so that its terminating zero fits).
namespace eightBit {

inline constexpr int kNicknameBytes = 29;
inline constexpr int kServerNameBytes = 30;
inline constexpr int kPlatformBytes = 30;
inline constexpr int kAddressBytes = 30;
inline constexpr int kWelcomeBytes = 256;
inline constexpr int kHostNameBytes = 100;

// text in the locale's 8-bit encoding, at most maxBytes long, never ending in part of a
// character.
QByteArray cut(const QString& text, int maxBytes);

} // namespace eightBit
