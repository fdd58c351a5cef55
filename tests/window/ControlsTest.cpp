#include "support/RaisesFailure.h"
#include "window/AppIcon.h"
#include "window/CheckBox.h"
#include "window/ComboList.h"
#include "window/Label.h"
#include "window/ListBox.h"
#include "window/ListView.h"
#include "window/MainWindow.h"
#include "window/Slider.h"
#include "window/Timer.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QSet>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

TEST(TimerControl, ZeroStopsANonZeroIntervalStartsANegativeOneIsRefused) {
    Timer timer(300);
    EXPECT_TRUE(timer.isTicking());
    timer.setInterval(0);
    EXPECT_FALSE(timer.isTicking());
    EXPECT_EQ(timer.interval(), 0);
    EXPECT_THAT([&] { timer.setInterval(-1); }, RaisesFailure(380));
    EXPECT_FALSE(timer.isTicking());
    timer.setInterval(50);
    EXPECT_TRUE(timer.isTicking());
    EXPECT_EQ(timer.interval(), 50);
    EXPECT_FALSE(Timer(0).isTicking());
}

TEST(SliderControl, RefusesOutOfRangeValuesInsteadOfClamping) {
    Slider slider(0, 100, 1, 5, 70);
    QSignalSpy changes(&slider, &QSlider::valueChanged);
    EXPECT_THAT([&] { slider.setValueChecked(150); }, RaisesFailure(380));
    EXPECT_THAT([&] { slider.setValueChecked(-1); }, RaisesFailure(380));
    EXPECT_EQ(slider.value(), 70);
    EXPECT_EQ(changes.count(), 0);
    slider.setValueChecked(100);
    slider.setValueChecked(0);
    EXPECT_EQ(slider.value(), 0);
    EXPECT_EQ(changes.count(), 2);
}

TEST(CheckBoxControl, HoldsUntickedTickedAndGreyed) {
    CheckBox box(QStringLiteral("Play initial TX-Sound"));
    EXPECT_EQ(box.value(), 0);
    box.setValue(2);
    EXPECT_EQ(box.value(), 2);
    EXPECT_THAT([&] { box.setValue(3); }, RaisesFailure(380));
    EXPECT_THAT([&] { box.setValue(-1); }, RaisesFailure(380));
    EXPECT_EQ(box.value(), 2);
    // A click on a greyed box ticks it; further clicks toggle without greying again.
    box.click();
    EXPECT_EQ(box.value(), 1);
    box.click();
    EXPECT_EQ(box.value(), 0);
    box.click();
    EXPECT_EQ(box.value(), 1);
}

TEST(ComboListControl, SelectsOnlyListedEntries) {
    ComboList combo;
    EXPECT_EQ(combo.listIndex(), -1);
    combo.addItems({QStringLiteral("first"), QStringLiteral("second")});
    combo.setListIndex(1);
    EXPECT_EQ(combo.listIndex(), 1);
    EXPECT_THAT([&] { combo.setListIndex(2); }, RaisesFailure(380));
    EXPECT_THAT([&] { combo.setListIndex(-2); }, RaisesFailure(380));
    EXPECT_EQ(combo.listIndex(), 1);
}

TEST(LabelControl, RaisesItsChangeEventOnlyForADifferentCaption) {
    Label label(QStringLiteral("-"));
    int changes = 0;
    QString seen;
    QObject::connect(&label, &Label::changed, [&] {
        ++changes;
        seen = label.caption(); // the new caption is in place when the event runs
    });
    label.setCaption(QStringLiteral("-"));
    EXPECT_EQ(changes, 0);
    label.setCaption(QStringLiteral("Connected"));
    label.setCaption(QStringLiteral("Connected"));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(seen, QStringLiteral("Connected"));
    label.setCaption(QString());
    EXPECT_EQ(changes, 2);
}

TEST(ListBoxControl, ListsEntriesInOrderAndRefusesOtherIndexes) {
    ListBox box;
    box.addItem(QStringLiteral("DLH123"));
    box.addItem(QStringLiteral("EDDH_TWR"));
    EXPECT_EQ(box.listCount(), 2);
    EXPECT_EQ(box.list(0), QStringLiteral("DLH123"));
    EXPECT_EQ(box.list(1), QStringLiteral("EDDH_TWR"));
    EXPECT_THAT([&] { box.list(2); }, RaisesFailure(381));
    EXPECT_THAT([&] { box.list(-1); }, RaisesFailure(381));
    box.clear();
    EXPECT_EQ(box.listCount(), 0);
}

