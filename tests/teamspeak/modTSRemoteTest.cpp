#include "teamspeak/modTSRemote.h"

#include "config/ErrorLog.h"
#include "support/FakeRemoteLibrary.h"
#include "support/LogEntries.h"
#include "support/TempDir.h"
#include "teamspeak/DescriptionTexts.h"
#include "window/MainWindow.h"

#include <array>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace {

// A library that hands back bytes written by the test at the layout's literal offsets, and
// checks that every buffer arrives zeroed with the full capacity.
class RawLibrary : public FakeRemoteLibrary {
public:
    std::vector<uint8_t> playerBytes;
    bool buffersWereClean = true;

    int32_t tsrGetPlayers(uint8_t* records, int32_t* count) override {
        calls.emplace_back("tsrGetPlayers");
        buffersWereClean &= *count == 1024 && std::all_of(records, records + 1024 * 50,
                                                          [](uint8_t b) { return b == 0; });
        std::copy(playerBytes.begin(), playerBytes.end(), records);
        *count = playersCount.value_or(int32_t(playerBytes.size() / 50));
        return playersResult;
    }
    int32_t tsrGetSpeakers(int32_t* ids, int32_t* count) override {
        buffersWereClean &=
            *count == 1024 && std::all_of(ids, ids + 1024, [](int32_t i) { return i == 0; });
        return FakeRemoteLibrary::tsrGetSpeakers(ids, count);
    }
};

class ModTSRemoteTest : public ::testing::Test {
protected:
    TempDir dir;
    MainWindow m;
    ErrorLog log{dir.path()};
    RawLibrary library;
    modTSRemote ts{m, library, log};
};

std::array<uint8_t, 4> bytes(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return {b0, b1, b2, b3};
}

} // namespace

TEST(Int32Decoding, FourLittleEndianBytesAsTwosComplement) {
    EXPECT_EQ(modTSRemote::decodeInt32(bytes(0xFF, 0xFF, 0xFF, 0xFF).data()), -1);
    EXPECT_EQ(modTSRemote::decodeInt32(bytes(0x00, 0x80, 0x00, 0x00).data()), 32768);
    EXPECT_EQ(modTSRemote::decodeInt32(bytes(0x80, 0x00, 0x00, 0x00).data()), 128);
    EXPECT_EQ(modTSRemote::decodeInt32(bytes(0x00, 0x00, 0x80, 0x00).data()), 8388608);
    EXPECT_EQ(modTSRemote::decodeInt32(bytes(0x00, 0x00, 0x00, 0x80).data()), INT32_MIN);
    EXPECT_EQ(modTSRemote::decodeInt32(bytes(0xFF, 0xFF, 0xFF, 0x7F).data()), INT32_MAX);
    EXPECT_EQ(modTSRemote::decodeInt32(bytes(0x01, 0x02, 0x03, 0x04).data()), 0x04030201);
    EXPECT_EQ(modTSRemote::decodeInt32(bytes(0xFE, 0xFF, 0xFF, 0xFF).data()), -2);
}

TEST(Int32Decoding, AnyByteOffset) {
    const uint8_t packed[] = {0xAA, 0x11, 0x00, 0x00, 0x00, 0xBB};
    EXPECT_EQ(modTSRemote::decodeInt32(packed + 1), 17);
}

TEST(TextFields, EndAtTheFirstZeroOrFillTheirWidth) {
    const uint8_t field[6] = {'A', 'B', 0, 'C', 'D', 'E'};
    EXPECT_EQ(modTSRemote::fieldText(field, 6), "AB");
    const uint8_t full[3] = {'X', 'Y', 'Z'};
    EXPECT_EQ(modTSRemote::fieldText(full, 3), "XYZ");
    const uint8_t empty[2] = {0, 'Q'};
    EXPECT_EQ(modTSRemote::fieldText(empty, 2), "");
}

