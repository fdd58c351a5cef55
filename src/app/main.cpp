#include "app/Program.h"
#include "app/ProgramDirectoryLock.h"
#include "app/TerminationSignals.h"
#include "app/Version.h"
#include "clients/ClientOptions.h"
#include "window/Failure.h"

#include <QApplication>
#include <QFont>
#include <QMessageBox>
#include <cstdio>
#include <memory>

int main(int argc, char* argv[]) {
    TerminationSignals::catchEarly();
    // Before the application object: --help and a wrong option need no display, and a wrong
    // option ends the program before any window opens or any file is read or written.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const CommandLine commandLine = parseCommandLine(
        arguments, qEnvironmentVariable("STATICOR_CLIENT"), kProgramVersion.text());
    std::fputs(commandLine.output.toLocal8Bit().constData(), stdout);
    std::fputs(commandLine.error.toLocal8Bit().constData(), stderr);
    if (!commandLine.options) {
        return commandLine.exitCode;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Staticor"));
    QApplication::setApplicationVersion(kProgramVersion.text());
    // The window's layout is fixed in small units; the system's smaller sans-serif fits it.
    QFont font = QApplication::font();
    font.setPointSizeF(8.0);
    QApplication::setFont(font);

    // A second instance in the same folder says so and ends before it reads or writes a file.
    const ProgramDirectoryLock lock(QCoreApplication::applicationDirPath());
    if (!lock.acquired()) {
        std::fprintf(stderr, "staticor: %s\n",
                     ProgramDirectoryLock::kAlreadyRunningMessage.toLocal8Bit().constData());
        // Nothing to save: a termination signal may end this instance as it comes.
        if (TerminationSignals::stopCatching()) {
            return 1;
        }
        QMessageBox box(QMessageBox::Information, QStringLiteral("Staticor"),
                        ProgramDirectoryLock::kAlreadyRunningMessage, QMessageBox::Ok);
        box.exec();
        return 1;
    }

    auto program =
        std::make_unique<Program>(QCoreApplication::applicationDirPath(), *commandLine.options);
    int exitCode = 0;
    QObject::connect(program.get(), &Program::ended, &app, [&](int code) {
        exitCode = code;
        QApplication::exit(code);
    });
    TerminationSignals signals_;
    QObject::connect(&signals_, &TerminationSignals::received, &program->main(),
                     [&] { program->main().close(); });

    try {
        program->Load();
    } catch (const EndProgram& endProgram) {
        return endProgram.exitCode;
    }
    if (program->hasEnded()) {
        return exitCode;
    }
    program->main().show();
    const int code = QApplication::exec();
    return program->hasEnded() ? exitCode : code;
}
