#include "StatusBar.h"

#include "Failure.h"
#include "Twips.h"

#include <QLabel>
#include <algorithm>

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent), panel1_(new QLabel(this)) {
    setSizeGripEnabled(false);
    // 255 twips high, or as high as the system's font needs to show "TX: EDDH_TWR" whole.
    setFixedHeight(std::max(px(255), fontMetrics().height() + 8));
    panel1_->setFrameShape(QFrame::Panel);
    panel1_->setFrameShadow(QFrame::Sunken);
    panel1_->setTextFormat(Qt::PlainText);
    addWidget(panel1_, 1);
    setContentsMargins(0, 0, 0, 0);
}

QString StatusBar::panelText(int panel) const {
    if (panel != 1) {
        throw Failure(35600, QStringLiteral("Index out of bounds"));
    }
    return panel1_->text();
}

void StatusBar::setPanelText(int panel, const QString& text) {
    if (panel != 1) {
        throw Failure(35600, QStringLiteral("Index out of bounds"));
    }
    panel1_->setText(text);
}
