#pragma once

class DX7Sound;
class MainWindow;

// The closing microphone click, at most once a second.
class PlayTheSounds {
public:
    static constexpr int kHoldOffMs = 1000;

    PlayTheSounds(MainWindow& main, DX7Sound& sound);

    // Plays the click unless one was played less than a second ago; a click that plays also
    // ends the current transmission's TX state.
    void PlayMicClick();

private:
    MainWindow& main_;
    DX7Sound& sound_;
};
