#include "DeviceList.h"

#include "DX7Sound.h"
#include "config/ErrorLog.h"
#include "window/Failure.h"
#include "window/MainWindow.h"

namespace DeviceList {

void GetDevices(MainWindow& main, DX7Sound& sound, const ErrorLog& log) {
    try {
        std::unique_ptr<SoundEnum> devices = sound.system().GetDSEnum();
        if (!devices) {
            throw Failure(91, QStringLiteral("Object variable or With block variable not set"));
        }
        SoundEnum& list = *devices;
        sound.setEnumeration(std::move(devices));

        const int32_t count = list.GetCount();
        if (logsFailures(main)) {
            log.WriteErrorLog(QStringLiteral("Count Device: %1").arg(count), 0);
        }
        for (int32_t i = 1; i <= count; ++i) {
            const QString description = list.GetDescription(i);
            // Appending to an empty list would select its first entry; selecting is the
            // last step, so a failure on the way leaves nothing selected.
            const int selected = main.Combo1->currentIndex();
            main.Combo1->addItem(description);
            if (main.Combo1->currentIndex() != selected) {
                main.Combo1->setCurrentIndex(selected);
            }
            if (logsFailures(main)) {
                log.WriteErrorLog(QStringLiteral("Found Device: ") + description, 0);
            }
        }
        main.Combo1->setListIndex(0);
    } catch (const Failure& failure) {
        if (logsFailures(main)) {
            log.WriteErrorLog(QStringLiteral("GetDevices: ") + failure.description() +
                                  QLatin1Char(' '),
                              failure.number());
        }
    }
}

} // namespace DeviceList
