#include "teamspeak/LoadedRemoteLibrary.h"

#include "records/Records.h"
#include "support/RaisesFailure.h"
#include "support/TempDir.h"
#include "window/Failure.h"

#include <QDir>
#include <QFile>
#include <array>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Every one of the six calls raises the failure.
void expectEveryCallFails(LoadedRemoteLibrary& library, int32_t number, const QString& part) {
    std::array<uint8_t, 1024 * 50> records{};
    std::array<int32_t, 1024> ids{};
    std::array<char, 1024> text{};
    int32_t count = 1024;
    const std::function<void()> calls[] = {
        [&] { library.tsrGetLastError(text.data(), 1024); },
        [&] { library.tsrGetVersion(records.data()); },
        [&] { library.tsrGetUserInfo(records.data()); },
        [&] { library.tsrGetServerInfo(records.data()); },
        [&] { library.tsrGetPlayers(records.data(), &count); },
        [&] { library.tsrGetSpeakers(ids.data(), &count); },
    };
    for (int round = 0; round < 2; ++round) {
        for (const auto& call : calls) {
            try {
                call();
                ADD_FAILURE() << "the call did not fail";
            } catch (const Failure& failure) {
                EXPECT_EQ(failure.number(), number);
                EXPECT_TRUE(failure.description().contains(part)) << failure.what();
            }
        }
    }
}

} // namespace

TEST(LoadedRemoteLibrary, MissingLibraryFailsEveryCall) {
    TempDir dir;
    LoadedRemoteLibrary library(dir.path());
    expectEveryCallFails(library, 53, QStringLiteral("File not found: ") + dir.path());
}

TEST(LoadedRemoteLibrary, AMissingFunctionFailsOnlyItsOwnCalls) {
    LoadedRemoteLibrary library(QStringLiteral(PARTIAL_LIBRARY_DIR));
    std::array<int32_t, 1024> ids{};
    int32_t count = 1024;
    const QString missing = QStringLiteral("Can't find DLL entry point tsrGetSpeakers in ") +
                            QDir(QStringLiteral(PARTIAL_LIBRARY_DIR)).filePath("libTSRemote.so");
    const auto speakersFail = [&] {
        try {
            library.tsrGetSpeakers(ids.data(), &count);
            ADD_FAILURE() << "tsrGetSpeakers did not fail";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.number(), 453);
            EXPECT_EQ(failure.description(), missing);
        }
    };
    speakersFail();

    // The other five reach the library, before and after the missing one is called again.
    for (int round = 0; round < 2; ++round) {
        std::array<uint8_t, records::version::kSize> version{};
        EXPECT_EQ(library.tsrGetVersion(version.data()), 0);
        EXPECT_EQ(records::readInt32(version.data() + records::version::kNumbers + 12), 6)
            << "the build";
        std::array<uint8_t, records::userInfo::kSize> user{};
        EXPECT_EQ(library.tsrGetUserInfo(user.data()), 0);
        EXPECT_EQ(records::readText(user.data(), records::player::kNickname), "Partial");
        std::array<uint8_t, records::serverInfo::kSize> server{};
        EXPECT_EQ(library.tsrGetServerInfo(server.data()), 7);
        EXPECT_EQ(records::readText(server.data(), records::serverInfo::kName), "Partial");
        std::array<uint8_t, 1024 * records::player::kSize> players{};
        count = 1024;
        EXPECT_EQ(library.tsrGetPlayers(players.data(), &count), 0);
        EXPECT_EQ(count, 1);
        EXPECT_EQ(records::readText(players.data(), records::player::kNickname), "ONLY");
        std::array<char, 1024> text{};
        EXPECT_EQ(library.tsrGetLastError(text.data(), 1024), 0);
        EXPECT_STREQ(text.data(), "partial");
        speakersFail();
    }
}

TEST(LoadedRemoteLibrary, ALibraryThatWasMissingIsLookedForAgainAfterTheRetryInterval) {
    TempDir dir;
    setenv("TS2_CLIENT_SIM_SOCKET", dir.file("absent.sock").toLocal8Bit().constData(), 1);
    LoadedRemoteLibrary::Clock::time_point now{std::chrono::hours(1)};
    LoadedRemoteLibrary library(dir.path(), [&] { return now; });
    std::array<int32_t, 1024> ids{};
    int32_t count = 1024;
    const auto speakers = [&] {
        count = 1024;
        return library.tsrGetSpeakers(ids.data(), &count);
    };
    EXPECT_THAT(speakers, RaisesFailure(53));
    now += std::chrono::seconds(3);
    EXPECT_THAT(speakers, RaisesFailure(53)) << "looked for again: still missing";

    // Installed now: not looked for again before the interval from the last look is over...
    ASSERT_TRUE(QFile::copy(QDir(QStringLiteral(STATICOR_PROGRAM_DIR)).filePath("libTSRemote.so"),
                            dir.file("libTSRemote.so")));
    now += LoadedRemoteLibrary::kRetryInterval - std::chrono::milliseconds(1);
    EXPECT_THAT(speakers, RaisesFailure(53));
    std::array<char, 1024> text{};
    EXPECT_THAT([&] { library.tsrGetLastError(text.data(), 1024); }, RaisesFailure(53));

    // ...and found at the first call after it: the stand-in answers, without a client.
    now += std::chrono::milliseconds(1);
    EXPECT_EQ(speakers(), -1000);
    library.tsrGetLastError(text.data(), 1024);
    EXPECT_STREQ(text.data(), "The TeamSpeak client is not running");
    unsetenv("TS2_CLIENT_SIM_SOCKET");
}

TEST(LoadedRemoteLibrary, TheStandInLibraryWithoutAClientSaysItIsNotRunning) {
    TempDir dir;
    setenv("TS2_CLIENT_SIM_SOCKET", dir.file("absent.sock").toLocal8Bit().constData(), 1);
    LoadedRemoteLibrary library(QStringLiteral(STATICOR_PROGRAM_DIR));
    std::array<int32_t, 1024> ids{};
    int32_t count = 1024;
    EXPECT_EQ(library.tsrGetSpeakers(ids.data(), &count), -1000);
    std::array<uint8_t, 1024 * 50> records{};
    EXPECT_NE(library.tsrGetPlayers(records.data(), &count), 0);
    std::array<char, 1024> text{};
    library.tsrGetLastError(text.data(), 1024);
    EXPECT_STREQ(text.data(), "The TeamSpeak client is not running");
    unsetenv("TS2_CLIENT_SIM_SOCKET");
}
