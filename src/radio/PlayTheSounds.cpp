#include "PlayTheSounds.h"

#include "EffectTimers.h"
#include "sound/DX7Sound.h"
#include "window/MainWindow.h"

PlayTheSounds::PlayTheSounds(MainWindow& main, DX7Sound& sound) : main_(main), sound_(sound) {}

void PlayTheSounds::PlayMicClick() {
    Vars& vars = main_.vars;
    if (vars.clickHoldOff) {
        return;
    }
    sound_.DX7PlayOnce(EffectTimers::kClickSlot);
    vars.txSoundPlayed = false;
    vars.clickHoldOff = true;
    main_.MicClickTimer->setInterval(kHoldOffMs);
}
