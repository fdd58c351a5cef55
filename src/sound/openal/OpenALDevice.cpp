#include "OpenALDevice.h"

#include "OpenALBuffer.h"
#include "OpenALOutput.h"
#include "WaveFile.h"
#include "window/Failure.h"

OpenALDevice::OpenALDevice(std::shared_ptr<OpenALOutput> output) : output_(std::move(output)) {}

std::unique_ptr<OpenALDevice> OpenALDevice::openLoopback(int sampleRate) {
    return std::make_unique<OpenALDevice>(OpenALOutput::openLoopback(sampleRate));
}

void OpenALDevice::SetCooperativeLevel(QWidget* /*window*/, int32_t level) {
    if (level < 1 || level > 3) {
        throw Failure(dsound::kErrInvalidParam, QStringLiteral("An invalid parameter was passed"));
    }
}

std::unique_ptr<SoundBuffer>
OpenALDevice::CreateSoundBufferFromFile(const QString& fileName,
                                        const BufferDescription& /*description*/,
                                        const WaveFormat& /*format*/) {
    // The file's own format decides; the format record is what DirectSound would ignore for
    // a file with a header too.
    return std::make_unique<OpenALBuffer>(output_, WaveFile::read(fileName));
}
