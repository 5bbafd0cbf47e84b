#include "util/TextExtract.h"

#include <cstdlib>

#include "util/TextSearch.h"

namespace velk {
namespace {

// "#引号" in code page 936.
constexpr std::string_view kQuoteToken = "#\xD2\xFD\xBA\xC5";

// 1-based position -> 0-based offset where a forward search starts.
std::size_t StartOffset(std::int64_t position) { return position <= 1 ? 0 : static_cast<std::size_t>(position - 1); }

// Bytes allowed to a backward search: the first L - k bytes, none when k >= L.
std::size_t BackwardLimit(std::size_t length, std::int64_t k) {
    if (k <= 0)
        return length;
    return static_cast<std::size_t>(k) >= length ? 0 : length - static_cast<std::size_t>(k);
}

// |position| with -1 taken as 0, as both routines read a negative position.
std::int64_t NegativeDistance(std::int32_t position) {
    const std::int64_t k = -static_cast<std::int64_t>(position);
    return k == 1 ? 0 : k;
}

} // namespace

Text TextBetween(const Text& text, const Text& startMarker, const Text& endMarker, std::int32_t startPosition,
                 bool ignoreCase) {
    const Text start = ReplaceAll(startMarker, kQuoteToken, "\"");
    const Text end = ReplaceAll(endMarker, kQuoteToken, "\"");
    const std::size_t found = FindForward(text, start, StartOffset(startPosition), ignoreCase);
    if (found == kNotFound)
        return Text();
    const std::size_t q = found + start.size();
    const std::size_t stop = FindForward(text, end, q, ignoreCase);
    if (stop == kNotFound)
        return Text();
    return text.substr(q, stop - q);
}

Text TextBefore(const Text& text, const Text& marker, std::int32_t position, bool ignoreCase) {
    std::size_t found;
    if (position >= 0)
        found = FindForward(text, marker, StartOffset(position), ignoreCase);
    else
        found = FindBackward(text, marker, BackwardLimit(text.size(), NegativeDistance(position)), ignoreCase);
    if (found == kNotFound)
        return Text();
    return text.substr(0, found);
}

Text TextAfter(const Text& text, const Text& marker, std::int32_t position, bool ignoreCase) {
    std::size_t found;
    if (position >= 0)
        found = FindBackward(text, marker, BackwardLimit(text.size(), position), ignoreCase);
    else
        found = FindForward(text, marker, StartOffset(NegativeDistance(position)), ignoreCase);
    if (found == kNotFound)
        return Text();
    return text.substr(found + marker.size());
}

} // namespace velk
