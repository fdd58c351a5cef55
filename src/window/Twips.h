#pragma once

// Lengths on the window are given in twips; 15 twips make one device-independent pixel.
inline constexpr int kTwipsPerPixel = 15;

constexpr int px(int twips) {
    return twips / kTwipsPerPixel;
}
