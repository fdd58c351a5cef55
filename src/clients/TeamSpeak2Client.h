#pragma once

#include "ClientBackend.h"
#include "teamspeak/LoadedRemoteLibrary.h"

// The TeamSpeak 2 client through its own remote-control library in the program directory.
class TeamSpeak2Client : public ClientBackend {
    Q_OBJECT

public:
    explicit TeamSpeak2Client(const QString& programDirectory) : library_(programDirectory) {}

    QString name() const override { return QStringLiteral("TeamSpeak 2"); }
    QString endpoint() const override { return LoadedRemoteLibrary::fileName(); }
    void start() override {}
    RemoteLibrary& library() override { return library_; }

private:
    LoadedRemoteLibrary library_;
};
