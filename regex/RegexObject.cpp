#include "regex/RegexObject.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include <time.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "regex/PatternTranslator.h"
#include "regex/SubjectDecoder.h"
#include "util/TextSearch.h"

namespace velk {
namespace {

// Work limits. A page from the network may be built to make the expression backtrack, so every
// attempt has a budget and the whole search a deadline; running out of either fails the search
// instead of hanging the thread (pcre2api(3), "The match context"). PCRE2 applies the match
// limit to each start position, not to the whole call: one long line of "weibo?q=" with no
// closing quote makes every start scan to the end of the line, quadratic in the line's length
// yet within the limit each time. So the compiled pattern begins with a callout that checks the
// deadline at every start position (see SearchBudget).
constexpr std::uint32_t kMatchLimit = 10'000'000;     // backtracking steps per start position
constexpr std::uint32_t kDepthLimit = 10'000'000;     // interpreter backtracking depth
constexpr std::uint32_t kHeapLimitKiB = 20 * 1024;    // interpreter frame memory
constexpr std::size_t kJitStackMax = 8 * 1024 * 1024; // JIT backtracking stack
constexpr auto kSearchDeadline = std::chrono::seconds(2);
// The callout that checks the deadline.
constexpr std::string_view kDeadlineCallout = "(?C)";
// Positions are int32, so a longer subject cannot be searched.
constexpr std::size_t kMaxSubjectBytes = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
// Stored offsets (two per group and match) beyond this fail the search rather than exhaust memory.
constexpr std::size_t kMaxStoredOffsets = 4 * 1024 * 1024;

// Compiled expressions kept per thread, and the longest pattern kept.
constexpr std::size_t kCachedExpressions = 8;
constexpr std::size_t kMaxCachedPatternBytes = 4096;

constexpr std::uint32_t kUnset = std::numeric_limits<std::uint32_t>::max();

struct CodeDeleter {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataDeleter {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct MatchContextDeleter {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct JitStackDeleter {
    void operator()(pcre2_jit_stack* stack) const { pcre2_jit_stack_free(stack); }
};
using CodeHandle = std::unique_ptr<pcre2_code, CodeDeleter>;
using MatchDataHandle = std::unique_ptr<pcre2_match_data, MatchDataDeleter>;
using MatchContextHandle = std::unique_ptr<pcre2_match_context, MatchContextDeleter>;
using JitStackHandle = std::unique_ptr<pcre2_jit_stack, JitStackDeleter>;

// The text that the quote marker stands for: "#引号" in code page 936.
constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";

// The deadline of one Search, shared by every match call it makes (including the retry on
// characters). The callout at the start of each pattern runs at every start position; it reads a
// coarse clock (a few nanoseconds, resolution a few milliseconds), which a normal page, with a
// start position only where its first letter occurs, does not notice.
class SearchBudget {
public:
    SearchBudget() : m_deadline(Now() + kSearchDeadline) {}
    bool Expired() {
        if (!m_expired && Now() > m_deadline)
            m_expired = true;
        return m_expired;
    }
    bool WasExpired() const { return m_expired; }

