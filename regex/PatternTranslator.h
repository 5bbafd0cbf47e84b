#pragma once
// Translation of an ECMAScript 3 regular expression into a PCRE2 pattern with the same meaning.
//
// PCRE2's own options cover \u and \x escapes, empty classes and unset back-references; the
// rest of the dialect is rewritten here:
// - "." matches anything but a line terminator (LF, CR, U+2028, U+2029), CR included;
// - \s and \S are ECMAScript's white space (Unicode space separators, BOM, line terminators),
//   so the ideographic space is a blank; \v is the vertical tab, not a class;
// - "^" and "$" are the start and end of the subject, or with multiline also the places after
//   and before any single line terminator (CR LF is two line breaks, as in ECMAScript);
// - \n with n above the number of groups is an octal escape (\8, \9: the digit), as browsers
//   and Node read it; a letter escape with no meaning of its own is the letter;
// - "[" inside a class is a plain bracket (no POSIX classes), "{" that starts no quantifier is
//   a brace.
// Syntax that ECMAScript 3 rejects is rejected rather than given PCRE2's meaning: "(?" other
// than "(?:", "(?=" and "(?!" (no look-behind, named groups, inline options, comments), "(*"
// verbs, possessive and doubled quantifiers, a quantifier with nothing to repeat, unbalanced
// parentheses and a trailing backslash.

#include <string>
#include <string_view>

namespace velk {

struct TranslatedPattern {
    bool ok = false;
    std::string pattern;            // for pcre2_compile with PCRE2_ALT_BSUX (and PCRE2_UTF unless for bytes)
    bool positiveLookAhead = false; // the pattern has "(?=": see RegexObject's compile options
};

// pattern is valid UTF-8; the result matches on the subject decoded to UTF-8.
TranslatedPattern TranslatePattern(std::string_view pattern, bool multiline);

// The same dialect for matching directly on the code page 936 bytes of the subject (PCRE2
// without UTF), which spares decoding the subject. Each character-consuming item consumes whole
// characters: "." and negated classes take a double-byte character atomically, \s includes the
// ideographic space A1 A1. So a match that starts on a character boundary stays on boundaries;
// the caller must skip matches that start on a second byte. Only for patterns where that is
// exact: ok is false for a non-ASCII pattern (non-ASCII literals, escapes above 7F),  and \B
// (the character before is not known from one byte), back-references (ignoring case would fold
// second bytes) and \s, \S, \D, \W inside a class.
TranslatedPattern TranslatePatternForBytes(std::string_view pattern, bool multiline);

} // namespace velk
