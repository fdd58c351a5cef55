#include "ClientState.h"

#include "Scenario.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace tsremote;

namespace {

constexpr size_t kRow = records::player::kSize;

struct Reply {
    ReplyHeader header{};
    std::vector<uint8_t> payload;
    std::string error;
};

class ClientStateTest : public ::testing::Test {
protected:
    void run(const std::string& line) {
        std::string error;
        const std::optional<Command> c = parseInteractiveLine(line, error);
        ASSERT_TRUE(c.has_value()) << line << ": " << error;
        state.apply(*c);
    }
    Reply ask(Operation operation, int32_t capacity = 1024) const {
        const std::vector<uint8_t> bytes = state.answer({kRequestMagic, operation, capacity});
        Reply r;
        EXPECT_GE(bytes.size(), sizeof(ReplyHeader));
        std::memcpy(&r.header, bytes.data(), sizeof(ReplyHeader));
        EXPECT_EQ(r.header.magic, kReplyMagic);
        EXPECT_EQ(bytes.size(), sizeof(ReplyHeader) + r.header.payloadSize + r.header.errorSize);
        r.payload.assign(bytes.begin() + sizeof(ReplyHeader),
                         bytes.begin() + sizeof(ReplyHeader) + r.header.payloadSize);
        r.error.assign(bytes.begin() + sizeof(ReplyHeader) + r.header.payloadSize, bytes.end());
        return r;
    }
    static int32_t at(const std::vector<uint8_t>& b, size_t offset) {
        return records::readInt32(b.data() + offset);
    }
    // A text field of the record that starts at row.
    static std::string text(const std::vector<uint8_t>& b, records::TextField field,
                            size_t row = 0) {
        return std::string(records::readText(b.data() + row, field));
    }

    ClientState state;
};

} // namespace

TEST_F(ClientStateTest, StartsRunningNotConnectedAsVersion2_0_32_60) {
    const Reply version = ask(OpVersion);
    ASSERT_EQ(version.payload.size(), 16u);
    EXPECT_EQ(at(version.payload, 0), 2);
    EXPECT_EQ(at(version.payload, 4), 0);
    EXPECT_EQ(at(version.payload, 8), 32);
    EXPECT_EQ(at(version.payload, 12), 60);
    EXPECT_EQ(ask(OpSpeakers).header.result, -1);
    const Reply players = ask(OpPlayers);
    EXPECT_EQ(players.header.result, 0);
    EXPECT_EQ(players.header.count, 0);
    EXPECT_NE(ask(OpUserInfo).header.result, 0);
}

TEST_F(ClientStateTest, PlayerRecordsInThePackedLayout) {
    run("connect 127.0.0.1:8767");
    run("join 300 \"DLH 123\" 4 9 8 -1");
    const Reply r = ask(OpPlayers);
    ASSERT_EQ(r.header.count, 2);
    ASSERT_EQ(r.payload.size(), 100u);
    // The local user first, then the players in the order they joined.
    EXPECT_EQ(at(r.payload, 0), 1);
    EXPECT_EQ(text(r.payload, records::player::kNickname), "Observer");
    EXPECT_EQ(at(r.payload, kRow + records::player::kId), 300);
    EXPECT_EQ(at(r.payload, kRow + records::player::kChannel), 4);
    EXPECT_EQ(text(r.payload, records::player::kNickname, kRow), "DLH 123");
    EXPECT_EQ(at(r.payload, kRow + records::player::kChannelPrivileges), 9);
    EXPECT_EQ(at(r.payload, kRow + records::player::kPlayerPrivileges), 8);
    EXPECT_EQ(at(r.payload, kRow + records::player::kFlags), -1);
}

TEST_F(ClientStateTest, AThirtyByteNicknameFillsItsFieldWithoutAZero) {
    run("connect a:1");
    run("self 5 ABCDEFGHIJKLMNOPQRSTUVWXYZ1234");
    const Reply user = ask(OpUserInfo);
    ASSERT_EQ(user.header.result, 0);
    ASSERT_EQ(user.payload.size(), 150u);
    EXPECT_EQ(at(user.payload, 0), 5);
    EXPECT_EQ(text(user.payload, records::player::kNickname), "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234");
    EXPECT_EQ(user.payload[records::player::kNickname.end()], 0);
}

