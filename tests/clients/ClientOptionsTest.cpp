#include "clients/ClientOptions.h"

#include "clients/ClientQueryKey.h"

#include <gtest/gtest.h>

namespace {

CommandLine parse(QStringList arguments, const QString& environment = {}) {
    arguments.prepend(QStringLiteral("staticor"));
    return parseCommandLine(arguments, environment, QStringLiteral("1.0.4"));
}

} // namespace

TEST(CommandLine, AutoUnlessTheOptionOrTheEnvironmentNamesAClient) {
    const CommandLine plain = parse({});
    ASSERT_TRUE(plain.options);
    EXPECT_EQ(plain.options->client, ClientOptions::Client::Auto);
    EXPECT_EQ(plain.options->ts3Host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(plain.options->ts3Port, 25639);

    EXPECT_EQ(parse({}, "ts2").options->client, ClientOptions::Client::TeamSpeak2);
    // The option wins over the environment.
    EXPECT_EQ(parse({"--client=ts3"}, "ts2").options->client, ClientOptions::Client::TeamSpeak3);
    EXPECT_EQ(parse({"--client", "auto"}, "ts3").options->client, ClientOptions::Client::Auto);
    EXPECT_EQ(parse({"--client=ts5"}).options->client, ClientOptions::Client::TeamSpeak5);
    EXPECT_EQ(parse({}, "ts5").options->client, ClientOptions::Client::TeamSpeak5);
    EXPECT_EQ(parse({"--client=mumble"}, "ts3").options->client, ClientOptions::Client::Mumble);
    EXPECT_EQ(parse({}, "mumble").options->client, ClientOptions::Client::Mumble);
    EXPECT_EQ(plain.options->ts5Host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(plain.options->ts5Port, 5899);
}

TEST(CommandLine, AnUnknownClientOrAWrongEndpointEndsWithStatusTwoAndSaysWhy) {
    for (const auto& [arguments, environment, says] :
         std::vector<std::tuple<QStringList, QString, QString>>{
             {{"--client=ts4"}, {}, "--client: unknown client \"ts4\""},
             {{"--client=murmur"},
              {},
              "--client: unknown client \"murmur\" (choose auto, ts2, ts3, ts5 or mumble)"},
             {{}, "teamspeak", "STATICOR_CLIENT: unknown client \"teamspeak\""},
             {{"--bogus"}, {}, "Unknown option 'bogus'"},
             {{"stray"}, {}, "unexpected argument \"stray\""},
             {{"--ts3-query=localhost"}, {}, "--ts3-query: \"localhost\" is not HOST:PORT"},
             {{"--ts3-query=:25639"}, {}, "is not HOST:PORT"},
             {{"--ts3-query=h:70000"}, {}, "is not HOST:PORT"},
             {{"--ts5-remote=5899"}, {}, "--ts5-remote: \"5899\" is not HOST:PORT"},
             {{"--ts5-remote=[]:5899"}, {}, "--ts5-remote: \"[]:5899\" is not HOST:PORT"},
         }) {
        const CommandLine result = parse(arguments, environment);
        EXPECT_FALSE(result.options) << says.toStdString();
        EXPECT_EQ(result.exitCode, 2) << says.toStdString();
        EXPECT_TRUE(result.error.startsWith("staticor: ")) << result.error.toStdString();
        EXPECT_TRUE(result.error.contains(says)) << result.error.toStdString();
        EXPECT_TRUE(result.output.isEmpty());
    }
}

TEST(CommandLine, HelpAndVersionPrintAndEnd) {
    const CommandLine help = parse({"--help"});
    EXPECT_FALSE(help.options);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.output.startsWith("Usage: staticor")) << help.output.toStdString();
    EXPECT_TRUE(help.output.contains("--client <client>"));
    EXPECT_TRUE(help.output.contains("--ts3-query <host:port>"));
    EXPECT_TRUE(help.output.contains("--ts5-remote <host:port>"));
    EXPECT_TRUE(help.output.simplified().contains(
        "TeamSpeak 5, Mumble), ts2, ts3, ts5 (TeamSpeak 5 and 6) or mumble"))
        << help.output.toStdString();

    const CommandLine version = parse({"--version"});
    EXPECT_FALSE(version.options);
    EXPECT_EQ(version.output, QStringLiteral("staticor 1.0.4\n"));
}

TEST(CommandLine, TheClientQueryEndpointIsHostAndPort) {
    const CommandLine result = parse({"--ts3-query=[::1]:10011"});
    ASSERT_TRUE(result.options);
    EXPECT_EQ(result.options->ts3Host, QStringLiteral("::1"));
    EXPECT_EQ(result.options->ts3Port, 10011);
    const CommandLine remote = parse({"--client=ts5", "--ts5-remote=localhost:5900"});
    ASSERT_TRUE(remote.options);
    EXPECT_EQ(remote.options->ts5Host, QStringLiteral("localhost"));
    EXPECT_EQ(remote.options->ts5Port, 5900);
}

// The clients looked for, in order, as the not-found text names them; nothing is contacted
// before the first call of an operation that needs a client.
TEST(CommandLine, TheClientsLookedForFollowTheChoice) {
    auto lookedFor = [](ClientOptions::Client client) {
        ClientOptions options;
        options.client = client;
        options.ts5Port = 5901;
        const auto layer = makeClientLayer(options, QStringLiteral("/nonexistent"), {});
        char text[512] = {};
        layer->tsrGetLastError(text, sizeof text);
        return QString::fromLocal8Bit(text);
    };
    const QString all = lookedFor(ClientOptions::Client::Auto);
    const qsizetype ts2 = all.indexOf(QStringLiteral("TeamSpeak 2"));
    const qsizetype ts3 = all.indexOf(QStringLiteral("TeamSpeak 3 ClientQuery 127.0.0.1:25639"));
    const qsizetype ts5 = all.indexOf(QStringLiteral("TeamSpeak 5 127.0.0.1:5901"));
    EXPECT_TRUE(ts2 >= 0 && ts2 < ts3 && ts3 < ts5) << all.toStdString();
    const QString five = lookedFor(ClientOptions::Client::TeamSpeak5);
    EXPECT_TRUE(five.contains(QStringLiteral("TeamSpeak 5 127.0.0.1:5901"))) << five.toStdString();
    EXPECT_FALSE(five.contains(QStringLiteral("TeamSpeak 3"))) << five.toStdString();
    EXPECT_FALSE(lookedFor(ClientOptions::Client::TeamSpeak3).contains("TeamSpeak 5"));
}

TEST(ClientQueryKey, TheKeyIsTheGeneralGroupsApiKey) {
    EXPECT_EQ(clientQueryKey::fromIni("[General]\r\napi_key=ABCD-1234\r\n"), "ABCD-1234");
    EXPECT_EQ(clientQueryKey::fromIni("[Other]\napi_key=NO\n[General]\nx=1\n api_key = YES \n"),
              "YES");
    EXPECT_EQ(clientQueryKey::fromIni("[Other]\napi_key=NO\n"), "");
    EXPECT_EQ(clientQueryKey::fromIni(""), "");
}
