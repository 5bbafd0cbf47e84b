#include "util/TextSearch.h"

#include <gtest/gtest.h>

using namespace velk;

namespace {

struct FindCase {
    const char* name;
    Text text;
    Text marker;
    std::size_t from;
    bool ignoreCase;
    std::size_t expected;
};

TEST(TextSearch, FindForwardTable) {
    const FindCase cases[] = {
        {"plain", "abcabc", "bc", 0, false, 1},
        {"from after first", "abcabc", "bc", 2, false, 4},
        {"case differs", "ABC", "bc", 0, false, kNotFound},
        {"ignore case", "ABC", "bc", 0, true, 1},
        {"ignore case leaves other bytes exact", "\xC4\xE3", "\xE4\xE3", 0, true, kNotFound},
        // "\xB0\xA1" is one character; "\xA1\xB0" must not be found across it.
        {"never inside a character", "\xB0\xA1\xB0\xA1", "\xA1\xB0", 0, false, kNotFound},
        {"second byte looks like ascii", "\x81\x41" "A", "A", 0, false, 2},
        {"lone lead byte at end", "ab\x81", "\x81", 0, false, 2},
        {"marker longer than text", "ab", "abc", 0, false, kNotFound},
        {"empty marker", "ab", "", 0, false, kNotFound},
        {"empty text", "", "a", 0, false, kNotFound},
        {"zero byte in the middle", Text("a\0b", 3), "b", 0, false, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindForward(c.text, c.marker, c.from, c.ignoreCase), c.expected) << c.name;
}

TEST(TextSearch, FindBackwardKeepsWithinLimit) {
    EXPECT_EQ(FindBackward("a: b: c", ": ", 7), 4u);
    EXPECT_EQ(FindBackward("a: b: c", ": ", 5), 1u); // "a: b:" holds only the first whole
    EXPECT_EQ(FindBackward("a: b: c", ": ", 2), kNotFound);
    EXPECT_EQ(FindBackward("\xB0\xA1\xB0\xA1", "\xA1\xB0", 4), kNotFound);
    EXPECT_EQ(FindBackward("xX", "x", 2, true), 1u);
    EXPECT_EQ(FindBackward("ab", "b", 100), 1u);
}

TEST(TextSearch, TrimRemovesBlanksAndIdeographicBlanksOnly) {
    EXPECT_EQ(TrimText("  a b  "), "a b");
    EXPECT_EQ(TrimText("\xA1\xA1 x\xA1\xA1"), "x");
    EXPECT_EQ(TrimText("\tx\r\n"), "\tx\r\n");
    EXPECT_EQ(TrimText("   "), "");
    EXPECT_EQ(TrimText(""), "");
    // A1 A1 spread over two characters (B0 A1, then A1 A1 ...) is not a blank at the end.
    EXPECT_EQ(TrimText("\xB0\xA1\xA1\xA1"), "\xB0\xA1");
    EXPECT_EQ(TrimText("\xA1\xA1\xA1"), "\xA1"); // a lone lead byte at the end stays
}

TEST(TextSearch, SplitRules) {
    EXPECT_EQ(SplitText("a;;b", ";"), (TextArray{"a", "", "b"}));
    EXPECT_EQ(SplitText("a;b;", ";"), (TextArray{"a", "b"}));
    EXPECT_EQ(SplitText(";a", ";"), (TextArray{"", "a"}));
    EXPECT_EQ(SplitText("", ";"), TextArray{});
    EXPECT_EQ(SplitText("ab", ""), TextArray{"ab"});
    EXPECT_EQ(SplitText("a\r\nb\r\n", "\r\n"), (TextArray{"a", "b"}));
    // A separator byte inside a double-byte character does not split it.
    EXPECT_EQ(SplitText("\x81;x;y", ";"), (TextArray{"\x81;x", "y"}));
}

TEST(TextSearch, HugeInputStaysLinear) {
    const Text big(20 * 1024 * 1024, 'a');
    EXPECT_EQ(FindForward(big, "b"), kNotFound);
    EXPECT_EQ(SplitText(big + ";", ";").size(), 1u);
    EXPECT_EQ(TrimText(" " + big + " ").size(), big.size());
}

} // namespace
