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
#include <unordered_map>

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

TEST(ListBoxControl, AShorterRebuildShowsOnlyItsOwnEntries) {
    ListBox box;
    const QString shared = QStringLiteral("DLH123");
    for (const QString& text : {shared, QStringLiteral("EDDH_TWR"), QStringLiteral("X")}) {
        box.addItem(text);
    }
    box.clear();
    box.addItem(QStringLiteral("D-EABC"));
    box.addItem(shared);
    EXPECT_EQ(box.listCount(), 2);
    EXPECT_EQ(box.list(0), QStringLiteral("D-EABC"));
    EXPECT_EQ(box.list(1), shared);
    EXPECT_THAT([&] { box.list(2); }, RaisesFailure(381));
    box.show();
    ASSERT_NE(box.model(), nullptr);
    EXPECT_EQ(box.model()->rowCount(), 2);
    EXPECT_EQ(box.model()->index(0, 0).data().toString(), QStringLiteral("D-EABC"));
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

TEST(ListViewControl, KeysAreFoundByTheirTextHoweverTheyWereMade) {
    ListView view;
    // Enough keys for the index to grow several times, some of them prefixes of others.
    const int rows = 5000;
    for (int i = 0; i < rows; ++i) {
        const int row = view.addRow(QStringLiteral("P%1").arg(i));
        if (i % 2) {
            view.setKey(row, ListView::Key(QStringLiteral("PID%1").arg(i)));
        } else {
            view.setKey(row, QStringLiteral("PID%1").arg(i));
        }
    }
    for (int i = 0; i < rows; ++i) {
        // Texts built anew, never the ones given to setKey.
        const QString text = QStringLiteral("PID") + QString::number(i);
        ASSERT_EQ(view.findKey(text), i) << i;
        ASSERT_EQ(view.findKey(ListView::Key(text)), i) << i;
    }
    for (const QString& absent :
         {QStringLiteral("PID5000"), QStringLiteral("PID-1"), QStringLiteral("pid7"),
          QStringLiteral("PID07"), QStringLiteral("PID"), QStringLiteral("")}) {
        EXPECT_EQ(view.findKey(absent), -1) << absent.toStdString();
    }
    // A duplicate is refused whether it comes as a text or as a key.
    const int extra = view.addRow(QStringLiteral("again"));
    EXPECT_THAT([&] { view.setKey(extra, QStringLiteral("PID4999")); }, RaisesFailure(35602));
    EXPECT_THAT([&] { view.setKey(extra, ListView::Key(QStringLiteral("PID0"))); },
                RaisesFailure(35602));
    EXPECT_EQ(view.key(extra), QString());
    EXPECT_EQ(view.findKey(QStringLiteral("PID0")), 0);
}

TEST(ListViewControl, KeysWithTheSameHashAreTwoKeys) {
    // Two texts whose hashes are equal, found among enough made-up ones.
    std::unordered_map<uint32_t, QString> seen;
    QString first, second;
    for (int i = 0; first.isEmpty(); ++i) {
        ASSERT_LT(i, 4000000) << "no two texts with one hash";
        const QString text = QStringLiteral("K%1").arg(i);
        const auto [at, added] = seen.emplace(ListView::Key(text).hash(), text);
        if (!added) {
            first = at->second;
            second = text;
        }
    }
    ASSERT_NE(first, second);
    ListView view;
    view.setKey(view.addRow(QStringLiteral("one")), first);
    EXPECT_EQ(view.findKey(second), -1);
    view.setKey(view.addRow(QStringLiteral("two")), second);
    EXPECT_EQ(view.findKey(first), 0);
    EXPECT_EQ(view.findKey(second), 1);
    EXPECT_THAT([&] { view.setKey(view.addRow(QStringLiteral("three")), second); },
                RaisesFailure(35602));
    // Either may go without taking the other along.
    view.setKey(0, QString());
    EXPECT_EQ(view.findKey(first), -1);
    EXPECT_EQ(view.findKey(second), 1);
}

TEST(ListViewControl, AChangedOrRemovedKeyFreesTheOldOneAndKeepsTheOthers) {
    ListView view;
    for (int i = 0; i < 40; ++i) {
        view.setKey(view.addRow(QStringLiteral("P%1").arg(i)), QStringLiteral("ID%1").arg(i));
    }
    view.setKey(7, QStringLiteral("NEW7"));
    EXPECT_EQ(view.key(7), QStringLiteral("NEW7"));
    EXPECT_EQ(view.findKey(QStringLiteral("NEW7")), 7);
    EXPECT_EQ(view.findKey(QStringLiteral("ID7")), -1);
    view.setKey(8, QString());
    EXPECT_EQ(view.key(8), QString());
    EXPECT_EQ(view.findKey(QStringLiteral("ID8")), -1);
    for (int i = 0; i < 40; ++i) {
        if (i != 7 && i != 8) {
            EXPECT_EQ(view.findKey(QStringLiteral("ID%1").arg(i)), i) << i;
        }
    }
    // The freed keys may be taken by other rows.
    view.setKey(9, QString());
    view.setKey(9, QStringLiteral("ID7"));
    view.setKey(8, QStringLiteral("ID9"));
    EXPECT_EQ(view.findKey(QStringLiteral("ID7")), 9);
    EXPECT_EQ(view.findKey(QStringLiteral("ID9")), 8);
    // Setting a row's own key again changes nothing.
    view.setKey(9, QStringLiteral("ID7"));
    EXPECT_EQ(view.findKey(QStringLiteral("ID7")), 9);
}

TEST(ListViewControl, ARebuiltListHasOnlyWhatWasSetSinceTheClear) {
    ListView view;
    ListView::Key keys[3] = {ListView::Key(QStringLiteral("ID0")),
                             ListView::Key(QStringLiteral("ID1")),
                             ListView::Key(QStringLiteral("ID2"))};
    for (int round = 0; round < 3; ++round) {
        view.clear();
        EXPECT_EQ(view.rowCount(), 0);
        EXPECT_THAT([&] { view.rowText(0); }, RaisesFailure(35600));
        // Each round fills fewer fields of the rows, under other keys.
        for (int i = 0; i < 3 - round; ++i) {
            const int row = view.addRow(QStringLiteral("R%1P%2").arg(round).arg(i));
            if (round == 0) {
                view.setKey(row, keys[i]);
                for (int sub = 1; sub <= ListView::kSubItems; ++sub) {
                    view.setSubItem(row, sub, QStringLiteral("S%1").arg(sub));
                }
            } else if (round == 1) {
                view.setKey(row, keys[2 - i]);
                view.setSubItem(row, 2, QStringLiteral("T2"));
            }
        }
        for (int i = 0; i < 3 - round; ++i) {
            EXPECT_EQ(view.rowText(i), QStringLiteral("R%1P%2").arg(round).arg(i));
            EXPECT_EQ(view.subItem(i, 1), round == 0 ? QStringLiteral("S1") : QString());
            EXPECT_EQ(view.subItem(i, 2), round == 0   ? QStringLiteral("S2")
                                          : round == 1 ? QStringLiteral("T2")
                                                       : QString());
            EXPECT_EQ(view.subItem(i, 4), round == 0 ? QStringLiteral("S4") : QString());
        }
        EXPECT_EQ(view.rowCount(), 3 - round);
        EXPECT_THAT([&] { view.rowText(3 - round); }, RaisesFailure(35600));
        EXPECT_THAT([&] { view.setSubItem(3 - round, 1, QString()); }, RaisesFailure(35600));
    }
    // Round 1 keyed its two rows in reverse; round 2 keyed nothing.
    EXPECT_EQ(view.key(0), QString());
    for (const ListView::Key& key : keys) {
        EXPECT_EQ(view.findKey(key), -1) << key.text().toStdString();
    }
    // Every key is free again, even one a row held before the clear.
    view.setKey(0, keys[2]);
    EXPECT_EQ(view.findKey(keys[2]), 0);
}

TEST(ListViewControl, ManyClearsNeverBringOldKeysBack) {
    ListView view;
    for (int round = 0; round < 2000; ++round) {
        view.clear();
        view.setKey(view.addRow(QStringLiteral("P")), QStringLiteral("ID%1").arg(round % 7));
        ASSERT_EQ(view.findKey(QStringLiteral("ID%1").arg((round + 1) % 7)), -1) << round;
        ASSERT_EQ(view.findKey(QStringLiteral("ID%1").arg(round % 7)), 0) << round;
    }
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