    // pcre2_set_callout's function: a negative result abandons the match call.
    static int Callout(pcre2_callout_block*, void* data) {
        return static_cast<SearchBudget*>(data)->Expired() ? PCRE2_ERROR_CALLOUT : 0;
    }

private:
    using Clock = std::chrono::nanoseconds;
    static Clock Now() {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
        return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
    }
    Clock m_deadline;
    bool m_expired = false;
};

// Per-thread match context with the limits and a JIT stack. The JIT stack starts small and
// grows on demand up to its maximum; keeping it per thread avoids mapping fresh pages on every
// search (pcre2jit(3), "Controlling the JIT stack").
pcre2_match_context* ThreadMatchContext() {
    struct Holder {
        MatchContextHandle context;
        JitStackHandle stack;
    };
    thread_local Holder holder = [] {
        Holder h;
        h.context.reset(pcre2_match_context_create(nullptr));
        if (h.context) {
            pcre2_set_match_limit(h.context.get(), kMatchLimit);
            pcre2_set_depth_limit(h.context.get(), kDepthLimit);
            pcre2_set_heap_limit(h.context.get(), kHeapLimitKiB);
            h.stack.reset(pcre2_jit_stack_create(32 * 1024, kJitStackMax, nullptr));
            if (h.stack)
                pcre2_jit_stack_assign(h.context.get(), nullptr, h.stack.get());
        }
        return h;
    }();
    return holder.context.get();
}

} // namespace

// The compiled expression. Immutable once built, so copies of the object share it.
struct RegexExpression {
    Text pattern;          // as set, after the quote-marker replacement
    CodeHandle code;       // null when the engine rejected the pattern
    bool byteMode = false; // code matches on code page 936 bytes rather than on UTF-8
    std::uint32_t groupCount = 0;
    int errorCode = 0; // PCRE2 compile error, kept for debugging
    std::size_t errorOffset = 0;
};

// The outcome of one search: for every match, (groupCount + 1) pairs of byte offsets into the
// subject Text, kUnset for a group that did not take part.
struct RegexMatchList {
    std::uint32_t groupCount = 0;
    std::size_t matchCount = 0;
    std::vector<std::uint32_t> offsets;

    std::size_t Stride() const { return 2 * (static_cast<std::size_t>(groupCount) + 1); }
    // Offsets of group g (0 is the whole match) of match m, both 0-based.
    std::pair<std::uint32_t, std::uint32_t> Span(std::size_t m, std::size_t g) const {
        const std::size_t at = m * Stride() + 2 * g;
        return {offsets[at], offsets[at + 1]};
    }
};

namespace {

Text CutAtZero(const Text& text) {
    const std::size_t zero = text.find('\0');
    return zero == Text::npos ? text : text.substr(0, zero);
}

// The subject's code page 936 bytes as the engine sees them in byte mode.
class ByteSubject {
public:
    explicit ByteSubject(std::string_view text)
        : m_s(reinterpret_cast<const unsigned char*>(text.data())), m_n(text.size()) {}
    const char* Data() const { return reinterpret_cast<const char*>(m_s); }
    std::size_t Size() const { return m_n; }
    std::size_t CharLength(std::size_t offset) const {
        return offset < m_n ? Cp936CharLength(m_s, offset, m_n) : 1;
    }
    std::size_t ToByteOffset(std::size_t offset) const { return offset; }

