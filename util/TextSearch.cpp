#include "util/TextSearch.h"

namespace velk {
namespace {

inline unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

bool MatchesAt(std::string_view text, std::size_t at, std::string_view marker, bool ignoreCase) {
    if (at + marker.size() > text.size())
        return false;
    if (!ignoreCase)
        return text.compare(at, marker.size(), marker) == 0;
    for (std::size_t i = 0; i < marker.size(); ++i) {
        if (FoldAscii(static_cast<unsigned char>(text[at + i])) !=
            FoldAscii(static_cast<unsigned char>(marker[i])))
            return false;
    }
    return true;
}

// Length of the character that starts at offset i: 2 for a lead byte with a second byte after
// it, 1 otherwise.
inline std::size_t CharLength(std::string_view text, std::size_t i) {
    return (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
}

} // namespace

std::size_t FindForward(std::string_view text, std::string_view marker, std::size_t from, bool ignoreCase) {
    if (marker.empty() || marker.size() > text.size())
        return kNotFound;
    const std::size_t last = text.size() - marker.size();
    for (std::size_t i = from; i <= last; i += CharLength(text, i)) {
        if (MatchesAt(text, i, marker, ignoreCase))
            return i;
    }
    return kNotFound;
}

std::size_t FindBackward(std::string_view text, std::string_view marker, std::size_t limit, bool ignoreCase) {
    if (limit > text.size())
        limit = text.size();
    if (marker.empty() || marker.size() > limit)
        return kNotFound;
    const std::size_t last = limit - marker.size();
    std::size_t found = kNotFound;
    // Boundaries are only known walking forward, so walk forward and keep the last hit.
    for (std::size_t i = 0; i <= last; i += CharLength(text, i)) {
        if (MatchesAt(text, i, marker, ignoreCase))
            found = i;
    }
    return found;
}

Text TrimText(std::string_view text) {
    // Walk character by character so that an A1 A1 pair is only taken as a blank when it is a
    // whole character, never the tail of one character and the lead of the next.
    std::size_t begin = text.size();
    std::size_t end = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = CharLength(text, i);
        const bool blank = text[i] == ' ' || (len == 2 && text.compare(i, 2, "\xA1\xA1") == 0);
        if (!blank) {
            if (begin == text.size())
                begin = i;
            end = i + len;
        }
        i += len;
    }
    if (begin >= end)
        return Text();
    return Text(text.substr(begin, end - begin));
}

TextArray SplitText(std::string_view text, std::string_view separator) {
    TextArray pieces;
    if (text.empty())
        return pieces;
    if (separator.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t at = FindForward(text, separator, start);
        if (at == kNotFound) {
            pieces.emplace_back(text.substr(start));
            break;
        }
        pieces.emplace_back(text.substr(start, at - start));
        start = at + separator.size();
    }
    return pieces;
}

Text ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty())
        return Text(text);
    Text out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = FindForward(text, from, start);
        if (at == kNotFound)
            break;
        out.append(text.substr(start, at - start));
        out.append(to);
        start = at + from.size();
    }
    out.append(text.substr(start));
    return out;
}

} // namespace velk
