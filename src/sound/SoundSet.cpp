#include "SoundSet.h"

#include "DX7Sound.h"
#include "window/Failure.h"
#include "window/MainWindow.h"

namespace SoundSet {

namespace {
uint8_t toByte(int value) {
    if (value < 0 || value > 255) {
        throw Failure::overflow();
    }
    return static_cast<uint8_t>(value);
}
} // namespace

void Apply(MainWindow& main, DX7Sound& sound) {
    const Vars& vars = main.vars;
    sound.SetupDX7Sound(main);
    sound.SetSoundPath(main.programDirectory());
    sound.CreateBuffers(kUpperSlot, QLatin1String(kFillSound));
    sound.DX7PlaySound(vars.clickSoundFile, 100, 50, 0);

    sound.DX7LoadSound(kClickSlot, vars.clickSoundFile);
    sound.DX7SetVolume(kClickSlot, toByte(main.MicVol->value()));
    // The TX sound shares the click's slider.
    sound.DX7LoadSound(kTxSlot, vars.txSoundFile);
    sound.DX7SetVolume(kTxSlot, toByte(main.MicVol->value()));
    sound.DX7LoadSound(kNoiseSlot, vars.noiseSoundFile);
    sound.DX7SetVolume(kNoiseSlot, toByte(main.NoiseVol->value()));

    main.MainTimer->setInterval(kPollInterval);
}

} // namespace SoundSet
