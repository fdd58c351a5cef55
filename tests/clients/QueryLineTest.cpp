#include "clients/QueryLine.h"

#include <gtest/gtest.h>

using query::escape;
using query::parse;
using query::unescape;

TEST(QueryLine, EveryEscapeGoesBothWays) {
    const QByteArray plain("back\\slash/ blank|pipe\a\b\f\n\r\t\vend");
    const QByteArray escaped = escape(plain);
    EXPECT_EQ(escaped, QByteArray("back\\\\slash\\/\\sblank\\ppipe\\a\\b\\f\\n\\r\\t\\vend"));
    EXPECT_EQ(unescape(escaped), plain);
    // Nothing that splits a line, an item or a pair is left in an escaped value.
    EXPECT_FALSE(escaped.contains(' ') || escaped.contains('|') || escaped.contains('\n'));
    // Bytes of other scripts pass as they are.
    EXPECT_EQ(unescape(escape("Jörg Ελένη 李雷")), QByteArray("Jörg Ελένη 李雷"));
}

TEST(QueryLine, UnknownOrCutEscapesKeepTheirText) {
    EXPECT_EQ(unescape("a\\qb"), QByteArray("aqb"));
    EXPECT_EQ(unescape("end\\"), QByteArray("end\\"));
}

TEST(QueryLine, ItemsSplitAtPipesButNotAtEscapedOnes) {
    const query::Line line =
        parse("clid=1 cid=2 client_nickname=A\\pB\\sC client_type=0|clid=7 cid=3 "
              "client_nickname=x=y client_type=1");
    EXPECT_TRUE(line.name.isEmpty());
    ASSERT_EQ(line.items.size(), 2u);
    EXPECT_EQ(line.items[0].value("client_nickname"), QByteArray("A|B C"));
    EXPECT_EQ(line.items[0].number("cid"), 2);
    // Only the first '=' separates key and value.
    EXPECT_EQ(line.items[1].value("client_nickname"), QByteArray("x=y"));
    EXPECT_EQ(line.items[1].number("client_type"), 1);
}

TEST(QueryLine, EventsAndErrorsAreNamedByTheirFirstWord) {
    const query::Line event =
        parse("notifytalkstatuschange schandlerid=1 status=1 isreceivedwhisper=0 clid=5");
    EXPECT_EQ(event.name, QByteArray("notifytalkstatuschange"));
    ASSERT_EQ(event.items.size(), 1u);
    EXPECT_EQ(event.items[0].number("clid"), 5);

    const query::Line error = parse("error id=1794 msg=not\\sconnected");
    EXPECT_EQ(error.name, QByteArray("error"));
    EXPECT_EQ(error.items[0].number("id"), 1794);
    EXPECT_EQ(error.items[0].value("msg"), QByteArray("not connected"));
}

TEST(QueryLine, MissingAndMalformedNumbersFallBack) {
    const query::Line line = parse("clid=abc flag cid=");
    ASSERT_EQ(line.items.size(), 1u);
    EXPECT_EQ(line.items[0].number("clid", -1), -1);
    EXPECT_EQ(line.items[0].number("cid", -1), -1);
    EXPECT_EQ(line.items[0].number("none", 42), 42);
    EXPECT_TRUE(line.items[0].has("flag"));
    EXPECT_FALSE(line.items[0].has("none"));
}
