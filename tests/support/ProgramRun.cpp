#include "support/ProgramRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

namespace {
QString builtProgramDir() {
    const QString dir = qEnvironmentVariable("STATICOR_PROGRAM_DIR");
    return dir;
}
} // namespace

ProgramRun::ProgramRun() : env_(QProcessEnvironment::systemEnvironment()) {
    const QString source = builtProgramDir();
    EXPECT_FALSE(source.isEmpty()) << "STATICOR_PROGRAM_DIR is not set";
    QDir from(source);
    // Only the program's own files: never a user's settings or log of an earlier run.
    for (const QFileInfo& info : from.entryInfoList(QDir::Files)) {
        const QString name = info.fileName();
        if (name == QLatin1String("errorlog.txt") || name == QLatin1String("config.cfg")) {
            continue;
        }
        QFile::copy(info.filePath(), file(name));
        QFile::setPermissions(file(name), info.permissions());
    }
    env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env_.insert(QStringLiteral("ALSOFT_DRIVERS"), QStringLiteral("null"));
    // The TeamSpeak 2 library alone, as the simulated client's socket face needs, unless a
    // test chooses another client.
    env_.insert(QStringLiteral("STATICOR_CLIENT"), QStringLiteral("ts2"));
}

ProgramRun::~ProgramRun() {
    for (auto& process : processes_) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
}

QString ProgramRun::file(const QString& name) const {
    return QDir(dir()).filePath(name);
}

void ProgramRun::writeFile(const QString& name, const QByteArray& bytes) const {
    QFile f(file(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray ProgramRun::readFile(const QString& name) const {
    QFile f(file(name));
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return f.readAll();
}

QStringList ProgramRun::lines(const QString& name) const {
    // config.cfg and errorlog.txt are written in the locale's 8-bit encoding.
    QStringList out = QString::fromLocal8Bit(readFile(name)).split(QStringLiteral("\r\n"));
    if (!out.isEmpty() && out.last().isEmpty()) {
        out.removeLast();
    }
    return out;
}

QString ProgramRun::recordSound() {
    const QString wave = file(QStringLiteral("recording.wav"));
    writeFile(QStringLiteral("alsoft.conf"),
              "[general]\ndrivers = wave\nsample-type = float32\nchannels = stereo\n"
              "frequency = 44100\n[wave]\nfile = " +
                  wave.toLocal8Bit() + "\n");
    env_.insert(QStringLiteral("ALSOFT_DRIVERS"), QStringLiteral("wave"));
    env_.insert(QStringLiteral("ALSOFT_CONF"), file(QStringLiteral("alsoft.conf")));
    return wave;
}

void ProgramRun::useDisplay(const QString& display) {
    env_.insert(QStringLiteral("DISPLAY"), display);
    env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
}

void ProgramRun::type(QProcess& process, const QByteArray& commands) {
    process.write(commands);
    process.waitForBytesWritten(1000);
}

QProcess& ProgramRun::start(const QString& program, const QStringList& arguments,
                            QProcess::ProcessChannelMode channels) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(env_);
    process->setWorkingDirectory(dir());
    process->setProcessChannelMode(channels);
    process->start(file(program), arguments);
    EXPECT_TRUE(process->waitForStarted(10000)) << program.toStdString();
    processes_.push_back(std::move(process));
    return *processes_.back();
}

bool ProgramRun::terminate(QProcess& process, int timeoutMs, int signal) {
    if (process.state() == QProcess::NotRunning) {
        return true;
    }
    ::kill(static_cast<pid_t>(process.processId()), signal);
    return process.waitForFinished(timeoutMs);
}

bool ProgramRun::waitForText(const QString& name, const QByteArray& text, int timeoutMs) const {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (readFile(name).contains(text)) {
            return true;
        }
        QThread::msleep(20);
    }
    return readFile(name).contains(text);
}
