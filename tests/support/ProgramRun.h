#pragma once

#include "support/QtPrinters.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <csignal>
#include <memory>

// One whole-program run: a fresh copy of the built program directory, the program started
// from it as a real process, and the files it leaves. Every process started is ended by the
// destructor.
class ProgramRun {
public:
    ProgramRun();
    ~ProgramRun();

    // The copy of the program directory.
    QString dir() const { return dir_.path(); }
    QString file(const QString& name) const;
    void writeFile(const QString& name, const QByteArray& bytes) const;
    QByteArray readFile(const QString& name) const;
    // The file's lines without their CR LF ends.
    QStringList lines(const QString& name) const;

    // Environment for the processes started (defaults: offscreen window, null sound device).
    QProcessEnvironment& env() { return env_; }

    // Has OpenAL Soft's wave writer record what the programs play (float, stereo, 44.1 kHz)
    // and returns the recording's path.
    QString recordSound();

    // Runs the programs in real windows on an X display (":N") instead of offscreen.
    void useDisplay(const QString& display);
    // Types commands at a started program's prompt (the simulated client's) and waits until
    // they are written.
    static void type(QProcess& process, const QByteArray& commands);

    // Starts a program of the directory (default: staticor) with arguments; its standard
    // error goes to the test's unless channels says otherwise.
    QProcess& start(const QString& program = QStringLiteral("staticor"),
                    const QStringList& arguments = {},
                    QProcess::ProcessChannelMode channels = QProcess::ForwardedErrorChannel);
    // Sends SIGTERM (or another signal) to a started process and waits up to timeoutMs for it
    // to end.
    bool terminate(QProcess& process, int timeoutMs = 10000, int signal = SIGTERM);
    // Waits until a file holds text, up to timeoutMs.
    bool waitForText(const QString& name, const QByteArray& text, int timeoutMs) const;

private:
    QTemporaryDir dir_;
    QProcessEnvironment env_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};
