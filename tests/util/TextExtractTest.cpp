#include "util/TextExtract.h"

#include <gtest/gtest.h>

using namespace velk;

namespace {

struct BetweenCase {
    const char* name;
    Text text, start, end;
    int position;
    bool ignoreCase;
    Text expected;
};

TEST(TextExtract, BetweenTable) {
    const BetweenCase cases[] = {
        {"notice address", "\xCD\xA8\xD6\xAA{{http://a.example/x}}", "{{", "}}", 0, false, "http://a.example/x"},
        {"no start marker", "no markers", "{{", "}}", 0, false, ""},
        {"start without end", "x{{http://a", "{{", "}}", 0, false, ""},
        {"end before start only", "}}x{{", "{{", "}}", 0, false, ""},
        {"markers adjacent", "{{}}", "{{", "}}", 0, false, ""},
        {"jsonp wrapper", "banomedals({\"a\":1});", "banomedals(", ");", 0, false, "{\"a\":1}"},
        {"first end marker wins", "banomedals({\"a\":\");\"});", "banomedals(", ");", 0, false, "{\"a\":\""},
        {"set-cookie keeps blank", "Set-Cookie: SUB=1; path=/", "Set-Cookie:", ";", 0, false, " SUB=1"},
        {"quote token", "x name=\"v\" y", "name=#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5", 0, false, "v"},
        {"start position skips first", "[a][b]", "[", "]", 3, false, "b"},
        {"position past end", "[a]", "[", "]", 99, false, ""},
        {"negative position is beginning", "[a]", "[", "]", -5, false, "a"},
        {"ignore case", "SET-COOKIE: a=1;", "set-cookie:", ";", 0, true, " a=1"},
        {"case-sensitive by default", "SET-COOKIE: a=1;", "set-cookie:", ";", 0, false, ""},
        {"marker longer than text", "ab", "abcdef", "x", 0, false, ""},
        {"empty start marker", "ab", "", "b", 0, false, ""},
        {"not inside a character", "\xB0{{a}}", "\xB0{", "}", 2, false, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextBetween(c.text, c.start, c.end, c.position, c.ignoreCase), c.expected) << c.name;
}

struct CutCase {
    const char* name;
    Text text, marker;
    int position;
    Text before, after;
};

TEST(TextExtract, BeforeAndAfterTable) {
    const CutCase cases[] = {
        {"header line", "Content-Type: text/html", ": ", 0, "Content-Type", "text/html"},
        {"no marker", "Content-Type", ": ", 0, "", ""},
        {"two markers default", "a: b: c", ": ", 0, "a", "c"},
        {"two markers -1", "a: b: c", ": ", -1, "a: b", "b: c"},
        {"marker at start", ": x", ": ", 0, "", "x"},
        {"marker at end", "x: ", ": ", 0, "x", ""},
        {"positive position", "a: b: c", ": ", 3, "a: b", "b: c"},
        {"positive position leaves no room", "a: b: c", ": ", 6, "", ""},
        {"-3 limits both searches", "a: b: c", ": ", -3, "a", "c"},
        {"huge negative", "a: b", ": ", -2147483647 - 1, "", ""},
        {"huge positive", "a: b", ": ", 2147483647, "", ""},
        {"empty text", "", ": ", 0, "", ""},
        {"empty marker", "abc", "", 0, "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextBefore(c.text, c.marker, c.position), c.before) << c.name;
        EXPECT_EQ(TextAfter(c.text, c.marker, c.position), c.after) << c.name;
    }
}

TEST(TextExtract, DoubleByteAwareCuts) {
    // "\xB0\xA1" then ": " then a character whose second byte is ':' (0x81 0x3A).
    const Text line = "\xB0\xA1: \x81: x";
    EXPECT_EQ(TextBefore(line, ": "), "\xB0\xA1");
    EXPECT_EQ(TextAfter(line, ": "), "\x81: x"); // the second ": " starts inside 81 3A
    EXPECT_EQ(TextAfter("k\x81: v", ": "), ""); // 81 3A is one character
}

TEST(TextExtract, ZeroBytesAndLoneLeadBytes) {
    const Text withNul("a\0{{b}}\x81", 8);
    EXPECT_EQ(TextBetween(withNul, "{{", "}}"), "b");
    EXPECT_EQ(TextAfter(withNul, "}}"), "\x81");
    EXPECT_EQ(TextBefore(withNul, "{{"), Text("a\0", 2));
}

} // namespace