TEST(ListBoxControl, AListShownAfterARebuildShowsTheRebuiltEntries) {
    ListBox box;
    box.hide();
    box.addItem(QStringLiteral("hidden"));
    box.show();
    ASSERT_NE(box.model(), nullptr);
    EXPECT_EQ(box.model()->rowCount(), 1);
    EXPECT_EQ(box.model()->index(0, 0).data().toString(), QStringLiteral("hidden"));
    // Once shown, every change reaches the view.
    int inserted = 0, resets = 0;
    QObject::connect(box.model(), &QAbstractItemModel::rowsInserted, [&] { ++inserted; });
    QObject::connect(box.model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    box.addItem(QStringLiteral("shown"));
    EXPECT_EQ(inserted, 1);
    box.clear();
    EXPECT_EQ(resets, 1);
}

TEST(ListViewControl, FindsRowsByKeyAndRefusesADuplicateKey) {
    ListView view;
    const int first = view.addRow(QStringLiteral("DLH123"));
    view.setKey(first, QStringLiteral("ID7"));
    view.setSubItem(first, 1, QStringLiteral("7"));
    const int second = view.addRow(QStringLiteral("EDDH_TWR"));
    view.setKey(second, QStringLiteral("ID9"));
    EXPECT_EQ(view.findKey(QStringLiteral("ID9")), second);
    EXPECT_EQ(view.findKey(QStringLiteral("ID8")), -1);
    EXPECT_EQ(view.subItem(first, 1), QStringLiteral("7"));
    EXPECT_THAT([&] { view.setKey(second, QStringLiteral("ID7")); }, RaisesFailure(35602));
    EXPECT_EQ(view.key(second), QStringLiteral("ID9"));
    view.clear();
    EXPECT_EQ(view.rowCount(), 0);
    EXPECT_EQ(view.findKey(QStringLiteral("ID7")), -1);
    // After clearing, the keys are free again.
    view.setKey(view.addRow(QStringLiteral("again")), QStringLiteral("ID7"));
    EXPECT_EQ(view.findKey(QStringLiteral("ID7")), 0);
}

TEST(ListViewControl, AShownListFollowsEveryChangeAndAHiddenOneCatchesUpWhenShown) {
    ListView view;
    view.show();
    ASSERT_NE(view.model(), nullptr);
    // The view learns of changes only through these signals.
    int inserted = 0, changed = 0, resets = 0;
    QObject::connect(view.model(), &QAbstractItemModel::rowsInserted, [&] { ++inserted; });
    QObject::connect(view.model(), &QAbstractItemModel::dataChanged, [&] { ++changed; });
    QObject::connect(view.model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    view.setSubItem(view.addRow(QStringLiteral("DLH123")), 2, QStringLiteral("9"));
    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(view.model()->index(0, 2).data().toString(), QStringLiteral("9"));
    view.clear();
    EXPECT_EQ(resets, 1);

    view.hide();
    EXPECT_EQ(view.model(), nullptr);
    for (int i = 0; i < 3; ++i) {
        view.setKey(view.addRow(QStringLiteral("P%1").arg(i)), QStringLiteral("ID%1").arg(i));
    }
    view.clear();
    view.addRow(QStringLiteral("EDDH_TWR"));
    view.show();
    ASSERT_NE(view.model(), nullptr);
    EXPECT_EQ(view.model()->rowCount(), 1);
    EXPECT_EQ(view.model()->index(0, 0).data().toString(), QStringLiteral("EDDH_TWR"));
    // The key index kept its room across the clear but none of its keys.
    EXPECT_EQ(view.findKey(QStringLiteral("ID0")), -1);
}

TEST(AppIconImages, HaveBothSizesInSixteenColoursAtMost) {
    const QIcon icon = appIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int size : {32, 16}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        const QImage image = icon.pixmap(size, size).toImage();
        ASSERT_EQ(image.size(), QSize(size, size));
        QSet<QRgb> colours;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                colours.insert(image.pixel(x, y));
            }
        }
        EXPECT_LE(colours.size(), 16) << size;
        EXPECT_GE(colours.size(), 3) << size; // a drawing, not a blank square
    }
}

TEST(MainWindowLayout, CheckBoxCaptionsAreReadableWholeAtEveryFontSize) {
    const QFont original = QApplication::font();
    for (qreal points : {8.0, 10.0, 12.0}) {
        QFont font = original;
        font.setPointSizeF(points);
        QApplication::setFont(font);
        MainWindow main;
        for (CheckBox* box : {main.TXpl, main.logErrors}) {
            box->layout()->activate();
            const QLabel* caption = box->findChild<QLabel*>();
            ASSERT_NE(caption, nullptr);
            EXPECT_LE(caption->heightForWidth(caption->width()), caption->height())
                << caption->text().toStdString() << " at " << points << " pt";
        }
    }
    QApplication::setFont(original);
}

} // namespace