TEST(TextFields, AreInTheLocalesEncodingAndDecodeBrokenBytesAsReplacements) {
    const QString names[] = {
        QStringLiteral("J\u00f6rg"), QStringLiteral("\u0395\u03bb\u03ad\u03bd\u03b7"),
        QStringLiteral("\u041c\u0430\u0440\u0438\u044f"), QStringLiteral("\u674e\u96f7")};
    for (const QString& name : names) {
        std::array<uint8_t, 30> field{};
        const QByteArray bytes = name.toLocal8Bit();
        std::memcpy(field.data(), bytes.constData(), size_t(bytes.size()));
        EXPECT_EQ(modTSRemote::fieldText(field.data(), 30), name);
    }
    // An older client's Latin-1, and a lead byte with nothing after it before the zero: each
    // byte that is no text becomes one replacement character, the rest is kept.
    const uint8_t latin1[6] = {'J', 0xF6, 'r', 'g', 0, 'x'};
    EXPECT_EQ(modTSRemote::fieldText(latin1, 6), QStringLiteral("J\ufffdrg"));
    const uint8_t unfinished[4] = {'J', 0xC3, 0, 0};
    EXPECT_EQ(modTSRemote::fieldText(unfinished, 4), QStringLiteral("J\ufffd"));
    const uint8_t brokenInFullField[4] = {0xFF, 'A', 0xC3, 0xB6};
    EXPECT_EQ(modTSRemote::fieldText(brokenInFullField, 4), QStringLiteral("\ufffdA\u00f6"));
}

TEST(TextFields, ACharacterCutByTheEndOfAFilledFieldIsDropped) {
    // The client cuts a nickname at the field's 30 bytes, here inside a character of two
    // bytes and, after 28 single bytes, inside one of three.
    const QByteArray twoByte = "A" + QStringLiteral("\u00d6").repeated(15).toLocal8Bit();
    ASSERT_EQ(twoByte.size(), 31);
    EXPECT_EQ(modTSRemote::fieldText(reinterpret_cast<const uint8_t*>(twoByte.constData()), 30),
              "A" + QStringLiteral("\u00d6").repeated(14));
    const QByteArray threeByte = QByteArray(28, 'x') + QStringLiteral("\u674e").toLocal8Bit();
    ASSERT_EQ(threeByte.size(), 31);
    EXPECT_EQ(modTSRemote::fieldText(reinterpret_cast<const uint8_t*>(threeByte.constData()), 30),
              QString(28, u'x'));
    // Filled exactly by whole characters, nothing is lost.
    const QByteArray whole = QStringLiteral("\u00d6").repeated(15).toLocal8Bit();
    EXPECT_EQ(modTSRemote::fieldText(reinterpret_cast<const uint8_t*>(whole.constData()), 30),
              QStringLiteral("\u00d6").repeated(15));
}

TEST_F(ModTSRemoteTest, PlayerRecordsAreReadAtTheirOffsets) {
    library.playerBytes.assign(100, 0);
    uint8_t* r = library.playerBytes.data();
    // Record 0: ID 17, channel 3, "DLH123", channel privileges 9, player privileges 8, flags 24.
    namespace player = records::player;
    r[player::kId] = 17;
    r[player::kChannel] = 3;
    std::memcpy(r + player::kNickname.offset, "DLH123", 6);
    r[player::kChannelPrivileges] = 9;
    r[player::kPlayerPrivileges] = 8;
    r[player::kFlags] = 24;
    // Record 1 follows at once: ID 0x0100 = 256, channel -1, a 30-byte nickname.
    uint8_t* r1 = r + player::kSize;
    r1[player::kId + 1] = 1;
    std::memset(r1 + player::kChannel, 0xFF, 4);
    std::memcpy(r1 + player::kNickname.offset, "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234", 30);
    r1[player::kChannelPrivileges] = 1;
    std::memset(r1 + player::kPlayerPrivileges, 0xFF, 4); // -1: bit 8 set
    ASSERT_TRUE(ts.GetPlayers());
    EXPECT_TRUE(library.buffersWereClean);
    ASSERT_EQ(ts.players().size(), 2u);
    const PlayerEntry& a = ts.players()[0];
    EXPECT_EQ(a.playerId, 17);
    EXPECT_EQ(a.channelId, 3);
    EXPECT_EQ(a.nickname, "DLH123");
    EXPECT_EQ(a.channelPrivileges, "Admin,Voice");
    EXPECT_EQ(a.playerPrivileges, "Registered");
    EXPECT_EQ(a.playerFlags, "Away,InputMuted");
    const PlayerEntry& b = ts.players()[1];
    EXPECT_EQ(b.playerId, 256);
    EXPECT_EQ(b.channelId, -1);
    EXPECT_EQ(b.nickname, "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234");
    EXPECT_EQ(b.channelPrivileges, "Admin");
    EXPECT_EQ(b.playerPrivileges, "SuperServerAdmin,ServerAdmin,CanRegister,Registered");
    EXPECT_EQ(b.playerFlags, "none");
}

