#include "FuzzSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

void initApplication() {
    if (QCoreApplication::instance()) {
        return;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("ALSOFT_DRIVERS", "null");
    static int argc = 1;
    static char name[] = "staticor-fuzz";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives as long as the process
}

void flushDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString scratchDirectory() {
    static QTemporaryDir dir;
    return dir.path();
}

QString writeScratchFile(const QString& name, const uint8_t* data, size_t size) {
    const QString path = QDir(scratchDirectory()).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        violated("cannot write the scratch file");
    }
    return path;
}

void violated(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

} // namespace fuzz
