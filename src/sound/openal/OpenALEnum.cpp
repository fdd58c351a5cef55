#include "OpenALEnum.h"

#include "window/Failure.h"

#include <AL/alc.h>

#ifndef ALC_ALL_DEVICES_SPECIFIER
#define ALC_ALL_DEVICES_SPECIFIER 0x1013
#endif

OpenALEnum::OpenALEnum() {
    const ALCenum which = alcIsExtensionPresent(nullptr, "ALC_ENUMERATE_ALL_EXT")
                              ? ALC_ALL_DEVICES_SPECIFIER
                              : ALC_DEVICE_SPECIFIER;
    // A list of names, each ended by a zero byte, the list by an empty name.
    const ALCchar* list = alcGetString(nullptr, which);
    while (list != nullptr && *list != '\0') {
        const QByteArray name(list);
        names_.append(QString::fromUtf8(name));
        list += name.size() + 1;
    }
}

int32_t OpenALEnum::GetCount() {
    return static_cast<int32_t>(names_.size());
}

const QString& OpenALEnum::at(int32_t index) const {
    if (index < 1 || index > names_.size()) {
        throw Failure(dsound::kErrInvalidParam, QStringLiteral("An invalid parameter was passed"));
    }
    return names_[index - 1];
}

QString OpenALEnum::GetDescription(int32_t index) {
    return at(index);
}
QString OpenALEnum::GetGuid(int32_t index) {
    return at(index);
}
