#include "Slider.h"

#include "Failure.h"

Slider::Slider(int min, int max, int smallStep, int largeStep, int initial, QWidget* parent)
    : QSlider(Qt::Horizontal, parent) {
    setRange(min, max);
    setSingleStep(smallStep);
    setPageStep(largeStep);
    setValue(initial);
}

void Slider::setValueChecked(int value) {
    if (value < minimum() || value > maximum()) {
        throw Failure::invalidPropertyValue();
    }
    setValue(value);
}
