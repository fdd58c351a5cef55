#pragma once

#include <QLabel>
#include <cstdint>

// A label whose caption change raises its change event only when the text differs.
// The change event runs synchronously, inside the assignment.
class Label : public QLabel {
    Q_OBJECT

public:
    Label(const QString& caption, QWidget* parent = nullptr);

    QString caption() const { return text(); }
    void setCaption(const QString& caption);

    // Colour as 0x00BBGGRR.
    void setForeColor(uint32_t bgr);
    uint32_t foreColor() const { return foreColor_; }

signals:
    void changed();

private:
    uint32_t foreColor_ = 0;
};
