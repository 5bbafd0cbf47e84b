#include "util/Encoding.h"

#include <gtest/gtest.h>

using namespace velk;

namespace {

Bytes B(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v)
        b.push_back(static_cast<std::uint8_t>(x));
    return b;
}

TEST(Encoding, ExamplesOfTheContract) {
    EXPECT_TRUE(AnsiToUtf16("").empty());
    EXPECT_EQ(AnsiToUtf16("/"), B({0x2F, 0, 0, 0}));
    EXPECT_EQ(AnsiToUtf16("/", true), B({0x2F, 0}));
    EXPECT_EQ(Utf16ToAnsi(B({0x41, 0, 0x42, 0})), "AB");
    EXPECT_EQ(Utf16ToAnsi(B({0x41, 0, 0x42, 0, 0, 0, 0x43, 0})), "AB");
    EXPECT_EQ(CodePageToUtf16(B({'a', 0, 'b'}), 936), B({'a', 0, 0, 0}));
    EXPECT_TRUE(CodePageToUtf16(B({0, 'a'}), 936).empty());
    // 金牌 in UTF-8 -> GBK
    EXPECT_EQ(Utf8ToAnsi("\xE9\x87\x91\xE7\x89\x8C"), "\xBD\xF0\xC5\xC6");
    // Byte 80 is the euro sign in the Windows mapping.
    EXPECT_EQ(AnsiToUtf16("\x80", true), B({0xAC, 0x20}));
    EXPECT_EQ(Utf16ToCodePageText(B({0xAC, 0x20})), "\x80"); // code page 0 is 936
    EXPECT_EQ(TextToUtf16("\xE2\x82\xAC"), B({0xAC, 0x20, 0, 0}));
}

TEST(Encoding, CutAtNul) {
    EXPECT_EQ(CutAtNul(B({0x41, 0, 0x42, 0, 0, 0}), false), B({0x41, 0, 0x42, 0}));
    EXPECT_EQ(CutAtNul(B({0x41, 0, 0x42, 0, 0, 0}), true), B({0x41, 0, 0x42, 0, 0, 0}));
    EXPECT_TRUE(CutAtNul(B({0, 0, 0x41, 0}), true).empty());
    EXPECT_EQ(CutAtNul(B({0x41, 0, 0x42, 0, 0x43}), false), B({0x41, 0, 0x42, 0}));
    EXPECT_TRUE(CutAtNul(B({0x41}), false).empty());
    EXPECT_TRUE(CutAtNul(Bytes(), true).empty());
}

TEST(Encoding, UnmappableInputIsReplacedNeverFails) {
    // A character GBK cannot hold (U+1F600) becomes one "?".
    EXPECT_EQ(Utf8ToAnsi("a\xF0\x9F\x98\x80" "b"), "a?b");
    // Invalid UTF-8 bytes are replaced one by one and conversion goes on.
    EXPECT_EQ(Utf8ToAnsi("a\xFF\xFE" "b"), "a??b");
    // A UTF-8 sequence cut short at the end.
    EXPECT_EQ(Utf8ToAnsi("a\xE9\x87"), "a?");
    // A lone lead byte at the end of a GBK text becomes U+FFFD.
    EXPECT_EQ(AnsiToUtf16("a\x81", true), B({'a', 0, 0xFD, 0xFF}));
    // An invalid GBK byte (FF) in the middle.
    EXPECT_EQ(AnsiToUtf16("a\xFF" "b", true), B({'a', 0, 0xFD, 0xFF, 'b', 0}));
    // An unassigned but well-formed double-byte code is one character, not two.
    EXPECT_EQ(AnsiToUtf16("\xA1\x40" "b", true), B({0xFD, 0xFF, 'b', 0}));
    // A lone surrogate in UTF-16.
    EXPECT_EQ(Utf16ToAnsi(B({0x00, 0xD8, 'x', 0})), "?x");
    // An odd trailing byte is not a unit.
    EXPECT_EQ(Utf16ToAnsi(B({'x', 0, 'y'})), "x");
    // An unknown code page gives the empty result.
    EXPECT_TRUE(CodePageToUtf16(B({'a'}), 12345678).empty());
}

