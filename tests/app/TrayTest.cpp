#include "app/MainWindow.h"
#include "app/Program.h"
#include "app/SystrayMod.h"
#include "support/TempDir.h"

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
    TempDir dir;
    Program program(dir.path());
    MainWindow& main = program.main();
    main.show();
    main.showMinimized();
    program.tray().Resize();
    runQueuedCalls();
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(program.tray().iconShown());
}

TEST(TrayIcon, CarriesTheProgramsTipAndIcon) {
    TempDir dir;
    Program program(dir.path());
    EXPECT_EQ(program.tray().icon().toolTip(), QStringLiteral("Staticor"));
    EXPECT_FALSE(program.tray().icon().icon().isNull());
}

TEST(TrayIcon, OnlyTheLeftAndRightButtonsRestoreTheWindow) {
    TempDir dir;
    Program program(dir.path());
    MainWindow& main = program.main();
    main.show();
    main.hide();
    program.tray().iconActivated(QSystemTrayIcon::DoubleClick);
    program.tray().iconActivated(QSystemTrayIcon::MiddleClick);
    EXPECT_FALSE(main.isVisible());
    program.tray().iconActivated(QSystemTrayIcon::Context);
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(main.isMinimized());
    main.hide();
    program.tray().iconActivated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(main.isVisible());
}

} // namespace
