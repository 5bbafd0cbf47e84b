#pragma once
// Cutting a piece out of a Text by marker texts. None of these fails: a marker that is not
// found gives the empty Text. Positions are 1-based byte positions; searches are double-byte
// aware and case-sensitive unless ignoreCase is set. An empty marker gives the empty Text.

#include <cstdint>

#include "util/Text.h"

namespace velk {

// The text between the first startMarker found from startPosition and the next endMarker.
// The five-byte token "#引号" in either marker stands for a double quote.
Text TextBetween(const Text& text, const Text& startMarker, const Text& endMarker,
                 std::int32_t startPosition = 0, bool ignoreCase = false);

// The text before the marker: its first occurrence from `position` when position >= 0, the
// last one within the first L - |position| bytes when it is negative (-1 means the whole text).
Text TextBefore(const Text& text, const Text& marker, std::int32_t position = 0, bool ignoreCase = false);

// The text after the marker, the mirror image of TextBefore: the last occurrence within the
// first L - position bytes when position >= 0, the first from |position| when negative.
Text TextAfter(const Text& text, const Text& marker, std::int32_t position = 0, bool ignoreCase = false);

} // namespace velk