TEST_F(ModTSRemoteTest, NicknamesAreDecodedFromTheLocalesEncodingAndCutAtWholeCharacters) {
    // As the client sends them: the bytes as typed, cut at the field's 30 bytes.
    const std::vector<FakeRemoteLibrary::Player> players = {
        {1, 1, QStringLiteral("J\u00f6rg").toStdString()},
        {2, 1, QStringLiteral("\u041c\u0430\u0440\u0438\u044f").toStdString()},
        {3, 1, ("B" + QStringLiteral("\u00e4").repeated(15)).toStdString()},
        {4, 1, "J\xf6rg"}};
    library.playerBytes.assign(players.size() * records::player::kSize, 0);
    for (size_t i = 0; i < players.size(); ++i) {
        FakeRemoteLibrary::putPlayer(library.playerBytes.data() + i * records::player::kSize,
                                     players[i]);
    }
    ASSERT_TRUE(ts.GetPlayers());
    ASSERT_EQ(ts.players().size(), 4u);
    EXPECT_EQ(ts.players()[0].nickname, QStringLiteral("J\u00f6rg"));
    EXPECT_EQ(ts.players()[1].nickname, QStringLiteral("\u041c\u0430\u0440\u0438\u044f"));
    EXPECT_EQ(ts.players()[2].nickname, "B" + QStringLiteral("\u00e4").repeated(14));
    EXPECT_EQ(ts.players()[3].nickname, QStringLiteral("J\ufffdrg"));

    // A row whose bytes change is decoded again; the same bytes give the same name.
    const std::string joern = QStringLiteral("J\u00f6rn").toStdString();
    std::memcpy(library.playerBytes.data() + records::player::kNickname.offset, joern.data(),
                joern.size());
    ASSERT_TRUE(ts.GetPlayers());
    EXPECT_EQ(ts.players()[0].nickname, QStringLiteral("J\u00f6rn"));
    EXPECT_EQ(ts.players()[1].nickname, QStringLiteral("\u041c\u0430\u0440\u0438\u044f"));
}

TEST_F(ModTSRemoteTest, EachChangeToARecordShowsAtTheNextQueryAndOnlyInItsRow) {
    using Player = FakeRemoteLibrary::Player;
    std::vector<Player> players = {
        {1, 1, "Observer", 0, 0, 0}, {17, 2, "DLH123", 9, 8, 24}, {4, 1, "DGF1411", 1, 0, 0}};
    const auto serve = [&] {
        library.playerBytes.assign(players.size() * records::player::kSize, 0);
        for (size_t i = 0; i < players.size(); ++i) {
            FakeRemoteLibrary::putPlayer(library.playerBytes.data() + i * records::player::kSize,
                                         players[i]);
        }
    };
    const auto expectRows = [&](const char* what) {
        ASSERT_EQ(ts.players().size(), players.size()) << what;
        for (size_t i = 0; i < players.size(); ++i) {
            const PlayerEntry& e = ts.players()[i];
            EXPECT_EQ(e.playerId, players[i].id) << what << " row " << i;
            EXPECT_EQ(e.channelId, players[i].channel) << what << " row " << i;
            EXPECT_EQ(e.nickname, QString::fromStdString(players[i].nickname))
                << what << " row " << i;
            EXPECT_EQ(e.channelPrivileges,
                      DescriptionTexts::ChannelPrivileges(players[i].channelPrivileges))
                << what << " row " << i;
            EXPECT_EQ(e.playerPrivileges,
                      DescriptionTexts::PlayerPrivileges(players[i].playerPrivileges))
                << what << " row " << i;
            EXPECT_EQ(e.playerFlags, DescriptionTexts::PlayerFlags(players[i].flags))
                << what << " row " << i;
        }
    };
    serve();
    ASSERT_TRUE(ts.GetPlayers());
    expectRows("first");

    const std::pair<const char*, std::function<void(Player&)>> changes[] = {
        {"id", [](Player& p) { p.id = 18; }},
        {"channel", [](Player& p) { p.channel = 7; }},
        {"nickname", [](Player& p) { p.nickname = "DLH124"; }},
        {"longer nickname", [](Player& p) { p.nickname = "DLH1240"; }},
        {"channel privileges", [](Player& p) { p.channelPrivileges = 16; }},
        {"player privileges", [](Player& p) { p.playerPrivileges = 4; }},
        {"flags", [](Player& p) { p.flags = 1; }},
        {"no nickname", [](Player& p) { p.nickname.clear(); }},
    };
    for (const auto& [what, change] : changes) {
        change(players[1]);
        serve();
        ASSERT_TRUE(ts.GetPlayers()) << what;
        expectRows(what);
    }

    // A failed query with other bytes changes nothing, nor does it hide the next change.
    const std::vector<Player> before = players;
    players[2].nickname = "FAILED";
    serve();
    library.playersResult = 3;
    EXPECT_FALSE(ts.GetPlayers());
    library.playersResult = 0;
    players = before;
    expectRows("after the failure");
    players[0].flags = 8;
    serve();
    ASSERT_TRUE(ts.GetPlayers());
    expectRows("after the failure, changed");

    // Fewer rows, then more again: the new rows are read whole.
    players.resize(1);
    serve();
    ASSERT_TRUE(ts.GetPlayers());
    expectRows("shrunk");
    players.push_back({40, 3, "", 0, 0, 0});
    players.push_back({4, 1, "DGF1411", 1, 0, 0});
    serve();
    ASSERT_TRUE(ts.GetPlayers());
    expectRows("grown");
}

