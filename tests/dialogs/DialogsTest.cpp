#include "dialogs/frmAbout.h"
#include "dialogs/frmHelp.h"
#include "dialogs/frmOptions.h"
#include "support/QtPrinters.h"
#include "window/MainWindow.h"
#include "window/Maker.h"
#include "window/TextBox.h"
#include "window/Timer.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Runs action on the modal dialog once it is on screen.
void whenModal(std::function<void(QWidget&)> action) {
    QTimer::singleShot(0, [action] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        action(*modal);
    });
}

class PreferencesTest : public testing::Test {
protected:
    PreferencesTest() {
        main.messageBox = [this](const QString& title, const QString& text,
                                 QMessageBox::Icon icon) {
            boxes << title + QLatin1Char('|') + text;
            lastIcon = icon;
        };
        main.show();
    }

    // Opens Preferences, puts text into the box as one change and closes it with the close box.
    void openSetAndClose(const QString& text) {
        frmOptions options(main);
        whenModal([&](QWidget& modal) {
            modal.findChild<QLineEdit*>()->setText(text);
            if (modal.isVisible()) {
                modal.close();
            }
        });
        options.showModal();
    }

    // Opens Preferences, types text into the box and presses the button named, if any.
    void openTypeAndPress(const QString& text, const char* button) {
        frmOptions options(main);
        whenModal([&](QWidget& modal) {
            auto* box = modal.findChild<QLineEdit*>();
            box->clear();
            QTest::keyClicks(box, text);
            if (button != nullptr && modal.isVisible()) {
                for (QPushButton* b : modal.findChildren<QPushButton*>()) {
                    if (b->text() == QLatin1String(button)) {
                        b->click();
                    }
                }
            }
            if (modal.isVisible()) {
                modal.close(); // the close box
            }
        });
        options.showModal();
    }

    MainWindow main;
    QStringList boxes;
    QMessageBox::Icon lastIcon = QMessageBox::NoIcon;
};

