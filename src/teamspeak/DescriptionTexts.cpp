#include "DescriptionTexts.h"

#include <utility>

namespace DescriptionTexts {
namespace {

struct BitText {
    int32_t bit;
    const char* text;
};

template <size_t N> QString joined(int32_t mask, const BitText (&table)[N]) {
    QString text;
    for (const BitText& entry : table) {
        if (mask & entry.bit) {
            text += QLatin1String(entry.text);
        }
    }
    return text;
}

constexpr BitText kChannelPrivileges[] = {
    {1, "Admin,"}, {2, "Operator,"}, {4, "Auto-Operator,"}, {8, "Voice,"}, {16, "Auto-Voice,"}};

constexpr BitText kPlayerPrivileges[] = {
    {1, "SuperServerAdmin,"}, {2, "ServerAdmin,"}, {4, "CanRegister,"}};

constexpr BitText kPlayerFlags[] = {
    {1, "ChannelCommander,"}, {2, "WantVoice,"},    {4, "NoWhisper,"}, {8, "Away,"},
    {16, "InputMuted,"},      {32, "OutputMuted,"}, {64, "Recording,"}};

constexpr BitText kCodecs[] = {
    {1, "Celp 5.1, "},     {2, "Celp 6.3, "},     {4, "GSM 14.8, "},      {8, "GSM 16.4, "},
    {16, "WCELP 5.2, "},   {32, "Speex 3.4, "},   {64, "Speex 5.2, "},    {128, "Speex 7.2, "},
    {256, "Speex 9.3, "},  {512, "Speex 12.3, "}, {1024, "Speex 16.3, "}, {2048, "Speex 19.5, "},
    {4096, "Speex 25.9, "}};

// Drops the trailing comma; an empty list reads "none".
QString commaListOrNone(QString text) {
    if (text.isEmpty()) {
        return QStringLiteral("none");
    }
    text.chop(1);
    return text;
}

} // namespace

QString ChannelPrivileges(int32_t mask) {
    return commaListOrNone(joined(mask, kChannelPrivileges));
}

QString PlayerPrivileges(int32_t mask) {
    return joined(mask, kPlayerPrivileges) +
           ((mask & 8) ? QStringLiteral("Registered") : QStringLiteral("Unregistered"));
}

QString PlayerFlags(int32_t mask) {
    return commaListOrNone(joined(mask, kPlayerFlags));
}

QString ServerType(int32_t mask) {
    QString text;
    if (mask & 4) {
        text = QStringLiteral("Freeware");
    }
    if (mask & 8) {
        text = QStringLiteral("Commercial");
    }
    if (mask & 1) {
        text += QStringLiteral(" Clan server");
    }
    if (mask & 2) {
        text += QStringLiteral(" Public Server");
    }
    return text;
}

QString Codecs(int32_t mask) {
    QString text = joined(mask, kCodecs);
    text.chop(2); // the trailing ", "; chopping an empty text leaves it empty
    return text;
}

} // namespace DescriptionTexts
