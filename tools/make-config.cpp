// Writes the default config.cfg into a directory, through the program's own writer so that
// its layout is exactly the one the program reads and writes. An existing file is a user's
// settings and is left alone.

#include "config/ConfigFile.h"
#include "window/MainWindow.h"

#include <QApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-config DIRECTORY\n");
        return 2;
    }
    MainWindow main;
    main.setProgramDirectory(QString::fromLocal8Bit(argv[1]));
    if (QFile::exists(ConfigFile::path(main))) {
        return 0;
    }
    // The first device, and the default sound set; every other line at its initial value.
    main.Combo1->addItem(QString());
    main.Combo1->setListIndex(0);
    main.vars.clickSoundFile = QStringLiteral("click.wav");
    main.vars.noiseSoundFile = QStringLiteral("noise.wav");
    main.vars.txSoundFile = QStringLiteral("tx.wav");
    main.vars.sensitivity = 300;
    if (!ConfigFile::Write(main)) {
        std::fprintf(stderr, "make-config: cannot write %s\n",
                     ConfigFile::path(main).toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
