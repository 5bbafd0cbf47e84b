#pragma once
// RegexObject: one regular-expression search over one subject Text, kept for later questions.
//
// Contract. `Search` compiles the pattern in the ECMAScript 3 dialect (lazy quantifiers, classes
// with \w \d \s, capture groups, non-capturing groups, look-ahead; "." matches anything but a
// line break; \w is [A-Za-z0-9_]) and runs it over the subject, matching on the characters of
// the code page 936 Text, not on its bytes. By default the search ignores case, is multi-line
// ("^" and "$" also match at line breaks) and global (all matches are collected). Matches and
// groups are numbered from 1. Every read refers to the last `Search`; a read that names no
// existing match or group, or a group that did not take part, gives an empty Text. A pattern
// the engine rejects, a subject too large or a search that runs out of its work budget makes
// `Search` return false and leaves the object with no matches (`GetPattern` still gives the
// pattern). "No match" is not a failure: `Search` returns true and `MatchCount` gives 0.
// Pattern and subject end at their first zero byte, as every Text does. Match and group texts
// are the subject's own bytes; a byte that is no character of code page 936 is matched as one
// character (U+FFFD) and comes back unchanged.
//
// Positions are 0-based byte offsets into the subject Text: the first place at or after the
// start of the match where the result Text occurs (for a group this need not be where the
// group matched), or -2 when there is none.
//
// A copy shares the compiled expression and the matches (both immutable once made) and holds
// its own copy of the subject. An object belongs to the thread that uses it; distinct objects
// share nothing mutable and may run on different threads at once.

#include <cstdint>
#include <memory>

#include "util/Text.h"

namespace velk {

struct RegexExpression;
struct RegexMatchList;

class RegexObject {
public:
    RegexObject();
    // Operations are virtual in this order: destructor, copy, Search, the reserved no-op,
    // GetPattern, Replace, MatchCount, MatchText, SubMatchText, SubMatchCount.
    virtual ~RegexObject();
    RegexObject(const RegexObject& other);
    RegexObject& operator=(const RegexObject& other);
    RegexObject(RegexObject&& other) noexcept;
    RegexObject& operator=(RegexObject&& other) noexcept;

    // Runs pattern over subject. IgnoreCase is !caseSensitive; with quoteMarker every "#引号" in
    // the pattern stands for a double quote. True when the search produced a match list, also
    // an empty one.
    virtual bool Search(const Text& pattern, const Text& subject, bool caseSensitive = false,
                        bool multiline = true, bool global = true, bool quoteMarker = false);
    // Takes nothing and does nothing; kept so the operations keep their places.
    virtual void Reserved();
    // The pattern of the last Search as given to the engine; empty before the first Search.
    virtual Text GetPattern() const;
    // The last subject with every match (only the first when Search was not global) replaced by
    // replacement, in which $1..$99, $&, $`, $' and $$ are expanded. Empty when the last Search
    // failed or there has been none.
    virtual Text Replace(const Text& replacement = Text()) const;
    virtual std::int32_t MatchCount() const;
    // Match `index` (from 1); position, when given, receives its byte offset or -2.
    virtual Text MatchText(std::int32_t index, std::int32_t* position = nullptr) const;
    // Group `groupIndex` (from 1) of match `matchIndex` (from 1); position as for MatchText.
    virtual Text SubMatchText(std::int32_t matchIndex, std::int32_t groupIndex,
                              std::int32_t* position = nullptr) const;
    // Number of capture groups of the first match; 0 when there is no match.
    virtual std::int32_t SubMatchCount() const;

private:
    std::shared_ptr<const RegexExpression> m_regExp;
    std::shared_ptr<const RegexMatchList> m_matches;
    Text m_subject;
};

} // namespace velk
