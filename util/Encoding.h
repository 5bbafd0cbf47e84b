#pragma once
// Conversions between code page 936 Text, UTF-8 and UTF-16 (little-endian, held in Bytes).
//
// Code pages are Windows numbers: 936 (GBK, Windows mapping, byte 80 is the euro sign), 65001
// (UTF-8), 1200/1201 (UTF-16 LE/BE), 54936 (GB18030), 950 (Big5) and any other number n that
// iconv knows as "CPn". Code page 0, "the system ANSI code page", is 936 here: every Text of the
// program is code page 936 by contract, and following the Linux locale (almost always UTF-8)
// would make the same program read its own texts differently from one desktop to the next.
//
// Every routine stops at the first zero byte (multibyte input) or zero code unit (UTF-16
// input). Input that cannot be mapped becomes a replacement character (U+FFFD going to UTF-16,
// "?" going to a multibyte code page), never a failure; a truncated character at the end is
// replaced too and nothing is read past the input. A code page iconv does not know gives the
// empty result.

#include <cstdint>
#include <string>
#include <string_view>

#include "util/Text.h"

namespace velk {

// Multibyte bytes in codePage -> UTF-16 ending with one zero code unit (counted in the size).
Bytes CodePageToUtf16(const Bytes& input, std::int32_t codePage);
// UTF-16 -> multibyte bytes in codePage, without terminator.
Bytes Utf16ToCodePage(const Bytes& input, std::int32_t codePage);
// Code page 936 Text -> UTF-16 with terminator; with cut set, the terminator is dropped.
Bytes AnsiToUtf16(const Text& text, bool cut = false);
// UTF-16 -> code page 936 Text.
Text Utf16ToAnsi(const Bytes& utf16);
// UTF-16 -> Text in codePage (0: code page 936, see above).
Text Utf16ToCodePageText(const Bytes& utf16, std::int32_t codePage = 0);
// Text whose bytes are in codePage -> UTF-16 with terminator.
Bytes TextToUtf16(const Text& text, std::int32_t codePage = 65001);
// UTF-8 bytes -> the same characters in code page 936.
Text Utf8ToAnsi(const Text& utf8);
// UTF-16 up to (not including) its first zero unit; with terminator set, one zero unit added.
Bytes CutAtNul(const Bytes& utf16, bool terminator);

// Direct conversions between two code pages without the UTF-16 step, for the engines that
// speak UTF-8 (regular expressions, script). Same stopping and replacement rules.
std::string ConvertCodePage(std::string_view input, std::int32_t fromCodePage, std::int32_t toCodePage);
inline std::string AnsiToUtf8(std::string_view text) { return ConvertCodePage(text, 936, 65001); }
inline Text Utf8ToAnsiText(std::string_view utf8) { return ConvertCodePage(utf8, 65001, 936); }

// Converts from a charset named the way iconv names it ("utf-8", "big5", "gbk"...) to code page
// 936. Returns false (and leaves out untouched) when iconv does not know the name.
bool CharsetToAnsi(std::string_view input, const std::string& charsetName, Text& out);

} // namespace velk
