#include "EffectTimers.h"

#include "PlayTheSounds.h"
#include "config/ErrorLog.h"
#include "sound/DX7Sound.h"
#include "window/Failure.h"
#include "window/MainWindow.h"

EffectTimers::EffectTimers(MainWindow& main, DX7Sound& sound, PlayTheSounds& clicks,
                           const ErrorLog& log)
    : main_(main), sound_(sound), clicks_(clicks), log_(log) {}

void EffectTimers::CheckTimer_Timer() {
    Vars& vars = main_.vars;
    // Only the list refresh changes the list, and it never runs inside this tick.
    const int n = main_.lstSpeakers->listCount();
    if (n > 0) {
        if (!vars.txSoundPlayed) {
            vars.txSoundPlayed = true;
            if (main_.TXpl->value() > 0) {
                sound_.DX7PlayOnce(kTxSlot);
            }
        }
        const QString speaker = main_.lstSpeakers->list(0);
        main_.Status->setPanelText(1, QStringLiteral("TX: ") + speaker);
        if (logsTrace(main_)) {
            log_.WriteErrorLog(QStringLiteral("TX: ") + speaker, 0);
        }
    } else {
        main_.Status->setPanelText(1, QString());
        sound_.DX7StopSound(kNoiseSlot);
    }
    if (n < vars.lastSpeakerCount) {
        clicks_.PlayMicClick();
        // Also when the hold-off swallowed the click: the transmission has ended.
        sound_.DX7StopSound(kNoiseSlot);
    }
    vars.lastSpeakerCount = toInt16(n);
}

void EffectTimers::NoiseTimer_Timer() {
    // Repeated on every tick: a loop that already plays runs on unbroken.
    if (main_.lstSpeakers->listCount() > 0) {
        sound_.DX7PlayLooping(kNoiseSlot);
    }
}

void EffectTimers::MicClickTimer_Timer() {
    main_.vars.clickHoldOff = false;
    main_.MicClickTimer->setInterval(0);
}

void EffectTimers::Sense_Change() {
    Vars& vars = main_.vars;
    vars.sensitivity = toInt16(main_.Sense->value());
    main_.NoiseTimer->setInterval(vars.sensitivity);
    main_.CheckTimer->setInterval(vars.sensitivity);
}
