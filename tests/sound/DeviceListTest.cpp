// The device list in Combo1.

#include "sound/DeviceList.h"

#include "SoundFixture.h"

namespace {

class DeviceListTest : public SoundFixture {
protected:
    DeviceListTest() {
        fake.devices = {{QStringLiteral("Primary Sound Driver"), QStringLiteral("{a}")},
                        {QStringLiteral("USB Headset"), QStringLiteral("{b}")},
                        {QStringLiteral("HDMI Output"), QStringLiteral("{c}")}};
    }
    void getDevices() { DeviceList::GetDevices(main, engine, log); }
    QStringList listed() const {
        QStringList out;
        for (int i = 0; i < main.Combo1->count(); ++i) {
            out.append(main.Combo1->itemText(i));
        }
        return out;
    }
};

TEST_F(DeviceListTest, ListsEveryDeviceInOrderSelectsTheFirstAndKeepsTheList) {
    main.logErrors->setValue(1);
    getDevices();
    EXPECT_EQ(listed(), (QStringList{"Primary Sound Driver", "USB Headset", "HDMI Output"}));
    EXPECT_EQ(main.Combo1->listIndex(), 0);
    ASSERT_NE(engine.enumeration(), nullptr);
    EXPECT_EQ(logLines(), (QStringList{entry("Count Device: 3", 0),
                                       entry("Found Device: Primary Sound Driver", 0),
                                       entry("Found Device: USB Headset", 0),
                                       entry("Found Device: HDMI Output", 0)}));

    // Set-up turns list position p into entry p + 1 of the same list.
    main.Combo1->setListIndex(2);
    fake.calls.clear();
    engine.SetupDX7Sound(main);
    EXPECT_EQ(fake.takeCalls(), (QStringList{"guid 3", "create {c}", "cooperative 2"}));
}

TEST_F(DeviceListTest, TraceEntriesAreWrittenForSwitchValuesAboveZeroOnly) {
    getDevices();
    EXPECT_FALSE(dir.exists("errorlog.txt"));
    main.logErrors->setValue(2);
    getDevices();
    EXPECT_EQ(logLines().size(), 4);
    EXPECT_EQ(main.Combo1->count(), 6); // appended, never emptied first
}

TEST_F(DeviceListTest, WithoutAnEnumerationTheListStaysEmptyAndNothingIsStored) {
    fake.failEnum = true;
    main.logErrors->setValue(1);
    getDevices();
    EXPECT_EQ(main.Combo1->count(), 0);
    EXPECT_EQ(engine.enumeration(), nullptr);
    EXPECT_EQ(logLines(), QStringList{entry("GetDevices: No driver ", dsound::kErrNoDriver)});
}

TEST_F(DeviceListTest, AnEmptyEnumerationFailsToSelectTheFirstEntry) {
    fake.devices.clear();
    main.logErrors->setValue(1);
    getDevices();
    EXPECT_EQ(main.Combo1->listIndex(), -1);
    EXPECT_EQ(logLines(), (QStringList{entry("Count Device: 0", 0),
                                       entry("GetDevices: Invalid property value ", 380)}));
}

TEST_F(DeviceListTest, AnUnreadableDescriptionKeepsTheEntriesSoFarAndSelectsNothing) {
    fake.failDescription.insert(2);
    main.logErrors->setValue(1);
    getDevices();
    EXPECT_EQ(listed(), QStringList{"Primary Sound Driver"});
    EXPECT_EQ(main.Combo1->listIndex(), -1);
    EXPECT_EQ(logLines().last(), entry("GetDevices: No such device ", dsound::kErrInvalidParam));
    EXPECT_EQ(logLines().size(), 3);
}

} // namespace
