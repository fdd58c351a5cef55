#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;

// A check box holding 0 (unticked), 1 (ticked) or 2 (greyed). A click toggles between
// unticked and ticked; a value outside 0..2 is refused (failure 380).
// The caption wraps within the box, so long captions stay readable at their given size.
class CheckBox : public QWidget {
    Q_OBJECT

public:
    CheckBox(const QString& caption, QWidget* parent = nullptr);

    int value() const;
    void setValue(int value);
    QString caption() const;

    // Acts as a user's click on the box.
    void click();

signals:
    void valueChanged(int value);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QCheckBox* box_;
    QLabel* label_;
};
