#include "SystrayMod.h"

#include "MainWindow.h"

#include <QApplication>
#include <QTimer>

SystrayMod::SystrayMod(MainWindow& main) : QObject(&main), main_(main) {
    icon_.setIcon(main.windowIcon());
    icon_.setToolTip(QStringLiteral("Staticor"));
    connect(&icon_, &QSystemTrayIcon::activated, this, &SystrayMod::iconActivated);
}

void SystrayMod::Resize() {
    if (main_.isMinimized()) {
        // Without a notification area the window stays minimised on the task bar: hidden,
        // it could never be brought back.
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            // Hiding inside the state change itself confuses some window managers.
            QTimer::singleShot(0, this, &SystrayMod::hideBehindIcon);
        }
    } else {
        // Also on the first display and on every size change: harmless without an icon.
        // Queued, because hiding the icon inside its own click handler crashes Qt under X11.
        QTimer::singleShot(0, this, &SystrayMod::removeIcon);
    }
}

void SystrayMod::iconActivated(QSystemTrayIcon::ActivationReason reason) {
    // Trigger is the left button, Context the right one; movement and the other buttons
    // do nothing.
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::Context) {
        return;
    }
    // Back in the normal state, whatever state the window had before it was minimised.
    main_.setWindowState(Qt::WindowNoState);
    main_.show();
    main_.raise();
    main_.activateWindow();
    // A dialog that was open comes back with the window, in front of it.
    if (QWidget* dialog = QApplication::activeModalWidget()) {
        dialog->setWindowState(dialog->windowState() & ~Qt::WindowMinimized);
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    }
}

void SystrayMod::hideBehindIcon() {
    if (!main_.isMinimized()) {
        return; // restored again before the queued call ran
    }
    main_.hide();
    icon_.setIcon(main_.windowIcon());
    icon_.show();
}

void SystrayMod::removeIcon() {
    if (main_.isMinimized() && !main_.isVisible()) {
        return; // minimised again before the queued call ran: the icon is its way back
    }
    icon_.hide();
}