TEST_F(ClientStateTest, ServerRecordInThePackedLayout) {
    run("connect 127.0.0.1:8767 \"Radio Net\"");
    run("server Win32 \"Hello all\"");
    const Reply r = ask(OpServerInfo);
    ASSERT_EQ(r.payload.size(), 482u);
    EXPECT_EQ(text(r.payload, records::serverInfo::kName), "Radio Net");
    EXPECT_EQ(text(r.payload, records::serverInfo::kWelcome), "Hello all");
    EXPECT_EQ(text(r.payload, records::serverInfo::kPlatform), "Win32");
    EXPECT_EQ(text(r.payload, records::serverInfo::kAddress), "127.0.0.1:8767");
    EXPECT_EQ(text(r.payload, records::serverInfo::kHostName), "127.0.0.1");
    EXPECT_EQ(at(r.payload, records::serverInfo::kPlayers), 1) << "the local user";
}

TEST_F(ClientStateTest, NeverMoreRecordsThanTheCallerHasRoomFor) {
    run("connect a:1");
    run("crowd 2000");
    const Reply players = ask(OpPlayers, 1024);
    EXPECT_EQ(players.header.count, 1024);
    EXPECT_EQ(players.payload.size(), 1024u * 50);
    EXPECT_EQ(text(players.payload, records::player::kNickname, kRow), "PLAYER0001");
    EXPECT_EQ(at(players.payload, kRow), 1000);
    EXPECT_EQ(text(players.payload, records::player::kNickname, 1023 * kRow), "PLAYER1023");
    for (int id = 1000; id < 1010; ++id) {
        run("talk " + std::to_string(id));
    }
    const Reply speakers = ask(OpSpeakers, 4);
    EXPECT_EQ(speakers.header.count, 4);
    EXPECT_EQ(speakers.payload.size(), 16u);
    EXPECT_EQ(at(speakers.payload, 12), 1003);
    EXPECT_EQ(ask(OpPlayers, 0).payload.size(), 0u);
}

TEST_F(ClientStateTest, TalkStopLeaveAndDisconnect) {
    run("connect a:1");
    run("join 7 A");
    run("join 8 B");
    run("talk 8");
    run("talk 7");
    run("talk 8");
    Reply r = ask(OpSpeakers);
    ASSERT_EQ(r.header.count, 2);
    EXPECT_EQ(at(r.payload, 0), 8);
    EXPECT_EQ(at(r.payload, 4), 7);
    run("stop 8");
    r = ask(OpSpeakers);
    ASSERT_EQ(r.header.count, 1);
    run("leave 7");
    EXPECT_EQ(ask(OpSpeakers).header.count, 0) << "who leaves stops talking";
    EXPECT_EQ(ask(OpPlayers).header.count, 2);
    run("disconnect");
    EXPECT_EQ(ask(OpSpeakers).header.result, -1);
    EXPECT_EQ(ask(OpPlayers).header.count, 0);
    run("connect a:1");
    EXPECT_EQ(ask(OpPlayers).header.count, 1) << "nobody but the local user after a reconnect";
}

TEST_F(ClientStateTest, FailuresUntilRestored) {
    run("connect a:1");
    run("fail tsrGetSpeakers 12 \"Broken pipe\"");
    const Reply failed = ask(OpSpeakers);
    EXPECT_EQ(failed.header.result, 12);
    EXPECT_EQ(failed.payload.size(), 0u);
    EXPECT_EQ(failed.error, "Broken pipe");
    EXPECT_EQ(ask(OpPlayers).header.result, 0) << "only that function fails";
    run("fail tsrGetSpeakers 0");
    EXPECT_EQ(ask(OpSpeakers).header.result, 0);
    run("stall 250");
    EXPECT_EQ(state.stallMs(), 250);
    std::string error;
    EXPECT_FALSE(state.apply(*parseInteractiveLine("quit", error)));
}
