#include "ComboList.h"

#include "Failure.h"

ComboList::ComboList(QWidget* parent) : QComboBox(parent) {
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
}

int16_t ComboList::listIndex() const {
    return static_cast<int16_t>(currentIndex());
}

void ComboList::setListIndex(int index) {
    if (index < -1 || index >= count()) {
        throw Failure::invalidPropertyValue();
    }
    setCurrentIndex(index);
}
