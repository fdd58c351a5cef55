// config.cfg as arbitrary bytes: reading must never crash or throw, must leave every
// setting within what its control accepts, and what is written back must read back the same.

#include "FuzzSupport.h"
#include "config/ConfigFile.h"
#include "window/MainWindow.h"

#include <QFile>

namespace {

QByteArray readBack(const QString& directory) {
    MainWindow main;
    main.setProgramDirectory(directory);
    ConfigFile::Read(main);
    return ConfigFile::Contents(main);
}

void checkInRange(const Slider& slider, const char* what) {
    if (slider.value() < slider.minimum() || slider.value() > slider.maximum()) {
        fuzz::violated(what);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::initApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString directory = fuzz::scratchDirectory();
    fuzz::writeScratchFile(QStringLiteral("config.cfg"), data, size);

    MainWindow main;
    main.setProgramDirectory(directory);
    ConfigFile::Read(main);
    checkInRange(*main.MicVol, "click volume out of range");
    checkInRange(*main.NoiseVol, "noise volume out of range");
    const QByteArray written = ConfigFile::Contents(main);

    QFile file(ConfigFile::path(main));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(written) < 0) {
        fuzz::violated("cannot rewrite config.cfg");
    }
    file.close();
    if (readBack(directory) != written) {
        fuzz::violated("the written settings read back differently");
    }
    fuzz::flushDeferredDeletes();
    return 0;
}
