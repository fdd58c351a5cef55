#include "Command.h"

#include "Scenario.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace tsremote;

namespace {

std::optional<Command> parse(const std::string& line, std::string* why = nullptr) {
    std::string error;
    const auto words = splitWords(line);
    EXPECT_TRUE(words.has_value()) << line;
    std::optional<Command> c = parseCommand(*words, error);
    if (why) {
        *why = error;
    }
    return c;
}

std::string errorOf(const std::string& line) {
    std::string why;
    EXPECT_FALSE(parse(line, &why).has_value()) << line;
    return why;
}

} // namespace

TEST(Words, BlanksSeparateAndQuotesKeepThem) {
    EXPECT_EQ(*splitWords("join  7\t\"DLH 123\"  1"),
              (std::vector<std::string>{"join", "7", "DLH 123", "1"}));
    EXPECT_EQ(*splitWords("self 1 \"\""), (std::vector<std::string>{"self", "1", ""}));
    EXPECT_EQ(*splitWords("a\"b c\"d"), (std::vector<std::string>{"ab cd"}));
    EXPECT_EQ(*splitWords("  \r"), std::vector<std::string>{});
    EXPECT_FALSE(splitWords("join 7 \"open").has_value());
}

TEST(Commands, JoinDefaultsAndMasks) {
    const Command plain = *parse("join 7 EDDH_TWR");
    EXPECT_EQ(plain.kind, Command::Join);
    EXPECT_EQ(plain.numbers, (std::vector<int32_t>{7, 1, 0, 0, 0}));
    EXPECT_EQ(plain.texts, std::vector<std::string>{"EDDH_TWR"});
    const Command full = *parse("join -2 X 3 9 8 -1");
    EXPECT_EQ(full.numbers, (std::vector<int32_t>{-2, 3, 9, 8, -1}));
}

TEST(Commands, TextsAndNumbers) {
    EXPECT_EQ(parse("connect 127.0.0.1:8767")->texts[0], "127.0.0.1:8767");
    EXPECT_EQ(parse("connect 1.2.3.4:1 \"My Net\"")->texts[1], "My Net");
    EXPECT_EQ(parse("version 2.0.-1.60")->numbers, (std::vector<int32_t>{2, 0, -1, 60}));
    EXPECT_EQ(parse("server Win32 \"Hello there\"")->texts,
              (std::vector<std::string>{"Win32", "Hello there"}));
    const Command fail = *parse("fail tsrGetPlayers 5");
    EXPECT_EQ(fail.numbers[0], 5);
    EXPECT_EQ(fail.texts[0], "tsrGetPlayers");
    EXPECT_FALSE(fail.texts[1].empty()) << "a failure always has a last-error text";
    EXPECT_EQ(parse("fail tsrGetSpeakers -7 \"Bad thing\"")->texts[1], "Bad thing");
    EXPECT_EQ(parse("stall 0")->numbers[0], 0);
    EXPECT_EQ(parse("crowd 1023")->numbers[0], 1023);
    EXPECT_EQ(parse("quit")->kind, Command::Quit);
    EXPECT_EQ(parse(std::string("self 1 ") + std::string(30, 'N'))->texts[0], std::string(30, 'N'));
}

TEST(Commands, MistakesAreNamed) {
    EXPECT_EQ(errorOf("jump 7"), "unknown command 'jump'");
    EXPECT_EQ(errorOf("join X EDDH"), "bad player ID 'X'");
    EXPECT_EQ(errorOf("join 7 A 1 2 3 4 5"), "wrong number of arguments for 'join'");
    EXPECT_EQ(errorOf("talk"), "wrong number of arguments for 'talk'");
    EXPECT_EQ(errorOf("disconnect now"), "wrong number of arguments for 'disconnect'");
    EXPECT_EQ(errorOf("talk 99999999999"), "bad player ID '99999999999'");
    EXPECT_EQ(errorOf("talk 7x"), "bad player ID '7x'");
    EXPECT_EQ(errorOf("version 2.0.32"), "bad version '2.0.32' (A.B.C.D)");
    EXPECT_EQ(errorOf("version 2.0.32.60.1"), "bad version '2.0.32.60.1' (A.B.C.D)");
    EXPECT_EQ(errorOf("version 2.x.32.60"), "bad version '2.x.32.60' (A.B.C.D)");
    EXPECT_EQ(errorOf("fail tsrGetLastError 3"), "unknown function 'tsrGetLastError'");
    EXPECT_EQ(errorOf("stall -1"), "stall of -1 ms is outside 0..60000");
    EXPECT_EQ(errorOf("crowd -1"), "crowd of -1 is outside 0..65536");
    EXPECT_EQ(errorOf(std::string("self 1 ") + std::string(31, 'N')),
              "nickname longer than 30 bytes");
}

