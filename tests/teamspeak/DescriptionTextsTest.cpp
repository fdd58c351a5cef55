#include "teamspeak/DescriptionTexts.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace DescriptionTexts;

TEST(DescriptionTexts, WorkedResults) {
    EXPECT_EQ(ChannelPrivileges(0), "none");
    EXPECT_EQ(ChannelPrivileges(9), "Admin,Voice");
    EXPECT_EQ(PlayerPrivileges(0), "Unregistered");
    EXPECT_EQ(PlayerPrivileges(9), "SuperServerAdmin,Registered");
    EXPECT_EQ(PlayerPrivileges(6), "ServerAdmin,CanRegister,Unregistered");
    EXPECT_EQ(PlayerFlags(24), "Away,InputMuted");
    EXPECT_EQ(ServerType(5), "Freeware Clan server");
    EXPECT_EQ(ServerType(10), "Commercial Public Server");
    EXPECT_EQ(ServerType(1), " Clan server");
    EXPECT_EQ(Codecs(33), "Celp 5.1, Speex 3.4");
    EXPECT_EQ(Codecs(0), "");
}

TEST(DescriptionTexts, EveryListedBitInTableOrder) {
    EXPECT_EQ(ChannelPrivileges(31), "Admin,Operator,Auto-Operator,Voice,Auto-Voice");
    EXPECT_EQ(PlayerPrivileges(15), "SuperServerAdmin,ServerAdmin,CanRegister,Registered");
    EXPECT_EQ(PlayerFlags(127), "ChannelCommander,WantVoice,NoWhisper,Away,InputMuted,"
                                "OutputMuted,Recording");
    EXPECT_EQ(Codecs(8191), "Celp 5.1, Celp 6.3, GSM 14.8, GSM 16.4, WCELP 5.2, Speex 3.4, "
                            "Speex 5.2, Speex 7.2, Speex 9.3, Speex 12.3, Speex 16.3, "
                            "Speex 19.5, Speex 25.9");
    EXPECT_EQ(Codecs(4096), "Speex 25.9");
}

TEST(DescriptionTexts, BitsOutsideTheTablesChangeNothing) {
    EXPECT_EQ(ChannelPrivileges(32), "none");
    EXPECT_EQ(ChannelPrivileges(32 | 2), "Operator");
    EXPECT_EQ(PlayerPrivileges(16), "Unregistered");
    EXPECT_EQ(PlayerFlags(128), "none");
    EXPECT_EQ(ServerType(16), "");
    EXPECT_EQ(Codecs(8192), "");
    EXPECT_EQ(Codecs(8192 | 2), "Celp 6.3");
}

TEST(DescriptionTexts, NegativeMasksCountOnlyTheListedBits) {
    // -1 has every bit set.
    EXPECT_EQ(ChannelPrivileges(-1), "Admin,Operator,Auto-Operator,Voice,Auto-Voice");
    EXPECT_EQ(PlayerPrivileges(-1), "SuperServerAdmin,ServerAdmin,CanRegister,Registered");
    EXPECT_EQ(ServerType(-1), "Commercial Clan server Public Server");
    EXPECT_EQ(ChannelPrivileges(INT32_MIN), "none");
    EXPECT_EQ(PlayerPrivileges(INT32_MIN | 8), "Registered");
}

TEST(DescriptionTexts, ServerTypeWordsReplaceAndSuffixesAppend) {
    EXPECT_EQ(ServerType(4 | 8), "Commercial");
    EXPECT_EQ(ServerType(1 | 2), " Clan server Public Server");
    EXPECT_EQ(ServerType(2), " Public Server");
    EXPECT_EQ(ServerType(4 | 2), "Freeware Public Server");
    EXPECT_EQ(ServerType(0), "");
}
