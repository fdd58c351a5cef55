#include "ClientQueryKey.h"

#include "config/RegularFile.h"

#include <QDir>
#include <QFile>

namespace clientQueryKey {

QString settingsFolder() {
#ifdef Q_OS_WIN
    return qEnvironmentVariable("APPDATA") + QStringLiteral("/TS3Client");
#else
    return QDir::homePath() + QStringLiteral("/.ts3client");
#endif
}

QByteArray fromIni(const QByteArray& text) {
    bool inGeneral = false;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            inGeneral = line == "[General]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (inGeneral && equals > 0 && line.first(equals).trimmed() == "api_key") {
            return line.sliced(equals + 1).trimmed();
        }
    }
    return {};
}

QByteArray find() {
    const QByteArray fromEnvironment = qgetenv("TS3_CLIENTQUERY_APIKEY");
    if (!fromEnvironment.isEmpty()) {
        return fromEnvironment;
    }
    const QString path = settingsFolder() + QStringLiteral("/clientquery.ini");
    // A FIFO or device in its place must not hold the window; the file is small.
    QFile file;
    if (openRegularFile(file, path, QIODevice::ReadOnly) != RegularFileOpen::Opened) {
        return {};
    }
    return fromIni(file.read(64 * 1024));
}

} // namespace clientQueryKey
