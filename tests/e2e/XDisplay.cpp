#include "XDisplay.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>
#include <fcntl.h>
#include <unistd.h>

XDisplay::XDisplay() {
    // Xvfb picks a free display number and writes it to the descriptor we give it.
    int fds[2];
    if (::pipe(fds) != 0) {
        return;
    }
    xvfb_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    xvfb_.setChildProcessModifier([fd = fds[1]] { ::fcntl(fd, F_SETFD, 0); });
    xvfb_.start(QStringLiteral("Xvfb"),
                {QStringLiteral("-displayfd"), QString::number(fds[1]), QStringLiteral("-screen"),
                 QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                 QStringLiteral("tcp")});
    ::close(fds[1]);
    if (!xvfb_.waitForStarted(5000)) {
        ::close(fds[0]);
        return;
    }
    QByteArray number;
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') {
        number.append(c);
    }
    ::close(fds[0]);
    if (number.isEmpty()) {
        return;
    }
    name_ = QStringLiteral(":") + QString::fromLatin1(number);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), name_);
    windowManager_.setProcessEnvironment(env);
    windowManager_.setProcessChannelMode(QProcess::MergedChannels);
    windowManager_.start(QStringLiteral("icewm"), {});
    if (!windowManager_.waitForStarted(5000)) {
        return;
    }
    // The notification area exists once IceWM's task bar has put up its tray window.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        if (run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")})
                .contains(QLatin1String("\"SystemTray\""))) {
            ready_ = true;
            return;
        }
        QThread::msleep(50);
    }
}

XDisplay::~XDisplay() {
    for (QProcess* process : {&windowManager_, &xvfb_}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(3000)) {
                process->kill();
                process->waitForFinished(3000);
            }
        }
    }
}

QString XDisplay::run(const QString& program, const QStringList& arguments, int timeoutMs) const {
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), name_);
    tool.setProcessEnvironment(env);
    tool.start(program, arguments);
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished(1000);
        return {};
    }
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

std::optional<QString> XDisplay::waitForWindow(const QString& titlePattern, int timeoutMs) const {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        const QStringList ids = run(QStringLiteral("xdotool"),
                                    {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                     QStringLiteral("--name"), titlePattern})
                                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (!ids.isEmpty()) {
            return ids.first();
        }
        QThread::msleep(50);
    }
    return std::nullopt;
}

bool XDisplay::isViewable(const QString& windowId) const {
    return run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), windowId})
        .contains(QLatin1String("Map State: IsViewable"));
}

std::optional<std::pair<int, int>> XDisplay::centreOf(const QString& windowId) const {
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), windowId});
    auto field = [&](const char* label) {
        const QRegularExpression re(QLatin1String(label) + QStringLiteral(":\\s+(-?\\d+)"));
        const auto match = re.match(info);
        return match.hasMatch() ? std::optional<int>(match.captured(1).toInt()) : std::nullopt;
    };
    const auto x = field("Absolute upper-left X");
    const auto y = field("Absolute upper-left Y");
    const auto w = field("Width");
    const auto h = field("Height");
    if (!x || !y || !w || !h) {
        return std::nullopt;
    }
    return std::make_pair(*x + *w / 2, *y + *h / 2);
}

std::optional<QString> XDisplay::trayIcon(const QString& name) const {
    // IceWM embeds each icon's window in a "YXTrayEmbedder" inside its "SystemTray".
    const QStringList lines =
        run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")})
            .split(QLatin1Char('\n'));
    // Each window's line is followed by a "N child(ren):" line, then its children.
    for (int i = 2; i < lines.size(); ++i) {
        if (lines[i - 2].contains(QLatin1String("\"YXTrayEmbedder\"")) &&
            lines[i].contains(QLatin1Char('"') + name + QLatin1Char('"'))) {
            return lines[i].trimmed().section(QLatin1Char(' '), 0, 0);
        }
    }
    return std::nullopt;
}

bool XDisplay::screenshot(const QString& path) const {
    QProcess import;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), name_);
    import.setProcessEnvironment(env);
    import.start(QStringLiteral("import"),
                 {QStringLiteral("-window"), QStringLiteral("root"), path});
    return import.waitForFinished(10000) && import.exitCode() == 0;
}
