#include "http/HttpCookies.h"

#include <gtest/gtest.h>

using namespace velk;

namespace {

TEST(HttpCookiesExtract, FirstPairOfTheLine) {
    const std::pair<Text, Text> cases[] = {
        {"Set-Cookie: SUB=abc; path=/; domain=x", "SUB=abc"},
        {"Set-Cookie: k=v", "k=v"},
        {"Set-Cookie:k=v  ", "k=v"},
        {"Set-Cookie: \xa1\xa1k=v\xa1\xa1", "k=v"}, // ideographic blanks trimmed
        {"Set-Cookie: a=1;", "a=1"},
        {"Set-Cookie: SET-COOKIE:k=v", "k=v"},      // without ";" every marker goes, in any case
        {"Set-Cookie: ;a=1", ""},
        {"X: a=1; b", ""},                          // no marker before the ";"
    };
    for (const auto& [line, pair] : cases)
        EXPECT_EQ(HttpCookies::ExtractSetCookie(line), pair) << line;
}

TEST(HttpCookiesMerge, ResponseFirstThenUnsetOldPairs) {
    struct Case {
        Text oldText;
        Text newText;
        Text merged;
    };
    const Case cases[] = {
        {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
        {"a=1; b=2", "b=deleted", "a=1"},        // deleted, and the old b is not brought back
        {"a=1; ", "", "a=1"},
        {"a=1;", "", "a=1"},
        {"a=1; a=2", "", "a=1"},                 // of several old pairs with one name, the first
        {"", "x=1; x=1", "x=1"},                 // exact repetition dropped
        {"", "x=1; x=2", "x=1; x=2"},
        {"a=1", "a=Deleted", "a=Deleted"},       // "=deleted" is case-sensitive
        {" a = 1 ; b=2", "a=9", "a=9; b=2"},     // names are trimmed
        {"flag; a=1", "flag=x", "flag=x; a=1"},  // a pair without "=" is its own name
        {"", "", ""},
    };
    for (const Case& c : cases) {
        Text oldText = c.oldText;
        Text newText = c.newText;
        EXPECT_EQ(HttpCookies::MergeCookies(oldText, newText), c.merged) << c.oldText << " + " << c.newText;
        EXPECT_EQ(oldText, c.merged);
    }
}

TEST(HttpCookiesHelpers, JoinUniqueAndCharacters) {
    EXPECT_EQ(HttpCookies::JoinUnique("a; b; a; ; ", "; ", true), "a; b; ");
    EXPECT_EQ(HttpCookies::JoinUnique("abca", "|", false), "a|b|c");
    EXPECT_EQ(HttpCookies::JoinUnique("", "; ", true), "");
    const TextArray chars = HttpCookies::SplitCharacters("a\xd6\xd0\r\n\r\xff");
    EXPECT_EQ(chars, (TextArray{"a", "\xd6\xd0", "\r\n", "\r", "\xff"}));
    EXPECT_EQ(HttpCookies::FindInArray({"x", "y", "y"}, "y"), 2);
    EXPECT_EQ(HttpCookies::FindInArray({"x"}, "X"), -1);
    EXPECT_TRUE(HttpCookies::ContainsCookieName({"a =1", "b"}, "b"));
    EXPECT_FALSE(HttpCookies::ContainsCookieName({"ab=1"}, "a"));
}

} // namespace
