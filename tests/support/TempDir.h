#pragma once

#include "support/QtPrinters.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A scratch program directory for one test.
class TempDir {
public:
    TempDir() { dir_.setAutoRemove(true); }

    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return QDir(dir_.path()).filePath(name); }

    void write(const QString& name, const QByteArray& bytes) const {
        QFile f(file(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }

    QByteArray read(const QString& name) const {
        QFile f(file(name));
        if (!f.open(QIODevice::ReadOnly)) {
            return {};
        }
        return f.readAll();
    }

    bool exists(const QString& name) const { return QFile::exists(file(name)); }

    // The file's lines, split at CR LF.
    QList<QByteArray> lines(const QString& name) const {
        QByteArray bytes = read(name);
        QList<QByteArray> out = bytes.split('\n');
        if (!out.isEmpty() && out.last().isEmpty()) {
            out.removeLast();
        }
        for (QByteArray& line : out) {
            if (line.endsWith('\r')) {
                line.chop(1);
            }
        }
        return out;
    }

private:
    QTemporaryDir dir_;
};
