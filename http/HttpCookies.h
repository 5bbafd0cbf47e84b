#pragma once
// Cookie texts of the HTTP client: the caller keeps cookies as one Text of "name=value" pairs
// separated by "; "; the client takes pairs out of Set-Cookie lines and merges them back.
//
// Texts are compared exactly (byte for byte, case-sensitive); trimming removes blanks and
// ideographic blanks only. A pair whose last 8 bytes are "=deleted" is dropped by a merge,
// which is how a server removes a cookie from the caller's text. Attributes (path, expiry)
// are never kept. All routines are pure.

#include <cstdint>

#include "util/Text.h"

namespace velk {

class HttpCookies {
public:
    // The first name=value of one "Set-Cookie:" header line, trimmed.
    static Text ExtractSetCookie(const Text& line);

    // The response's pairs first, then the old pairs whose names the response did not set;
    // "=deleted" pairs and exact repetitions dropped. Both texts are trimmed in place; `oldText`
    // is left equal to the result.
    static Text MergeCookies(Text& oldText, Text& newText);

    // The text before the first "=", trimmed; a pair without "=" is its own name.
    static Text CookieName(const Text& pair);

    // True when some pair of the list has exactly this name.
    static bool ContainsCookieName(const TextArray& pairs, const Text& name);

    // The pieces of the text (split at the separator, or into characters when `split` is
    // false) without repetitions, joined by the separator.
    static Text JoinUnique(const Text& text, const Text& separator, bool split);

    // One element per character: a lead byte of 0x81 or more with a byte after it and a CR LF
    // pair each make a two-byte piece, every other byte a one-byte piece.
    static TextArray SplitCharacters(const Text& text);

    // The 1-based position of the first element equal to the text, or -1.
    static std::int32_t FindInArray(const TextArray& array, const Text& text);
};

} // namespace velk
