#include "DialogFrame.h"

#include <QDialog>
#include <QScreen>
#include <algorithm>

void makeFixedDialog(QDialog& dialog, int clientWidth, int clientHeight) {
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog.setFixedSize(clientWidth, clientHeight);
    // Modal to the main window only, not the whole program: the notification-area icon must
    // still take a click that brings back the window while a dialog is open.
    dialog.setWindowModality(Qt::WindowModal);
}

void centreOn(QDialog& dialog, const QWidget& window) {
    const QRect frame = window.frameGeometry();
    QPoint topLeft = frame.center() - QPoint(dialog.width() / 2, dialog.height() / 2);
    // Centred on a window near the screen's edge, the dialog must still be all on screen.
    if (const QScreen* screen = window.screen()) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(std::clamp(topLeft.x(), area.left(),
                                std::max(area.left(), area.right() - dialog.width())));
        topLeft.setY(std::clamp(topLeft.y(), area.top(),
                                std::max(area.top(), area.bottom() - dialog.height())));
    }
    dialog.move(topLeft);
}