    // Whether offset starts a character. Offsets asked about never decrease, so the walk
    // resumes from the last boundary found and the whole search walks the text at most once.
    // A byte below 40 is never part of a double-byte character, so a boundary follows it.
    bool IsCharStart(std::size_t offset) {
        std::size_t from = offset;
        while (from > m_known && m_s[from - 1] >= 0x40)
            --from;
        while (from < offset)
            from += Cp936CharLength(m_s, from, m_n);
        m_known = from;
        return from == offset;
    }

private:
    const unsigned char* m_s;
    std::size_t m_n;
    std::size_t m_known = 0; // a character boundary at or before every offset still to come
};

// Installs the budget's callout in the thread's match context for one search and removes it
// again, so that the context never points at a budget that is gone.
class CalloutScope {
public:
    CalloutScope(pcre2_match_context* context, SearchBudget& budget) : m_context(context) {
        pcre2_set_callout(m_context, &SearchBudget::Callout, &budget);
    }
    ~CalloutScope() { pcre2_set_callout(m_context, nullptr, nullptr); }
    CalloutScope(const CalloutScope&) = delete;
    CalloutScope& operator=(const CalloutScope&) = delete;

private:
    pcre2_match_context* m_context;
};

// Runs the expression over the subject as the engine sees it and collects the offsets of every
// match in the subject Text's bytes. Empty result (nullptr) when the search was given up;
// engineLimit tells whether it was PCRE2 that ran out of a limit (rather than the deadline or
// the room for matches).
template <typename Subject>
std::shared_ptr<const RegexMatchList> RunSearch(const pcre2_code* code, std::uint32_t groupCount,
                                                Subject& subject, bool global, SearchBudget& budget,
                                                bool& engineLimit) {
    engineLimit = false;
    pcre2_match_context* context = ThreadMatchContext();
    if (!context)
        return nullptr;
    const CalloutScope callout(context, budget);
    MatchDataHandle data(pcre2_match_data_create(groupCount + 1, nullptr));
    if (!data)
        return nullptr;

    auto list = std::make_shared<RegexMatchList>();
    list->groupCount = groupCount;
    const std::size_t pairs = static_cast<std::size_t>(groupCount) + 1;
    const auto* text = reinterpret_cast<PCRE2_SPTR>(subject.Data());
    const std::size_t length = subject.Size();
    std::vector<std::size_t> offsets; // per match, mapped to bytes after the loop

    std::size_t start = 0;
    while (start <= length) {
        // In UTF mode the subject is UTF-8 this object produced itself, so PCRE2 need not
        // validate it again on every call (pcre2unicode(3), "Validity of UTF strings").
        const int rc = pcre2_match(code, text, length, start, PCRE2_NO_UTF_CHECK, data.get(), context);
        if (rc == PCRE2_ERROR_NOMATCH)
            break;
        if (rc < 0) {
            // The deadline's callout, or the match or depth limit, JIT stack, heap: give up on
            // the whole search.
            engineLimit = !budget.WasExpired();
            return nullptr;
        }
        // Many quick matches (empty ones, say) never meet the callout's check in time.
        if (budget.Expired())
            return nullptr;
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
        if (!subject.IsCharStart(ovector[0])) {
            // Byte mode found a match that starts on the second byte of a character: no match
            // starts there, the next character starts one byte later.
            start = ovector[0] + 1;
            continue;
        }
        if (offsets.size() + 2 * pairs > kMaxStoredOffsets)
            return nullptr;
        for (std::size_t i = 0; i < 2 * pairs; ++i) {
            // Groups beyond rc did not take part; PCRE2 leaves their pairs unset.
            const bool set = i / 2 < static_cast<std::size_t>(rc) && ovector[i] != PCRE2_UNSET;
            offsets.push_back(set ? ovector[i] : std::numeric_limits<std::size_t>::max());
        }
        ++list->matchCount;
        if (!global)
            break;
        const std::size_t end = ovector[1];
        // As in ECMAScript: after an empty match the next search starts one character later;
        // it may again find an empty match there.
        start = end > ovector[0] ? end : end + subject.CharLength(end);
    }

    list->offsets.resize(offsets.size());
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        list->offsets[i] = offsets[i] == std::numeric_limits<std::size_t>::max()
                               ? kUnset
                               : static_cast<std::uint32_t>(subject.ToByteOffset(offsets[i]));
    }
    return list;
}

// Whether a translated pattern has a "|" outside every group.
bool HasTopLevelAlternation(std::string_view pattern) {
    // With PCRE2_ALLOW_EMPTY_CLASS an unescaped "]" always ends a class, even right after "[".
    int depth = 0;
    bool inClass = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '\\')
            ++i;
        else if (inClass)
            inClass = c != ']';
        else if (c == '[')
            inClass = true;
        else if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
        else if (c == '|' && depth == 0)
            return true;
    }
    return false;
}

// Length of the run of plain ASCII literals that starts a translated pattern ("weibo\\?q=" of the
// hot-search pattern), stopping before a literal that a quantifier applies to.
std::size_t LiteralPrefixLength(std::string_view pattern) {
    constexpr std::string_view kSpecial = "\\^$.|?*+()[]{}";
    auto isAlnum = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    };
    auto isQuantifier = [](char c) { return c == '*' || c == '+' || c == '?' || c == '{'; };
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        std::size_t atom = 0;
        if (c == '\\') {
            // An escaped ASCII punctuation character is that character.
            if (i + 1 < pattern.size() && pattern[i + 1] > ' ' && pattern[i + 1] < 0x7F &&
                !isAlnum(pattern[i + 1]))
                atom = 2;
        } else if (c >= ' ' && c < 0x7F && kSpecial.find(c) == std::string_view::npos) {
            atom = 1;
        }
        if (atom == 0 || (i + atom < pattern.size() && isQuantifier(pattern[i + atom])))
            break;
        i += atom;
    }
    return i;
}

