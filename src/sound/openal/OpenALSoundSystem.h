#pragma once

#include "sound/SoundSystem.h"

#include <QString>
#include <map>
#include <memory>

class OpenALOutput;

// The sound system on OpenAL Soft, decoding files with libsndfile.
class OpenALSoundSystem : public SoundSystem {
public:
    std::unique_ptr<SoundEnum> GetDSEnum() override;
    // A new device object on every call. A device that is still open (its buffers of the
    // previous table live until the table is rebuilt) is shared rather than opened twice,
    // which a hardware device might refuse.
    std::unique_ptr<SoundDevice> DirectSoundCreate(const QString& guid) override;

private:
    std::map<QString, std::weak_ptr<OpenALOutput>> open_;
};
