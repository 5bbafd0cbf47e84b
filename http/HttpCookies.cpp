#include "http/HttpCookies.h"

#include <string_view>

#include "util/TextExtract.h"
#include "util/TextSearch.h"

namespace velk {
namespace {

constexpr std::string_view kPairSeparator = "; ";
constexpr std::string_view kDeleted = "=deleted";

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Every occurrence of `what` removed, ignoring ASCII case.
Text RemoveIgnoringCase(const Text& text, std::string_view what) {
    Text out;
    std::size_t from = 0;
    for (std::size_t at; (at = FindForward(text, what, from, true)) != kNotFound; from = at + what.size())
        out.append(text, from, at - from);
    out.append(text, from);
    return out;
}

// Trimmed, with one blank added after a final ";" so that the split sees a "; " separator.
void TidyCookieText(Text& text) {
    text = TrimText(text);
    if (EndsWith(text, ";"))
        text += ' ';
}

} // namespace

Text HttpCookies::ExtractSetCookie(const Text& line) {
    if (FindForward(line, ";") != kNotFound)
        return TrimText(TextBetween(line, "Set-Cookie:", ";"));
    return TrimText(RemoveIgnoringCase(line, "Set-Cookie:"));
}

Text HttpCookies::MergeCookies(Text& oldText, Text& newText) {
    TidyCookieText(oldText);
    TidyCookieText(newText);
    const TextArray oldPairs = SplitText(oldText, kPairSeparator);
    TextArray pairs = SplitText(newText, kPairSeparator);
    // Old pairs appended here count for the later tests, so of several old pairs with one
    // name only the first survives.
    for (const Text& pair : oldPairs) {
        if (!ContainsCookieName(pairs, CookieName(pair)))
            pairs.push_back(pair);
    }
    Text merged;
    for (const Text& pair : pairs) {
        if (!EndsWith(pair, kDeleted)) {
            merged += pair;
            merged += kPairSeparator;
        }
    }
    if (merged.size() >= kPairSeparator.size())
        merged.resize(merged.size() - kPairSeparator.size());
    oldText = JoinUnique(merged, Text(kPairSeparator), true);
    return oldText;
}

Text HttpCookies::CookieName(const Text& pair) {
    const std::size_t equals = FindForward(pair, "=");
    return TrimText(equals == kNotFound ? std::string_view(pair) : std::string_view(pair).substr(0, equals));
}

bool HttpCookies::ContainsCookieName(const TextArray& pairs, const Text& name) {
    for (const Text& pair : pairs) {
        if (CookieName(pair) == name)
            return true;
    }
    return false;
}

Text HttpCookies::JoinUnique(const Text& text, const Text& separator, bool split) {
    const TextArray pieces = split ? SplitText(text, separator) : SplitCharacters(text);
    TextArray kept;
    Text out;
    for (const Text& piece : pieces) {
        if (FindInArray(kept, piece) != -1)
            continue;
        kept.push_back(piece);
        out += piece;
        out += separator;
    }
    out.resize(out.size() >= separator.size() ? out.size() - separator.size() : 0);
    return out;
}

TextArray HttpCookies::SplitCharacters(const Text& text) {
    TextArray pieces;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const bool pair = i + 1 < text.size() && (b >= 0x81 || (b == '\r' && text[i + 1] == '\n'));
        const std::size_t length = pair ? 2 : 1;
        pieces.push_back(text.substr(i, length));
        i += length;
    }
    return pieces;
}

std::int32_t HttpCookies::FindInArray(const TextArray& array, const Text& text) {
    for (std::size_t i = 0; i < array.size(); ++i) {
        if (array[i] == text)
            return static_cast<std::int32_t>(i + 1);
    }
    return -1;
}

} // namespace velk
