#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <optional>

// A private X display for whole-program tests that need a window manager and a
// notification area: Xvfb with IceWM on a free display number, ended with the object.
class XDisplay {
public:
    XDisplay();
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    // False when Xvfb or IceWM could not be started.
    bool ready() const { return ready_; }
    // The value for DISPLAY, ":N".
    QString name() const { return name_; }

    // Runs an X tool on this display and returns its standard output (empty on failure).
    QString run(const QString& program, const QStringList& arguments, int timeoutMs = 5000) const;

    // A top-level window whose title matches the pattern, within timeoutMs.
    std::optional<QString> waitForWindow(const QString& titlePattern, int timeoutMs) const;
    // Whether the window is mapped and viewable.
    bool isViewable(const QString& windowId) const;
    // The screen position of a window's centre.
    std::optional<std::pair<int, int>> centreOf(const QString& windowId) const;
    // The notification-area icon of a program whose icon window has that name, if shown.
    std::optional<QString> trayIcon(const QString& name) const;
    // Saves the whole screen as a PNG file.
    bool screenshot(const QString& path) const;

private:
    QProcess xvfb_;
    QProcess windowManager_;
    QString name_;
    bool ready_ = false;
};