// Compiles a translated pattern. ECMAScript compatibility (pcre2api(3), pcre2_compile options):
// \u and \x as ECMAScript writes them, [] and [^] as the empty and the full class, and a
// back-reference to a group that has not matched matching the empty string. No UCP: \w, \d
// and \b stay ASCII. The translated pattern does its own line-break handling, so the newline
// convention does not matter.
CodeHandle Compile(const TranslatedPattern& translated, bool utf, bool caseSensitive,
                   RegexExpression& expression) {
    std::uint32_t options = PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF |
                            PCRE2_NEVER_UCP | PCRE2_NEVER_BACKSLASH_C;
    options |= utf ? PCRE2_UTF | PCRE2_NO_UTF_CHECK : PCRE2_NEVER_UTF;
    if (!caseSensitive)
        options |= PCRE2_CASELESS;
    // PCRE2 10.42 takes the character a look-ahead expects as the first character of the
    // match and then wants the pattern's last literal after it, so (?=a)a?a misses "a". Its
    // start-of-match optimisations are only switched off where that can happen.
    if (translated.positiveLookAhead)
        options |= PCRE2_NO_START_OPTIMIZE;
    // The deadline's callout runs at every start position that gets past the pattern's leading
    // literals. Placed after them, it leaves PCRE2's search for those literals as fast as
    // without it and is not called where they do not occur (on a normal page it then costs
    // little; placed first it would triple the time of the hot-search pattern). An attempt that
    // fails within the literals is short, so the deadline still bounds the call. With a
    // top-level alternation the literals belong to the first alternative only, so the callout
    // comes first, with the alternatives in a group behind it.
    const std::string_view pattern = translated.pattern;
    const bool alternation = HasTopLevelAlternation(pattern);
    const std::size_t literals = alternation ? 0 : LiteralPrefixLength(pattern);
    const std::string_view inserted = alternation ? "(?C)(?:" : kDeadlineCallout;
    std::string withCallout;
    withCallout.reserve(pattern.size() + inserted.size() + 1);
    withCallout.append(pattern.substr(0, literals)).append(inserted).append(pattern.substr(literals));
    if (alternation)
        withCallout.push_back(')');
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    CodeHandle code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(withCallout.data()), withCallout.size(),
                                  options, &errorCode, &errorOffset, nullptr));
    if (!code) {
        expression.errorCode = errorCode;
        // Offset into the translated pattern, without the callout.
        expression.errorOffset = errorOffset <= literals                     ? errorOffset
                                 : errorOffset >= literals + inserted.size() ? errorOffset - inserted.size()
                                                                             : literals;
        return code;
    }
    // Without JIT (unsupported platform, or no executable memory) the interpreter runs the same
    // pattern, only slower.
    pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE);
    return code;
}

// Appends the replacement for one match with ECMAScript's substitutions: $$, $&, $`, $', $n and
// $nn (a group number above the group count is taken literally, as is a lone $).
void AppendExpansion(Text& out, std::string_view replacement, std::string_view subject,
                     const RegexMatchList& list, std::size_t match) {
    const auto [matchStart, matchEnd] = list.Span(match, 0);
    auto appendGroup = [&](std::size_t g) {
        const auto [s, e] = list.Span(match, g);
        if (s != kUnset)
            out.append(subject.substr(s, e - s));
    };
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    for (std::size_t i = 0; i < replacement.size();) {
        const char c = replacement[i];
        if (c != '$' || i + 1 >= replacement.size()) {
            // '$' is never the second byte of a double-byte character, so copying the other
            // bytes one by one keeps every character whole.
            out.push_back(c);
            ++i;
            continue;
        }
        const char next = replacement[i + 1];
        if (next == '$') {
            out.push_back('$');
            i += 2;
        } else if (next == '&') {
            appendGroup(0);
            i += 2;
        } else if (next == '`') {
            out.append(subject.substr(0, matchStart));
            i += 2;
        } else if (next == '\'') {
            out.append(subject.substr(matchEnd));
            i += 2;
        } else if (isDigit(next)) {
            const std::size_t one = static_cast<std::size_t>(next - '0');
            if (i + 2 < replacement.size() && isDigit(replacement[i + 2])) {
                const std::size_t two = one * 10 + static_cast<std::size_t>(replacement[i + 2] - '0');
                if (two >= 1 && two <= list.groupCount) {
                    appendGroup(two);
                    i += 3;
                    continue;
                }
            }
            if (one >= 1 && one <= list.groupCount) {
                appendGroup(one);
                i += 2;
            } else {
                out.push_back('$');
                ++i;
            }
        } else {
            out.push_back('$');
            ++i;
        }
    }
}

