#include "XDisplay.h"
#include "support/Eventually.h"
#include "support/ProgramRun.h"

#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Minimises the window with the window manager, waits until it is hidden behind its icon
// and presses the mouse button on the icon.
void minimiseAndPressTheIcon(const XDisplay& display, const QString& window,
                             const QString& button) {
    display.run(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), window});
    std::optional<QString> icon;
    ASSERT_TRUE(eventually(
        [&] {
            icon = display.trayIcon(QStringLiteral("Staticor"));
            return icon.has_value() && !display.isViewable(window);
        },
        5000))
        << "the window was not hidden behind an icon";
    QThread::msleep(300); // the icon takes clicks once it is embedded and drawn
    const auto where = display.centreOf(*icon);
    ASSERT_TRUE(where.has_value());
    display.run(QStringLiteral("xdotool"),
                {QStringLiteral("mousemove"), QString::number(where->first),
                 QString::number(where->second), QStringLiteral("click"), button});
}

class TrayE2E : public testing::TestWithParam<int> {};

// Minimise to the notification area, then bring the window back with a press of the given
// mouse button on the icon, on a real X server with a real notification area.
TEST_P(TrayE2E, MinimisingHidesBehindTheIconAndAPressOnItRestores) {
    const QString button = QString::number(GetParam());
    XDisplay display;
    ASSERT_TRUE(display.ready()) << "Xvfb with IceWM could not be started";
    ProgramRun run;
    run.useDisplay(display.name());
    QProcess& program = run.start();

    const auto window = display.waitForWindow(QStringLiteral("^Staticor v"), 10000);
    ASSERT_TRUE(window.has_value());
    const QString sizeBefore =
        display.run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), *window})
            .section(QStringLiteral("Geometry:"), 1);
    EXPECT_FALSE(display.trayIcon(QStringLiteral("Staticor")).has_value());

    ASSERT_NO_FATAL_FAILURE(minimiseAndPressTheIcon(display, *window, button));

    EXPECT_TRUE(eventually([&] { return display.isViewable(*window); }, 5000));
    EXPECT_TRUE(eventually(
        [&] { return !display.trayIcon(QStringLiteral("Staticor")).has_value(); }, 5000));
    EXPECT_EQ(display.run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), *window})
                  .section(QStringLiteral("Geometry:"), 1),
              sizeBefore);
    EXPECT_EQ(program.state(), QProcess::Running) << "the program did not survive the press";

    // The close box still ends the program in order.
    display.run(QStringLiteral("wmctrl"), {QStringLiteral("-c"), QStringLiteral("Staticor v")});
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(run.readFile(QStringLiteral("config.cfg")).startsWith("# STATICOR"));
}

// With a dialog open, the window can still be minimised; the icon must still bring it back,
// and the dialog with it.
TEST(TrayE2EWithDialog, TheIconBringsBackTheWindowAndItsOpenDialog) {
    XDisplay display;
    ASSERT_TRUE(display.ready()) << "Xvfb with IceWM could not be started";
    ProgramRun run;
    run.useDisplay(display.name());
    QProcess& program = run.start();
    const auto window = display.waitForWindow(QStringLiteral("^Staticor v"), 10000);
    ASSERT_TRUE(window.has_value());

    // Help, then About, with the mouse.
    std::optional<QString> about;
    ASSERT_TRUE(eventually(
        [&] {
            display.run(QStringLiteral("xdotool"),
                        {QStringLiteral("mousemove"), QStringLiteral("--window"), *window,
                         QStringLiteral("79"), QStringLiteral("8"), QStringLiteral("click"),
                         QStringLiteral("1")});
            QThread::msleep(400);
            display.run(QStringLiteral("xdotool"),
                        {QStringLiteral("mousemove"), QStringLiteral("--window"), *window,
                         QStringLiteral("109"), QStringLiteral("51"), QStringLiteral("click"),
                         QStringLiteral("1")});
            about = display.waitForWindow(QStringLiteral("^About$"), 2000);
            return about.has_value();
        },
        10000))
        << "the About window did not open";

    ASSERT_NO_FATAL_FAILURE(minimiseAndPressTheIcon(display, *window, QStringLiteral("1")));
    EXPECT_TRUE(eventually([&] { return display.isViewable(*window); }, 5000));
    EXPECT_TRUE(eventually([&] { return display.isViewable(*about); }, 5000));

    display.run(QStringLiteral("wmctrl"), {QStringLiteral("-c"), QStringLiteral("About")});
    EXPECT_TRUE(eventually([&] { return !display.isViewable(*about); }, 5000));
    display.run(QStringLiteral("wmctrl"), {QStringLiteral("-c"), QStringLiteral("Staticor v")});
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(Buttons, TrayE2E, testing::Values(1, 3),
                         [](const testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? "LeftButton" : "RightButton";
                         });

} // namespace
