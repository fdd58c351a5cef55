#pragma once

#include <QObject>
#include <QSystemTrayIcon>

class MainWindow;

// The notification-area icon: minimising the main window hides it behind the icon, and a
// press of the left or the right button on the icon brings it back.
class SystrayMod : public QObject {
    Q_OBJECT

public:
    explicit SystrayMod(MainWindow& main);

    // The window's size or state changed.
    void Resize();
    // The user pressed a mouse button on the icon.
    void iconActivated(QSystemTrayIcon::ActivationReason reason);

    bool iconShown() const { return icon_.isVisible(); }
    QSystemTrayIcon& icon() { return icon_; }

private:
    void hideBehindIcon();
    void removeIcon();

    MainWindow& main_;
    QSystemTrayIcon icon_;
};
