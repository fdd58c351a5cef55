#include "app/Program.h"
#include "app/TerminationSignals.h"
#include "app/Version.h"
#include "window/Failure.h"

#include <QApplication>
#include <QFont>
#include <memory>

int main(int argc, char* argv[]) {
    TerminationSignals::catchEarly();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Staticor"));
    QApplication::setApplicationVersion(kProgramVersion.text());
    // The window's layout is fixed in small units; the system's smaller sans-serif fits it.
    QFont font = QApplication::font();
    font.setPointSizeF(8.0);
    QApplication::setFont(font);

    auto program = std::make_unique<Program>();
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
