#include "clients/SnapshotLibrary.h"

#include "clients/EightBitText.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

ClientSnapshot connectedServer(int players) {
    ClientSnapshot s;
    s.running = true;
    s.connected = true;
    s.clientVersion = {3, 6, 2, 1695203293};
    s.server.name = "Tower";
    s.server.address = "10.0.0.1:9987";
    s.server.maximumUsers = 1024;
    for (int i = 0; i < players; ++i) {
        s.players.push_back({i + 1, 7, "PLAYER" + QByteArray::number(i + 1), 0, 0, 0});
    }
    s.self = s.players.front();
    s.speakers = {2, 3};
    return s;
}

QByteArray lastError(RemoteLibrary& library) {
    char text[1024];
    library.tsrGetLastError(text, sizeof(text));
    return text;
}

} // namespace

TEST(SnapshotLibrary, AClientThatDoesNotRunFailsEveryCallWithItsText) {
    ClientSnapshot s;
    s.lastError = "No TeamSpeak 3 client answers at 127.0.0.1:25639";
    SnapshotLibrary library(s);
    uint8_t record[records::serverInfo::kSize];
    std::vector<uint8_t> rows(records::kCapacity * records::player::kSize);
    std::vector<int32_t> ids(records::kCapacity);
    int32_t count = records::kCapacity;
    EXPECT_EQ(library.tsrGetVersion(record), -1000);
    EXPECT_EQ(library.tsrGetUserInfo(record), -1000);
    EXPECT_EQ(library.tsrGetServerInfo(record), -1000);
    EXPECT_EQ(library.tsrGetPlayers(rows.data(), &count), -1000);
    count = records::kCapacity;
    EXPECT_EQ(library.tsrGetSpeakers(ids.data(), &count), -1000);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(lastError(library), s.lastError);
}

TEST(SnapshotLibrary, ARunningClientWithoutAServerHasAVersionButNoPlayers) {
    ClientSnapshot s = connectedServer(3);
    s.connected = false;
    SnapshotLibrary library(s);
    uint8_t version[records::version::kSize];
    ASSERT_EQ(library.tsrGetVersion(version), 0);
    EXPECT_EQ(records::readInt32(version + 12), 1695203293);
    std::vector<uint8_t> rows(records::kCapacity * records::player::kSize);
    int32_t count = records::kCapacity;
    EXPECT_EQ(library.tsrGetPlayers(rows.data(), &count), 0);
    EXPECT_EQ(count, 0);
    std::vector<int32_t> ids(records::kCapacity);
    count = records::kCapacity;
    EXPECT_EQ(library.tsrGetSpeakers(ids.data(), &count), -1);
    uint8_t user[records::userInfo::kSize];
    EXPECT_EQ(library.tsrGetUserInfo(user), -1);
    EXPECT_EQ(lastError(library), QByteArray("Not connected to a server"));
}

TEST(SnapshotLibrary, AConnectedClientFillsEveryRecordAndNeverMoreThanTheRoomGiven) {
    const ClientSnapshot s = connectedServer(records::kCapacity);
    SnapshotLibrary library(s);
    std::vector<uint8_t> rows(records::kCapacity * records::player::kSize, 0xAA);
    int32_t count = records::kCapacity;
    ASSERT_EQ(library.tsrGetPlayers(rows.data(), &count), 0);
    ASSERT_EQ(count, records::kCapacity);
    const uint8_t* last = rows.data() + (records::kCapacity - 1) * records::player::kSize;
    EXPECT_EQ(records::readInt32(last + records::player::kId), records::kCapacity);
    EXPECT_EQ(records::readInt32(last + records::player::kChannel), 7);
    EXPECT_EQ(records::readText(last, records::player::kNickname), "PLAYER1024");
    // The rest of each record is zero, whatever the buffer held.
    EXPECT_EQ(records::readInt32(last + records::player::kFlags), 0);

    count = 10;
    ASSERT_EQ(library.tsrGetPlayers(rows.data(), &count), 0);
    EXPECT_EQ(count, 10);

    std::vector<int32_t> ids(1);
    count = 1;
    ASSERT_EQ(library.tsrGetSpeakers(ids.data(), &count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(ids[0], 2);

    uint8_t server[records::serverInfo::kSize];
    ASSERT_EQ(library.tsrGetServerInfo(server), 0);
    EXPECT_EQ(records::readText(server, records::serverInfo::kName), "Tower");
    EXPECT_EQ(records::readText(server, records::serverInfo::kAddress), "10.0.0.1:9987");
    EXPECT_EQ(records::readInt32(server + records::serverInfo::kMaximumUsers), 1024);
    // Nothing the client did not report is made up.
    EXPECT_EQ(records::readText(server, records::serverInfo::kPlatform), "");
    EXPECT_EQ(records::readInt32(server + records::serverInfo::kType), 0);

    uint8_t user[records::userInfo::kSize];
    ASSERT_EQ(library.tsrGetUserInfo(user), 0);
    EXPECT_EQ(records::readText(user, records::player::kNickname), "PLAYER1");
}

TEST(SnapshotLibrary, AnErrorTextIsCutToItsBufferWithAZero) {
    ClientSnapshot s;
    s.lastError = QByteArray(5000, 'x');
    SnapshotLibrary library(s);
    uint8_t record[records::version::kSize];
    library.tsrGetVersion(record);
    char text[8];
    library.tsrGetLastError(text, sizeof(text));
    EXPECT_EQ(QByteArray(text), QByteArray(7, 'x'));
}

TEST(EightBitText, TextsAreCutAtACharacterBoundaryWithinTheirWidth) {
    for (const QString& name :
         {QStringLiteral("Jörg"), QStringLiteral("Ελένη"), QStringLiteral("Мария"),
          QStringLiteral("李雷"), QStringLiteral("🛩️Pilot")}) {
        // Long enough to need a cut, in every width a cut may fall at.
        const QString longName = name.repeated(12);
        for (int width = 1; width <= 30; ++width) {
            const QByteArray cut = eightBit::cut(longName, width);
            ASSERT_LE(cut.size(), width) << name.toStdString();
            // A whole number of characters: it reads back as the text's own beginning.
            const QString back = QString::fromUtf8(cut);
            ASSERT_TRUE(longName.startsWith(back)) << name.toStdString() << " " << width;
            // The next character would not have fitted.
            const qsizetype at = back.size();
            const QString next = longName.mid(at, longName.at(at).isHighSurrogate() ? 2 : 1);
            ASSERT_GT((cut + next.toUtf8()).size(), width) << name.toStdString() << " " << width;
        }
    }
    EXPECT_EQ(eightBit::cut(QStringLiteral("EDDH_TWR"), eightBit::kNicknameBytes), "EDDH_TWR");
    EXPECT_EQ(eightBit::cut(QString(40, QLatin1Char('A')), eightBit::kNicknameBytes).size(), 29);
}
