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
}

TEST(CommandLine, AnUnknownOrUnbuiltClientEndsWithStatusTwoAndSaysWhy) {
    for (const auto& [arguments, environment, says] :
         std::vector<std::tuple<QStringList, QString, QString>>{
             {{"--client=ts4"}, {}, "--client: unknown client \"ts4\""},
             {{"--client=mumble"}, {}, "--client: the client \"mumble\" is not supported"},
             {{"--client=ts5"}, {}, "not supported"},
             {{}, "teamspeak", "STATICOR_CLIENT: unknown client \"teamspeak\""},
             {{"--bogus"}, {}, "Unknown option 'bogus'"},
             {{"stray"}, {}, "unexpected argument \"stray\""},
             {{"--ts3-query=localhost"}, {}, "--ts3-query: \"localhost\" is not HOST:PORT"},
             {{"--ts3-query=:25639"}, {}, "is not HOST:PORT"},
             {{"--ts3-query=h:70000"}, {}, "is not HOST:PORT"},
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

    const CommandLine version = parse({"--version"});
    EXPECT_FALSE(version.options);
    EXPECT_EQ(version.output, QStringLiteral("staticor 1.0.4\n"));
}

TEST(CommandLine, TheClientQueryEndpointIsHostAndPort) {
    const CommandLine result = parse({"--ts3-query=[::1]:10011"});
    ASSERT_TRUE(result.options);
    EXPECT_EQ(result.options->ts3Host, QStringLiteral("::1"));
    EXPECT_EQ(result.options->ts3Port, 10011);
}

TEST(ClientQueryKey, TheKeyIsTheGeneralGroupsApiKey) {
    EXPECT_EQ(clientQueryKey::fromIni("[General]\r\napi_key=ABCD-1234\r\n"), "ABCD-1234");
    EXPECT_EQ(clientQueryKey::fromIni("[Other]\napi_key=NO\n[General]\nx=1\n api_key = YES \n"),
              "YES");
    EXPECT_EQ(clientQueryKey::fromIni("[Other]\napi_key=NO\n"), "");
    EXPECT_EQ(clientQueryKey::fromIni(""), "");
}
