#include "AppIcon.h"

QIcon appIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/staticor-32.xpm"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/staticor-16.xpm"), QSize(16, 16));
    return icon;
}
