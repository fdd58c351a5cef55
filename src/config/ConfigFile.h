#pragma once

#include <QString>

class MainWindow;

// config.cfg in the program directory: read once at start-up, rewritten whole at shutdown.
// The file is 8-bit text in the locale's encoding (UTF-8 on Linux, the ANSI code page on
// Windows). Older versions wrote Latin-1: a line that is no text in the locale's encoding is
// read as Latin-1, so an upgrade keeps its callsigns and file names; writing always uses the
// locale's encoding.
namespace ConfigFile {

QString path(const MainWindow& main);

// Applies every recognised line, in file order, to the main window's controls and variables.
// Each failing line (unreadable, a 16-bit overflow, a value a control refuses) is skipped;
// nothing is logged, since logging is switched on only after the file has been read.
// Only a regular file (or a link to one) is read; anything else by that name, or a file that
// cannot be read, sets vars.configUnreadable.
void Read(MainWindow& main);

// Applies one line; a failure passes to the caller.
void ApplyLine(MainWindow& main, const QString& line);

// The fifteen lines, each ended by CR LF, from the current controls and variables.
QByteArray Contents(const MainWindow& main);

// Writes through a temporary file and a rename, so a failed write never leaves a truncated
// config.cfg behind. Returns false, leaving what is there untouched, when the file could not be
// written, when Read found it unreadable, or when something other than a regular file has the
// name.
bool Write(const MainWindow& main);

} // namespace ConfigFile
