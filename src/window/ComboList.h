#pragma once

#include <QComboBox>
#include <cstdint>

// A drop-down list whose selected index is 16-bit: 0 is the first entry, -1 no selection.
// Selecting an index that is not in the list is refused (failure 380).
class ComboList : public QComboBox {
    Q_OBJECT

public:
    explicit ComboList(QWidget* parent = nullptr);

    int16_t listIndex() const;
    void setListIndex(int index);
};