TEST_F(ModTSRemoteTest, FailedOrImpossiblePlayerAnswersKeepThePreviousRows) {
    library.playerBytes.assign(50, 0);
    library.playerBytes[0] = 5;
    ASSERT_TRUE(ts.GetPlayers());
    ASSERT_EQ(ts.players().size(), 1u);

    library.playersResult = 3;
    EXPECT_FALSE(ts.GetPlayers());
    EXPECT_EQ(ts.players().size(), 1u);

    // Counts outside the 1024 records given would read past the buffer.
    library.playersResult = 0;
    for (int32_t bad : {-1, 1025, INT32_MAX, INT32_MIN}) {
        library.playersCount = bad;
        EXPECT_FALSE(ts.GetPlayers()) << bad;
        ASSERT_EQ(ts.players().size(), 1u) << bad;
        EXPECT_EQ(ts.players()[0].playerId, 5);
    }
    // An empty server is an empty table.
    library.playersCount = 0;
    EXPECT_TRUE(ts.GetPlayers());
    EXPECT_TRUE(ts.players().empty());
}

TEST_F(ModTSRemoteTest, PlayerFailureReportsTheLastErrorOnlyWhenLoggingIsExactlyOne) {
    library.playersResult = 7;
    library.lastError = "client went away";
    ts.GetPlayers(); // logging off
    m.logErrors->setValue(2);
    ts.GetPlayers();
    EXPECT_FALSE(dir.exists("errorlog.txt"));
    m.logErrors->setValue(1);
    ts.GetPlayers();
    EXPECT_EQ(logMessagesIn(dir.path()), QStringList{"client went away"});
    EXPECT_EQ(library.count("tsrGetLastError"), 3); // fetched every time, written once
}

TEST_F(ModTSRemoteTest, SpeakerResultsMapToConnectionStates) {
    m.logErrors->setValue(1);
    library.speakers = {4, 9};
    EXPECT_EQ(ts.GetSpeakers(), modTSRemote::Connected);
    EXPECT_EQ(ts.speakerIds(), (std::vector<int32_t>{4, 9}));
    EXPECT_TRUE(library.buffersWereClean);

    library.speakers.clear();
    EXPECT_EQ(ts.GetSpeakers(), modTSRemote::Connected);
    EXPECT_EQ(ts.speakerIds(), std::vector<int32_t>(1024, 0));

    library.speakersResult = -1000;
    EXPECT_EQ(ts.GetSpeakers(), modTSRemote::NotRunning);
    library.speakersResult = -1;
    EXPECT_EQ(ts.GetSpeakers(), modTSRemote::Running);
    EXPECT_EQ(ts.speakerIds(), std::vector<int32_t>(1024, 0)); // reset whatever the result
    EXPECT_FALSE(dir.exists("errorlog.txt")) << "-1000 and -1 are no errors";

    library.speakersResult = -5;
    library.lastError = "odd";
    EXPECT_EQ(ts.GetSpeakers(), modTSRemote::Unknown);
    EXPECT_EQ(logMessagesIn(dir.path()), QStringList{"odd"});
}

