#pragma once

#include <QFile>
#include <QString>

// How an attempt to open a file that must be a regular one ended.
enum class RegularFileOpen {
    Opened,
    Missing, // nothing by that name (a link to nothing counts as nothing)
    Refused, // there, but not a regular file, or the open failed
};

// Opens path into file for reading (QIODevice::ReadOnly) or for appending
// (QIODevice::WriteOnly | QIODevice::Append, creating the file) only when it is a regular file
// or a link to one. Nothing in its place is waited for or read from: a named pipe would wait
// for its other end, a device such as /dev/zero would never end.
RegularFileOpen openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode mode);
