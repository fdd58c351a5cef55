#pragma once

#include <QPlainTextEdit>

// A read-only multi-line text box. Its text is kept exactly as set, line ends included,
// while the box shows each CR LF as one line break.
class TextBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit TextBox(QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);

private:
    QString text_;
};
