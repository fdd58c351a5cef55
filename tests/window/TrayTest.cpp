#include "window/MainWindow.h"
#include "window/SystrayMod.h"

#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

namespace {

void runQueuedCalls() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
    }
}

// The offscreen platform has no notification area: there a minimised window must stay
// minimised and reachable, never be hidden.
TEST(TrayWithoutNotificationArea, MinimisingMinimisesAndHidesNothing) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    MainWindow main;
    SystrayMod& tray = *new SystrayMod(main); // owned by the window
    main.show();
    main.showMinimized();
    tray.Resize();
    runQueuedCalls();
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(tray.iconShown());
}

TEST(TrayIcon, CarriesTheProgramsTipAndIcon) {
    MainWindow main;
    SystrayMod& tray = *new SystrayMod(main);
    EXPECT_EQ(tray.icon().toolTip(), QStringLiteral("Staticor"));
    EXPECT_FALSE(tray.icon().icon().isNull());
}

TEST(TrayIcon, OnlyTheLeftAndRightButtonsRestoreTheWindow) {
    MainWindow main;
    SystrayMod& tray = *new SystrayMod(main); // owned by the window
    main.show();
    main.hide();
    tray.iconActivated(QSystemTrayIcon::DoubleClick);
    tray.iconActivated(QSystemTrayIcon::MiddleClick);
    EXPECT_FALSE(main.isVisible());
    tray.iconActivated(QSystemTrayIcon::Context);
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(main.isMinimized());
    main.hide();
    tray.iconActivated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(main.isVisible());
}

TEST(TrayIcon, AWindowMaximisedBeforeItWasMinimisedComesBackNormal) {
    MainWindow main;
    SystrayMod& tray = *new SystrayMod(main);
    main.showMaximized();
    runQueuedCalls();
    main.setWindowState(main.windowState() | Qt::WindowMinimized);
    runQueuedCalls();
    main.hide();
    tray.iconActivated(QSystemTrayIcon::Trigger);
    runQueuedCalls();
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(main.windowState(), Qt::WindowNoState);
}

} // namespace