// Group `group` (0: the whole match) of match `matchIndex` (from 1) as Text; position as the
// public reads define it.
Text ReadGroup(const RegexMatchList* list, const Text& subject, std::int32_t matchIndex, std::uint32_t group,
               std::int32_t* position) {
    if (position)
        *position = -2;
    if (!list || matchIndex < 1 || static_cast<std::size_t>(matchIndex) > list->matchCount ||
        group > list->groupCount)
        return {};
    const std::size_t m = static_cast<std::size_t>(matchIndex) - 1;
    const auto [start, end] = list->Span(m, group);
    Text result = start == kUnset ? Text() : subject.substr(start, end - start);
    if (position) {
        // The first place from the start of the match where the result occurs; for a group
        // that need not be where the group itself matched. The empty Text occurs right there.
        const std::size_t matchStart = list->Span(m, 0).first;
        const std::size_t found = result.empty() ? matchStart : FindForward(subject, result, matchStart);
        *position = found == kNotFound ? -2 : static_cast<std::int32_t>(found);
    }
    return result;
}

// Compiles the pattern as set. Plain patterns (both of the program's own among them) run on the
// subject's bytes when allowBytes is set, which spares decoding the whole page; the others on
// the subject decoded to UTF-8.
std::shared_ptr<const RegexExpression> BuildExpression(const Text& patternSet, bool caseSensitive,
                                                       bool multiline, bool allowBytes) {
    auto expression = std::make_shared<RegexExpression>();
    expression->pattern = patternSet;
    const Text patternText = CutAtZero(patternSet);
    CodeHandle code;
    if (allowBytes) {
        const TranslatedPattern forBytes = TranslatePatternForBytes(patternText, multiline);
        if (forBytes.ok) {
            code = Compile(forBytes, false, caseSensitive, *expression);
            expression->byteMode = code != nullptr;
        }
    }
    if (!code) {
        // The engine reads the pattern as characters too; a byte that is no character in code
        // page 936 becomes U+FFFD rather than something with a meaning of its own such as "?".
        thread_local DecodedSubject decodedPattern;
        decodedPattern.Decode(patternText);
        const TranslatedPattern translated =
            TranslatePattern(std::string_view(decodedPattern.Data(), decodedPattern.Size()), multiline);
        if (translated.ok)
            code = Compile(translated, true, caseSensitive, *expression);
    }
    if (code) {
        std::uint32_t groups = 0;
        pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &groups);
        expression->groupCount = groups;
        expression->code = std::move(code);
    }
    return expression;
}