TEST_F(PreferencesTest, OkRemovesSpacesAndStoresUpperCase) {
    openTypeAndPress(QStringLiteral("dlh123, dgf1411 ,eddh_twr"), "OK");
    EXPECT_EQ(main.vars.excludedCallsigns, QStringLiteral("DLH123,DGF1411,EDDH_TWR"));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(PreferencesTest, OkOnAnEmptyBoxStoresTheEmptyText) {
    main.vars.excludedCallsigns = QStringLiteral("DLH123");
    openTypeAndPress(QString(), "OK");
    EXPECT_EQ(main.vars.excludedCallsigns, QString());
}

TEST_F(PreferencesTest, CancelAndTheCloseBoxKeepTheStoredList) {
    main.vars.excludedCallsigns = QStringLiteral("DLH123");
    openTypeAndPress(QStringLiteral("edDH_twr"), "Cancel");
    EXPECT_EQ(main.vars.excludedCallsigns, QStringLiteral("DLH123"));
    openTypeAndPress(QStringLiteral("edDH_twr"), nullptr);
    EXPECT_EQ(main.vars.excludedCallsigns, QStringLiteral("DLH123"));
}

TEST_F(PreferencesTest, ALongListIsShownAndStoredWhole) {
    // Past the 32,767 characters a line edit keeps by default.
    QString list;
    for (int i = 0; list.size() < 40000; ++i) {
        list += QStringLiteral("CALL%1,").arg(i);
    }
    main.vars.excludedCallsigns = list;
    frmOptions options(main);
    QString shown;
    whenModal([&](QWidget& modal) {
        shown = modal.findChild<QLineEdit*>()->text();
        for (QPushButton* b : modal.findChildren<QPushButton*>()) {
            if (b->text() == QLatin1String("OK")) {
                b->click();
            }
        }
    });
    options.showModal();
    EXPECT_EQ(shown.size(), list.size());
    EXPECT_EQ(main.vars.excludedCallsigns, list);
}

TEST_F(PreferencesTest, TheBoxShowsTheStoredListWhenOpened) {
    main.vars.excludedCallsigns = QStringLiteral("DLH123,EDDH_TWR");
    frmOptions options(main);
    QString shown;
    whenModal([&](QWidget& modal) {
        shown = modal.findChild<QLineEdit*>()->text();
        modal.close();
    });
    options.showModal();
    EXPECT_EQ(shown, QStringLiteral("DLH123,EDDH_TWR"));
}

TEST_F(PreferencesTest, TheAccessCodeSwitchesToTheDebugViewAtItsLastKeystroke) {
    main.vars.excludedCallsigns = QStringLiteral("DLH123");
    openTypeAndPress(QStringLiteral("trace on"), "OK");
    ASSERT_EQ(boxes, QStringList{QStringLiteral("DEBUG|Success, press OK!")});
    EXPECT_EQ(lastIcon, QMessageBox::Critical);
    EXPECT_EQ(main.heightTwips(), MainWindow::kDebugModeSize.height);
    EXPECT_EQ(main.widthTwips(), MainWindow::kDebugModeSize.width);
    EXPECT_TRUE(main.lstSpeakers->isVisible());
    EXPECT_TRUE(main.lstUsers->isVisible());
    EXPECT_TRUE(main.Label6->isVisible());
    // The window closed without storing anything, so OK was never pressed on the code.
    EXPECT_EQ(main.vars.excludedCallsigns, QStringLiteral("DLH123"));
}

TEST_F(PreferencesTest, OnlyTheExactWholeTextIsTheAccessCode) {
    // Typed key by key, these texts never equal the code as a whole.
    for (const QString& text :
         {QStringLiteral("TRACE ON"), QStringLiteral(" trace on"), QStringLiteral("trace  on")}) {
        openTypeAndPress(text, "Cancel");
    }
    // Set at once (pasted), padding or a longer text is not the code either.
    for (const QString& text :
         {QStringLiteral("trace on "), QStringLiteral("trace onx"), QStringLiteral("Trace On")}) {
        openSetAndClose(text);
    }
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_FALSE(main.lstUsers->isVisible());
    EXPECT_NE(main.heightTwips(), MainWindow::kDebugModeSize.height);
}

TEST_F(PreferencesTest, AStoredAccessCodeSwitchesAtOpeningWithoutShowingTheWindow) {
    main.vars.excludedCallsigns = QStringLiteral("trace on");
    frmOptions options(main);
    options.showModal(); // would wait for ever if it entered its modal loop
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_TRUE(main.lstUsers->isVisible());
}

TEST(ModalDialogs, TimersTickWhileAModalWindowIsOpen) {
    MainWindow main;
    main.show();
    int ticks = 0;
    QObject::connect(main.CheckTimer, &Timer::tick, [&] { ++ticks; });
    main.CheckTimer->setInterval(1);
    frmAbout about(main, QStringLiteral("1.0.4"));
    QTimer::singleShot(50, &about, [&] { about.close(); });
    about.showModal();
    EXPECT_GT(ticks, 0);
    EXPECT_TRUE(main.CheckTimer->isTicking());
}

TEST(HelpWindow, ShowsTheTwentySevenLinesOnceAtEveryOpening) {
    MainWindow main;
    main.show();
    frmHelp help(main);
    QString text;
    for (int opening = 0; opening < 2; ++opening) {
        whenModal([&](QWidget& modal) {
            text = modal.findChild<TextBox*>()->text();
            modal.close();
        });
        help.showModal();
    }
    const QStringList lines = frmHelp::helpLines();
    ASSERT_EQ(lines.size(), 27);
    EXPECT_EQ(text, lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    EXPECT_TRUE(lines[7].endsWith(QLatin1Char(' ') + QLatin1String(maker::kSupportEmail)));
    EXPECT_TRUE(text.contains(
        QStringLiteral("A: Yes, this program supports PCM-WAV-Files 11.050Hz Mono 8/16Bit")));
}

TEST(HelpWindow, IsAFixedSizeDialogWithTheMainWindowsIcon) {
    MainWindow main;
    frmHelp help(main);
    EXPECT_EQ(help.minimumSize(), help.maximumSize());
    EXPECT_FALSE(help.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(help.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    whenModal([](QWidget& modal) { modal.close(); });
    help.showModal();
    EXPECT_EQ(help.windowIcon().cacheKey(), main.windowIcon().cacheKey());
}

TEST(AboutWindow, ShowsTheVersionItIsGiven) {
    MainWindow main;
    frmAbout about(main, QStringLiteral("2.10.0"));
    QString shown;
    whenModal([&](QWidget& modal) {
        shown = about.Label4->text();
        modal.close();
    });
    about.showModal();
    EXPECT_EQ(shown, QStringLiteral("Version 2.10.0"));
}

} // namespace
