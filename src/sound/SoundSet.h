#pragma once

class DX7Sound;
class MainWindow;

// The Apply action: the sound set at the current settings.
namespace SoundSet {

// Opens the selected device, fills the eleven slots (the fill sound everywhere, then the
// click in 4, the TX sound in 6 and the noise in 5 at the slider volumes), plays the click
// once and starts MainTimer at 50 ms. Traps nothing of its own.
void Apply(MainWindow& main, DX7Sound& sound);

inline constexpr const char* kFillSound = "info.wav";
inline constexpr int kUpperSlot = 10;
inline constexpr int kClickSlot = 4;
inline constexpr int kNoiseSlot = 5;
inline constexpr int kTxSlot = 6;
inline constexpr int kPollInterval = 50;

} // namespace SoundSet
