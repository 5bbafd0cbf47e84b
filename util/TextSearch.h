#pragma once
// Double-byte-aware search, trimming and splitting of code page 936 Text.
//
// A lead byte (0x81..0xFE) followed by another byte forms one character; a search steps over
// the second byte, so a marker is never matched starting inside a character. A lead byte at
// the very end of a Text stands alone. Ignoring case folds ASCII letters only; every other
// byte compares exactly. Offsets here are 0-based; the text routines turn them into the
// 1-based positions their callers see.

#include <cstddef>
#include <string_view>

#include "util/Text.h"

namespace velk {

inline constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// True when byte b starts a two-byte character in code page 936.
constexpr bool IsLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

// First occurrence of marker at or after offset `from`, stepping character by character from
// there (`from` is taken as a character boundary, as callers only pass the start of the text
// or the end of an earlier match).
// kNotFound when there is none or when the marker is empty.
std::size_t FindForward(std::string_view text, std::string_view marker, std::size_t from = 0,
                        bool ignoreCase = false);

// Last occurrence that starts at a character boundary and lies entirely within the first
// `limit` bytes of text. kNotFound when there is none or when the marker is empty.
std::size_t FindBackward(std::string_view text, std::string_view marker, std::size_t limit,
                         bool ignoreCase = false);

// Removes blanks (0x20) and ideographic blanks (A1 A1) from both ends, nothing else.
Text TrimText(std::string_view text);

// Splits at every occurrence of separator: empty pieces between two separators are kept, no
// piece follows a final separator, an empty text gives no pieces. An empty separator gives the
// whole text as its only piece.
TextArray SplitText(std::string_view text, std::string_view separator);

// Replaces every occurrence of `from` by `to` (double-byte aware, case-sensitive).
Text ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

} // namespace velk
