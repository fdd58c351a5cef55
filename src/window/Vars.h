#pragma once

#include <QString>
#include <cstdint>

// The program's module-level variables: one instance for the whole run, held by the main
// window that every part of the program reaches.
struct Vars {
    // Settings, read from config.cfg at start-up.
    QString excludedCallsigns;
    QString clickSoundFile;
    QString noiseSoundFile;
    QString txSoundFile;
    int16_t playTxSound = 0;
    int16_t bugTracking = 0;
    int16_t soundDeviceIndex = 0;
    int16_t sensitivity = 0; // milliseconds

    // config.cfg was there at start-up but could not be read: its settings never reached the
    // program, so closing leaves the file as it is instead of writing the initial values over it.
    bool configUnreadable = false;

    // The connection state last shown in the status labels (-1 unknown, 0 not running,
    // 1 running, 2 connected).
    int lastConnectionState = 0;

    // State of the radio effect.
    int16_t lastSpeakerCount = 0;
    bool txSoundPlayed = false;
    bool clickHoldOff = false;
};
