#pragma once

#include <QStatusBar>

class QLabel;

// The status bar along the window's bottom edge. Panel 1, the only one, shows the current
// transmission.
class StatusBar : public QStatusBar {
    Q_OBJECT

public:
    explicit StatusBar(QWidget* parent = nullptr);

    QString panelText(int panel) const;
    void setPanelText(int panel, const QString& text);

private:
    QLabel* panel1_;
};
