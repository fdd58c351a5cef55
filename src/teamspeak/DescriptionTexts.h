#pragma once

#include <QString>
#include <cstdint>

// The texts that describe the records' bit masks. Bits without a text are ignored.
namespace DescriptionTexts {

// "Admin,Voice", or "none" when no listed bit is set.
QString ChannelPrivileges(int32_t mask);
// The listed rights, then "Registered" or "Unregistered" (bit 8); never empty.
QString PlayerPrivileges(int32_t mask);
// "Away,InputMuted", or "none".
QString PlayerFlags(int32_t mask);
// "Freeware" or "Commercial", then " Clan server" and " Public Server"; may be empty.
QString ServerType(int32_t mask);
// "Celp 5.1, Speex 3.4"; may be empty.
QString Codecs(int32_t mask);

} // namespace DescriptionTexts