TEST(Encoding, EveryDoubleByteCodeRoundTrips) {
    int checked = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const Text text{static_cast<char>(lead), static_cast<char>(trail)};
            const Bytes utf16 = AnsiToUtf16(text);
            ASSERT_EQ(utf16.size(), 4u) << std::hex << lead << " " << trail;
            const bool replaced = utf16[0] == 0xFD && utf16[1] == 0xFF;
            if (replaced)
                continue; // not a character of code page 936 (user-defined or unassigned area)
            EXPECT_EQ(Utf16ToAnsi(utf16), text) << std::hex << lead << " " << trail;
            ++checked;
        }
    }
    // Code page 936 defines 21791 double-byte characters outside the user-defined areas.
    EXPECT_GE(checked, 21000);
}

TEST(Encoding, DirectConversionsAndCharsetNames) {
    EXPECT_EQ(AnsiToUtf8("\xBD\xF0\xC5\xC6"), "\xE9\x87\x91\xE7\x89\x8C");
    EXPECT_EQ(Utf8ToAnsiText("\xE9\x87\x91"), "\xBD\xF0");
    Text out = "unchanged";
    EXPECT_FALSE(CharsetToAnsi("abc", "no-such-charset", out));
    EXPECT_EQ(out, "unchanged");
    EXPECT_TRUE(CharsetToAnsi("\xA4\xA4", "big5", out)); // 中 in Big5
    EXPECT_EQ(out, "\xD6\xD0");
    EXPECT_TRUE(CharsetToAnsi(std::string("a\0b", 3), "utf-8", out));
    EXPECT_EQ(out, std::string("a\0b", 3));
}

// Former bug: a character the target could not hold was skipped one byte at a time when the
// source was neither UTF-8, UTF-16 nor a double-byte code page, so the rest of a four-byte
// GB18030 character or of a UTF-32 unit came out as "?2?6"-like garbage.
TEST(Encoding, CharactersTheTargetCannotHoldBecomeOneReplacement) {
    // 中 U+20000 文 U+1F600 in GB18030: the two outside code page 936 are four bytes each.
    const std::string gb18030 = "\xD6\xD0\x95\x32\x82\x36\xCE\xC4\x94\x39\xFC\x36";
    const std::string utf32 = std::string("a\0\0\0\x00\xF6\x01\0b\0\0\0", 12); // a U+1F600 b
    struct Row {
        const char* name;
        std::string input;
        const char* charset;
        Text expected;
    } rows[] = {
        {"gb18030 four-byte", gb18030, "gb18030", "\xD6\xD0?\xCE\xC4?"},
        {"utf-32 unit", utf32, "utf-32le", "a?b"},
    };
    for (const Row& row : rows) {
        Text out;
        EXPECT_TRUE(CharsetToAnsi(row.input, row.charset, out)) << row.name;
        EXPECT_EQ(out, row.expected) << row.name;
    }
    EXPECT_EQ(ConvertCodePage(gb18030, 54936, 936), "\xD6\xD0?\xCE\xC4?");
    EXPECT_EQ(ConvertCodePage(gb18030, 54936, 936), Utf16ToAnsi(CodePageToUtf16(ToBytes(gb18030), 54936)));
    // A sequence beyond U+10FFFF is no character, also when UTF-8 is both source and target.
    EXPECT_EQ(ConvertCodePage("a\xF5\xA0\xAB\xAB" "b", 65001, 65001),
              "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD" "b");
}

TEST(Encoding, HugeInput) {
    const Text big(16 * 1024 * 1024, '\xB0');
    const Bytes utf16 = AnsiToUtf16(big);
    EXPECT_EQ(utf16.size(), big.size() + 2); // 8M characters + terminator
    EXPECT_EQ(Utf16ToAnsi(utf16), big);
}

} // namespace
