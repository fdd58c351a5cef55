#pragma once

#include "sound/SoundSystem.h"

#include <QStringList>

// The OpenAL output devices at the time of the call; a device's name is both its
// description and its identifier.
class OpenALEnum : public SoundEnum {
public:
    OpenALEnum();

    int32_t GetCount() override;
    QString GetDescription(int32_t index) override;
    QString GetGuid(int32_t index) override;

private:
    const QString& at(int32_t index) const;

    QStringList names_;
};
