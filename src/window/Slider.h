#pragma once

#include <QSlider>

// A horizontal slider that refuses a value outside its range (failure 380) instead of clamping.
// valueChanged is its change event: raised for the user's moves and for set values alike.
class Slider : public QSlider {
    Q_OBJECT

public:
    Slider(int min, int max, int smallStep, int largeStep, int initial, QWidget* parent = nullptr);

    void setValueChecked(int value);
};
