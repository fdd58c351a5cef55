#pragma once

#include "teamspeak/RemoteLibrary.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

// Which voice client the program follows, from the command line and STATICOR_CLIENT. These
// settings belong to the layer that stands in for the remote-control library only; config.cfg
// knows nothing of them.
struct ClientOptions {
    enum class Client { Auto, TeamSpeak2, TeamSpeak3, TeamSpeak5, Mumble };
    Client client = Client::Auto;
    QString ts3Host = QStringLiteral("127.0.0.1");
    quint16 ts3Port = 25639;
    QString ts5Host = QStringLiteral("127.0.0.1");
    quint16 ts5Port = 5899;
};

// What the command line asks for: options to run with, or text to print and an exit code.
struct CommandLine {
    std::optional<ClientOptions> options;
    QString output; // for standard output (--help, --version)
    QString error;  // for standard error
    int exitCode = 0;
};

// arguments as the program received them, the program's name first. environmentClient is
// STATICOR_CLIENT, the default when --client is not given.
CommandLine parseCommandLine(const QStringList& arguments, const QString& environmentClient,
                             const QString& version);

// The six operations for the chosen client: the TeamSpeak 2 library itself for ts2, else the
// back-ends behind a chooser. trace receives the "CLIENT " entries' texts.
std::unique_ptr<RemoteLibrary> makeClientLayer(const ClientOptions& options,
                                               const QString& programDirectory,
                                               std::function<void(const QString&)> trace);
