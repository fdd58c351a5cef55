#pragma once

class DX7Sound;
class ErrorLog;
class MainWindow;
class PlayTheSounds;

// The radio effect: compares the speaker list from tick to tick and plays the TX sound at
// the start of a transmission, keeps the noise looping during it and clicks at its end.
// None of the handlers yields or traps: a failure abandons the rest of that tick only.
class EffectTimers {
public:
    // The sound slots the effect plays.
    static constexpr short kClickSlot = 4;
    static constexpr short kNoiseSlot = 5;
    static constexpr short kTxSlot = 6;

    EffectTimers(MainWindow& main, DX7Sound& sound, PlayTheSounds& clicks, const ErrorLog& log);

    void CheckTimer_Timer();
    void NoiseTimer_Timer();
    void MicClickTimer_Timer();
    void Sense_Change();

private:
    MainWindow& main_;
    DX7Sound& sound_;
    PlayTheSounds& clicks_;
    const ErrorLog& log_;
};
