#include "ClientOptions.h"

#include "ClientChooser.h"
#include "ClientQueryKey.h"
#include "MumbleClient.h"
#include "TeamSpeak2Client.h"
#include "TeamSpeak3Client.h"
#include "TeamSpeak5Client.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace {

const QString kProgram = QStringLiteral("staticor");

// The clients that can be named.
struct Named {
    const char* name;
    ClientOptions::Client client;
};
const Named kClients[] = {
    {"auto", ClientOptions::Client::Auto},      {"ts2", ClientOptions::Client::TeamSpeak2},
    {"ts3", ClientOptions::Client::TeamSpeak3}, {"ts5", ClientOptions::Client::TeamSpeak5},
    {"mumble", ClientOptions::Client::Mumble},
};

CommandLine failure(const QString& text) {
    CommandLine result;
    result.error = kProgram + QStringLiteral(": ") + text + QLatin1Char('\n');
    result.exitCode = 2;
    return result;
}

// The client named by value, or why it cannot be used (from names where it was given).
std::optional<ClientOptions::Client> clientNamed(const QString& value, const QString& where,
                                                 QString& problem) {
    for (const Named& named : kClients) {
        if (value == QLatin1String(named.name)) {
            return named.client;
        }
    }
    problem = QStringLiteral("%1: unknown client \"%2\" (choose auto, ts2, ts3, ts5 or mumble)")
                  .arg(where, value);
    return std::nullopt;
}

bool parseEndpoint(const QString& text, QString& host, quint16& port) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) {
        return false;
    }
    bool ok = false;
    const uint number = text.sliced(colon + 1).toUInt(&ok);
    if (!ok || number == 0 || number > 65535) {
        return false;
    }
    host = text.first(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.sliced(1, host.size() - 2); // [::1]:25639
    }
    port = quint16(number);
    return !host.isEmpty();
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments, const QString& environmentClient,
                             const QString& version) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays radio static and a microphone click while others talk in a voice "
                       "client."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and ends."));
    const QCommandLineOption showVersion({QStringLiteral("v"), QStringLiteral("version")},
                                         QStringLiteral("Shows the version and ends."));
    const QCommandLineOption client(
        QStringLiteral("client"),
        QStringLiteral("The voice client to follow: auto (the first one found: TeamSpeak 2, "
                       "TeamSpeak 3, TeamSpeak 5, Mumble), ts2, ts3, ts5 (TeamSpeak 5 and 6) or "
                       "mumble. Default: $STATICOR_CLIENT, else auto."),
        QStringLiteral("client"));
    const QCommandLineOption ts3Query(
        QStringLiteral("ts3-query"),
        QStringLiteral("Where the TeamSpeak 3 client's ClientQuery interface listens. "
                       "Default: 127.0.0.1:25639."),
        QStringLiteral("host:port"));
    const QCommandLineOption ts5Remote(
        QStringLiteral("ts5-remote"),
        QStringLiteral("Where the TeamSpeak 5 or 6 client's Remote Apps interface listens. "
                       "Default: 127.0.0.1:5899."),
        QStringLiteral("host:port"));
    parser.addOptions({help, showVersion, client, ts3Query, ts5Remote});

    if (!parser.parse(arguments)) {
        return failure(parser.errorText());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return failure(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    }
    if (parser.isSet(help)) {
        CommandLine result;
        result.output = parser.helpText().replace(
            QRegularExpression(QStringLiteral("^Usage: \\S+")), QStringLiteral("Usage: staticor"));
        return result;
    }
    if (parser.isSet(showVersion)) {
        CommandLine result;
        result.output = kProgram + QLatin1Char(' ') + version + QLatin1Char('\n');
        return result;
    }

    ClientOptions options;
    QString problem;
    if (parser.isSet(client)) {
        const auto chosen = clientNamed(parser.value(client), QStringLiteral("--client"), problem);
        if (!chosen) {
            return failure(problem);
        }
        options.client = *chosen;
    } else if (!environmentClient.isEmpty()) {
        const auto chosen =
            clientNamed(environmentClient, QStringLiteral("STATICOR_CLIENT"), problem);
        if (!chosen) {
            return failure(problem);
        }
        options.client = *chosen;
    }
    if (parser.isSet(ts3Query) &&
        !parseEndpoint(parser.value(ts3Query), options.ts3Host, options.ts3Port)) {
        return failure(
            QStringLiteral("--ts3-query: \"%1\" is not HOST:PORT").arg(parser.value(ts3Query)));
    }
    if (parser.isSet(ts5Remote) &&
        !parseEndpoint(parser.value(ts5Remote), options.ts5Host, options.ts5Port)) {
        return failure(
            QStringLiteral("--ts5-remote: \"%1\" is not HOST:PORT").arg(parser.value(ts5Remote)));
    }
    CommandLine result;
    result.options = options;
    return result;
}

std::unique_ptr<RemoteLibrary> makeClientLayer(const ClientOptions& options,
                                               const QString& programDirectory,
                                               std::function<void(const QString&)> trace) {
    if (options.client == ClientOptions::Client::TeamSpeak2) {
        // Exactly the library, as before there were other clients.
        return std::make_unique<LoadedRemoteLibrary>(programDirectory);
    }
    using Client = ClientOptions::Client;
    const auto follows = [&](Client client) {
        return options.client == Client::Auto || options.client == client;
    };
    std::vector<std::unique_ptr<ClientBackend>> backends;
    if (follows(Client::TeamSpeak2)) {
        backends.push_back(std::make_unique<TeamSpeak2Client>(programDirectory));
    }
    if (follows(Client::TeamSpeak3)) {
        backends.push_back(std::make_unique<TeamSpeak3Client>(options.ts3Host, options.ts3Port,
                                                              clientQueryKey::find));
    }
    if (follows(Client::TeamSpeak5)) {
        backends.push_back(std::make_unique<TeamSpeak5Client>(
            options.ts5Host, options.ts5Port,
            programDirectory + QLatin1Char('/') + QLatin1String(TeamSpeak5Client::kKeyFileName)));
    }
    if (follows(Client::Mumble)) {
        backends.push_back(std::make_unique<MumbleClient>(&MumbleClient::sessionBus));
    }
    return std::make_unique<ClientChooser>(std::move(backends), std::move(trace));
}