TEST(Scenarios, TimesContinuationLinesAndComments) {
    std::string error;
    const auto s = parseScenario("connect 1.2.3.4:5\n"
                                 "# a comment\n"
                                 "\n"
                                 "   # an indented comment\n"
                                 "at 1.5 talk 2\n"
                                 "talk 3\n"
                                 "at 1.5 stop 2\n"
                                 "at 10 quit\n",
                                 error);
    ASSERT_TRUE(s.has_value()) << error;
    ASSERT_EQ(s->lines.size(), 5u);
    EXPECT_EQ(s->lines[0].at.count(), 0);
    EXPECT_EQ(s->lines[1].at.count(), 1500000);
    EXPECT_EQ(s->lines[1].lineNumber, 5);
    EXPECT_EQ(s->lines[2].at.count(), 1500000) << "runs together with the line before";
    EXPECT_EQ(s->lines[2].command.kind, Command::Talk);
    EXPECT_EQ(s->duration().count(), 10000000);
}

TEST(Scenarios, MistakesCarryTheirLineNumber) {
    std::string error;
    EXPECT_FALSE(parseScenario("at 1 talk 2\n\nat 0.5 stop 2\n", error));
    EXPECT_EQ(error, "line 3: time 0.5 is earlier than the line before");
    EXPECT_FALSE(parseScenario("talk 2\nat 1 whistle\n", error));
    EXPECT_EQ(error, "line 2: unknown command 'whistle'");
    EXPECT_FALSE(parseScenario("at soon talk 2\n", error));
    EXPECT_EQ(error, "line 1: bad time 'soon'");
    EXPECT_FALSE(parseScenario("at -1 talk 2\n", error));
    EXPECT_EQ(error, "line 1: bad time '-1'");
    EXPECT_FALSE(parseScenario("at\n", error));
    EXPECT_EQ(error, "line 1: bad time ''");
    EXPECT_FALSE(parseScenario("# ok\njoin 2 \"X\n", error));
    EXPECT_EQ(error, "line 2: unterminated quote");
}

TEST(Scenarios, TypedLines) {
    std::string error;
    EXPECT_FALSE(parseInteractiveLine("   ", error).has_value());
    EXPECT_TRUE(error.empty());
    EXPECT_FALSE(parseInteractiveLine("# note", error).has_value());
    EXPECT_TRUE(error.empty());
    EXPECT_FALSE(parseInteractiveLine("at 1 talk 2", error).has_value());
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(parseInteractiveLine("talk 2", error)->kind, Command::Talk);
}

TEST(Scenarios, TheDemoIsAMinuteOfVariedTraffic) {
    std::string error;
    const auto demo = parseScenario(demoScenario(), error);
    ASSERT_TRUE(demo.has_value()) << error;
    EXPECT_GE(demo->duration(), std::chrono::seconds(50));
    EXPECT_LE(demo->duration(), std::chrono::seconds(70));

    // Follow the speakers through the demo.
    std::vector<int32_t> talking;
    std::map<int32_t, std::chrono::microseconds> startedAt;
    int32_t localUser = 1;
    size_t mostAtOnce = 0;
    bool shortOne = false, localTalked = false, joinedLater = false, left = false;
    std::set<int32_t> speakersSeen;
    for (const Scenario::Line& line : demo->lines) {
        const Command& c = line.command;
        if (c.kind == Command::Self) {
            localUser = c.numbers[0];
        } else if (c.kind == Command::Talk) {
            talking.push_back(c.numbers[0]);
            startedAt[c.numbers[0]] = line.at;
            speakersSeen.insert(c.numbers[0]);
            localTalked |= c.numbers[0] == localUser;
        } else if (c.kind == Command::Stop) {
            talking.erase(std::find(talking.begin(), talking.end(), c.numbers[0]));
            shortOne |= line.at - startedAt[c.numbers[0]] < std::chrono::seconds(1);
        } else if (c.kind == Command::Join) {
            joinedLater |= line.at > std::chrono::seconds(0);
        } else if (c.kind == Command::Leave) {
            left = true;
        }
        mostAtOnce = std::max(mostAtOnce, talking.size());
    }
    EXPECT_TRUE(talking.empty()) << "every transmission ends";
    EXPECT_GE(mostAtOnce, 2u) << "overlapping transmissions";
    EXPECT_GE(speakersSeen.size(), 4u) << "several callsigns";
    EXPECT_TRUE(shortOne);
    EXPECT_TRUE(localTalked);
    EXPECT_TRUE(joinedLater);
    EXPECT_TRUE(left);
}
