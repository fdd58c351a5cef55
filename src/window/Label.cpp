#include "Label.h"

#include <QPalette>

Label::Label(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
    setTextFormat(Qt::PlainText);
}

void Label::setCaption(const QString& caption) {
    if (caption == text()) {
        return;
    }
    setText(caption);
    emit changed();
}

void Label::setForeColor(uint32_t bgr) {
    foreColor_ = bgr;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF));
    setPalette(pal);
}