// The program searches with the same two patterns again and again; compiling them (and their
// JIT code) costs about as much as a search of a whole page, so each thread keeps the last few.
std::shared_ptr<const RegexExpression> CachedExpression(const Text& patternSet, bool caseSensitive,
                                                        bool multiline) {
    struct Entry {
        Text pattern;
        bool caseSensitive;
        bool multiline;
        std::shared_ptr<const RegexExpression> expression;
    };
    thread_local std::vector<Entry> cache;
    for (std::size_t i = 0; i < cache.size(); ++i) {
        Entry& entry = cache[i];
        if (entry.caseSensitive == caseSensitive && entry.multiline == multiline &&
            entry.pattern == patternSet) {
            std::rotate(cache.begin(), cache.begin() + static_cast<std::ptrdiff_t>(i),
                        cache.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return cache.front().expression;
        }
    }
    auto expression = BuildExpression(patternSet, caseSensitive, multiline, true);
    if (patternSet.size() <= kMaxCachedPatternBytes) {
        if (cache.size() >= kCachedExpressions)
            cache.pop_back();
        cache.insert(cache.begin(), Entry{patternSet, caseSensitive, multiline, expression});
    }
    return expression;
}

std::shared_ptr<const RegexMatchList> RunExpression(const RegexExpression& expression, const Text& subject,
                                                    bool global, SearchBudget& budget, bool& engineLimit) {
    if (expression.byteMode) {
        ByteSubject bytes(subject);
        return RunSearch(expression.code.get(), expression.groupCount, bytes, global, budget, engineLimit);
    }
    thread_local DecodedSubject decoded;
    decoded.Decode(subject);
    auto matches =
        RunSearch(expression.code.get(), expression.groupCount, decoded, global, budget, engineLimit);
    decoded.Release();
    return matches;
}

} // namespace

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(const RegexObject& other) = default;
RegexObject& RegexObject::operator=(const RegexObject& other) = default;
RegexObject::RegexObject(RegexObject&& other) noexcept = default;
RegexObject& RegexObject::operator=(RegexObject&& other) noexcept = default;

bool RegexObject::Search(const Text& pattern, const Text& subject, bool caseSensitive, bool multiline,
                         bool global, bool quoteMarker) {
    m_regExp.reset();
    m_matches.reset();
    m_subject = CutAtZero(subject);
    const Text patternSet = quoteMarker ? ReplaceAll(pattern, kQuoteMarker, "\"") : pattern;
    m_regExp = CachedExpression(patternSet, caseSensitive, multiline);
    if (!m_regExp->code || m_subject.size() > kMaxSubjectBytes)
        return false;
    SearchBudget budget; // one deadline for the whole Search, the retry included
    bool engineLimit = false;
    m_matches = RunExpression(*m_regExp, m_subject, global, budget, engineLimit);
    if (!m_matches && engineLimit && m_regExp->byteMode) {
        // Byte mode spends more backtracking and stack per character; when it runs out, the
        // same search on characters may still finish within the limits.
        const auto characters = BuildExpression(patternSet, caseSensitive, multiline, false);
        if (characters->code)
            m_matches = RunExpression(*characters, m_subject, global, budget, engineLimit);
    }
    return m_matches != nullptr;
}

void RegexObject::Reserved() {}

Text RegexObject::GetPattern() const {
    return m_regExp ? m_regExp->pattern : Text();
}

Text RegexObject::Replace(const Text& replacement) const {
    if (!m_matches)
        return {};
    const std::string_view subject = m_subject;
    const std::string_view with = std::string_view(replacement).substr(0, replacement.find('\0'));
    Text out;
    out.reserve(subject.size());
    std::size_t last = 0;
    for (std::size_t m = 0; m < m_matches->matchCount; ++m) {
        const auto [start, end] = m_matches->Span(m, 0);
        out.append(subject.substr(last, start - last));
        AppendExpansion(out, with, subject, *m_matches, m);
        last = end;
    }
    out.append(subject.substr(last));
    return out;
}

std::int32_t RegexObject::MatchCount() const {
    if (!m_matches)
        return 0;
    return static_cast<std::int32_t>(
        std::min<std::size_t>(m_matches->matchCount, std::numeric_limits<std::int32_t>::max()));
}

Text RegexObject::MatchText(std::int32_t index, std::int32_t* position) const {
    return ReadGroup(m_matches.get(), m_subject, index, 0, position);
}

Text RegexObject::SubMatchText(std::int32_t matchIndex, std::int32_t groupIndex,
                               std::int32_t* position) const {
    if (groupIndex < 1) {
        if (position)
            *position = -2;
        return {};
    }
    return ReadGroup(m_matches.get(), m_subject, matchIndex, static_cast<std::uint32_t>(groupIndex),
                     position);
}

std::int32_t RegexObject::SubMatchCount() const {
    if (!m_matches || m_matches->matchCount == 0)
        return 0;
    return static_cast<std::int32_t>(m_matches->groupCount);
}

} // namespace velk