TEST_F(ModTSRemoteTest, ImpossibleSpeakerCountsAreNoAnswer) {
    library.speakers = {4};
    for (int32_t bad : {-1, 1025}) {
        library.speakersCount = bad;
        EXPECT_EQ(ts.GetSpeakers(), modTSRemote::Unknown) << bad;
        EXPECT_EQ(ts.speakerIds(), std::vector<int32_t>(1024, 0));
    }
    library.speakersCount = 1024;
    EXPECT_EQ(ts.GetSpeakers(), modTSRemote::Connected);
    EXPECT_EQ(ts.speakerIds().size(), 1024u);
}

TEST_F(ModTSRemoteTest, ClientVersionInPlainDecimal) {
    EXPECT_EQ(ts.GetClientVersion(), "2.0.32.60");
    library.version[0] = -1;
    library.version[1] = 0;
    library.version[2] = 7;
    library.version[3] = 100000;
    EXPECT_EQ(ts.GetClientVersion(), "-1.0.7.100000");
}

TEST_F(ModTSRemoteTest, NicknameDetectionTakes29BytesAndTrimsBlanks) {
    library.self.nickname = "  DLH123 ";
    ts.DetectNickname();
    EXPECT_EQ(m.lblPID->caption(), "DLH123");

    library.self.nickname = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234"; // 30 bytes, no zero
    ts.DetectNickname();
    EXPECT_EQ(m.lblPID->caption(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ123");

    // Only blanks are trimmed.
    library.self.nickname = "\tX";
    ts.DetectNickname();
    EXPECT_EQ(m.lblPID->caption(), "\tX");
}

TEST_F(ModTSRemoteTest, FailedUserQueryLeavesTheNicknameEmptyAndIsReported) {
    m.lblPID->setCaption("Earlier");
    m.logErrors->setValue(1);
    library.userInfoResult = 1;
    library.lastError = "not connected";
    ts.DetectNickname();
    EXPECT_EQ(m.lblPID->caption(), "");
    EXPECT_EQ(logMessagesIn(dir.path()), QStringList{"not connected"});
}

TEST_F(ModTSRemoteTest, ServerDescriptionFields) {
    library.server.type = 10;
    library.server.codecs = 33;
    library.server.maximumUsers = -2;
    library.server.playerCount = 12;
    library.server.channels = 4;
    library.server.welcome = std::string(256, 'w');
    const ServerDescription d = ts.GetServerDescription();
    EXPECT_EQ(d.serverName, "Test Server");
    EXPECT_EQ(d.welcomeMessage, QString(256, QLatin1Char('w')));
    EXPECT_EQ(d.version, "2.0.20.1");
    EXPECT_EQ(d.platform, "Linux");
    EXPECT_EQ(d.serverAddress, "127.0.0.1:8767");
    EXPECT_EQ(d.hostName, "127.0.0.1");
    EXPECT_EQ(d.serverType, "Commercial Public Server");
    EXPECT_EQ(d.maximumUsers, -2);
    EXPECT_EQ(d.codecs, "Celp 5.1, Speex 3.4");
    EXPECT_EQ(d.channelCount, 4);
    EXPECT_EQ(d.playerCount, 12);
}

TEST_F(ModTSRemoteTest, FailedServerQueryGivesTheZeroedRecord) {
    library.serverInfoFails = true;
    const ServerDescription d = ts.GetServerDescription();
    EXPECT_EQ(d.serverAddress, "");
    EXPECT_EQ(d.version, "0.0.0.0");
    EXPECT_EQ(d.serverType, "");
    EXPECT_EQ(d.codecs, "");
    EXPECT_EQ(d.playerCount, 0);
}
