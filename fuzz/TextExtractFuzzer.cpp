// TextBetween, TextBefore and TextAfter over fuzzed texts, markers, positions and case modes.
// Each result must be a piece of the text at the place its marker was found: a prefix before the
// marker, a suffix after it, and a marker match never starts inside a two-byte character.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "util/TextExtract.h"
#include "util/TextSearch.h"

namespace {

using velk::Text;
using velk::fuzz::Check;

// True when offset `at` starts a character of the text (or is its end).
bool IsCharacterBoundary(std::string_view text, std::size_t at) {
    std::size_t i = 0;
    while (i < at)
        i += (velk::IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
    return i == at;
}

bool MatchesAt(std::string_view text, std::size_t at, std::string_view marker) {
    return at <= text.size() && text.substr(at, marker.size()) == marker;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool ignoreCase = in.ConsumeBool();
    const std::int32_t position = velk::fuzz::ConsumeSmallOrAny(in, 64);
    const Text marker = in.ConsumeRandomLengthString(24);
    const Text endMarker = in.ConsumeRandomLengthString(24);
    const Text text = in.ConsumeRemainingBytesAsString();

    const Text between = velk::TextBetween(text, marker, endMarker, position, ignoreCase);
    Check(between.empty() || text.find(between) != Text::npos, "TextBetween gives a piece of the text");

    const Text before = velk::TextBefore(text, marker, position, ignoreCase);
    Check(text.compare(0, before.size(), before) == 0, "TextBefore gives a prefix");
    if (!before.empty()) {
        Check(before.size() + marker.size() <= text.size(), "TextBefore leaves room for the marker");
        Check(ignoreCase || MatchesAt(text, before.size(), marker), "TextBefore stops at the marker");
        // A forward search that starts further in may start mid-character by contract; from the
        // start of the text, and backwards, it walks whole characters.
        if (position <= 1)
            Check(IsCharacterBoundary(text, before.size()), "TextBefore cuts at a character boundary");
    }

    const Text after = velk::TextAfter(text, marker, position, ignoreCase);
    Check(after.size() <= text.size() && text.compare(text.size() - after.size(), after.size(), after) == 0,
          "TextAfter gives a suffix");
    if (!after.empty()) {
        Check(after.size() + marker.size() <= text.size(), "TextAfter leaves room for the marker");
        const std::size_t at = text.size() - after.size() - marker.size();
        Check(ignoreCase || MatchesAt(text, at, marker), "TextAfter starts after the marker");
        if (position >= -1)
            Check(IsCharacterBoundary(text, at), "TextAfter's marker starts at a character boundary");
    }
    if (marker.empty())
        Check(before.empty() && after.empty(), "an empty marker gives the empty Text");
    return 0;
}
