#include "OpenALSoundSystem.h"

#include "OpenALDevice.h"
#include "OpenALEnum.h"
#include "OpenALOutput.h"

std::unique_ptr<SoundEnum> OpenALSoundSystem::GetDSEnum() {
    return std::make_unique<OpenALEnum>();
}

std::unique_ptr<SoundDevice> OpenALSoundSystem::DirectSoundCreate(const QString& guid) {
    std::shared_ptr<OpenALOutput> output = open_[guid].lock();
    if (!output) {
        output = OpenALOutput::open(guid);
        open_[guid] = output;
    }
    return std::make_unique<OpenALDevice>(std::move(output));
}
