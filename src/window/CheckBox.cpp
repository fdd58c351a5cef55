#include "CheckBox.h"

#include "Failure.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>

namespace {
// A click leaves the greyed state for ticked, and otherwise toggles.
class TwoWayTristateBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {
        setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
};
} // namespace

CheckBox::CheckBox(const QString& caption, QWidget* parent)
    : QWidget(parent), box_(new TwoWayTristateBox(this)), label_(new QLabel(caption, this)) {
    box_->setTristate(true);
    box_->setCheckState(Qt::Unchecked);
    label_->setWordWrap(true);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(box_, 0, Qt::AlignVCenter);
    layout->addWidget(label_, 1);
    setFocusProxy(box_);
    connect(box_, &QCheckBox::stateChanged, this, [this] { emit valueChanged(value()); });
}

int CheckBox::value() const {
    switch (box_->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    }
    return 0;
}

void CheckBox::setValue(int value) {
    switch (value) {
    case 0:
        box_->setCheckState(Qt::Unchecked);
        break;
    case 1:
        box_->setCheckState(Qt::Checked);
        break;
    case 2:
        box_->setCheckState(Qt::PartiallyChecked);
        break;
    default:
        throw Failure::invalidPropertyValue();
    }
}

QString CheckBox::caption() const {
    return label_->text();
}

void CheckBox::click() {
    box_->click();
}

void CheckBox::mousePressEvent(QMouseEvent* event) {
    // A press on the caption acts as a press on the box.
    if (event->button() == Qt::LeftButton) {
        box_->click();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}
