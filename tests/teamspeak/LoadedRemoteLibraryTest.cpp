#include "teamspeak/LoadedRemoteLibrary.h"

#include "support/TempDir.h"
#include "window/Failure.h"

#include <array>
#include <cstdlib>
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

TEST(LoadedRemoteLibrary, LibraryLackingAFunctionFailsEveryCall) {
    LoadedRemoteLibrary library(QStringLiteral(PARTIAL_LIBRARY_DIR));
    expectEveryCallFails(library, 453, "Can't find DLL entry point tsrGetSpeakers in ");
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
