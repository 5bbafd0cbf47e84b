// RegexObject::Search with the program's two patterns (the hot-search entry pattern and the
// response charset pattern) over fuzzed subjects, followed by every read the program makes and
// a replacement. Match and group texts must sit in the subject where their positions say.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "regex/RegexObject.h"

namespace {

using velk::Text;
using velk::fuzz::Check;

constexpr const char* kPatterns[] = {
    "weibo\\?q=(.*?)\" target=\"_blank\">(.*?)</a>",
    "<meta.+?charset=[^\\w]?([-\\w]+)",
};

void CheckPlaced(const Text& subject, const Text& piece, std::int32_t position, const char* what) {
    if (position == -2)
        return;
    Check(position >= 0 && std::size_t(position) + piece.size() <= subject.size() &&
              subject.compare(std::size_t(position), piece.size(), piece) == 0,
          what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const char* pattern = in.PickValueInArray(kPatterns);
    // The program's searches use the defaults; the other option bits are there to reach the
    // other paths of the matcher.
    const bool defaults = in.ConsumeIntegralInRange<std::uint8_t>(0, 3) != 0;
    const bool caseSensitive = defaults ? false : in.ConsumeBool();
    const bool multiline = defaults ? true : in.ConsumeBool();
    const bool global = defaults ? true : in.ConsumeBool();
    const Text subject = in.ConsumeRemainingBytesAsString();

    velk::RegexObject regex;
    if (!regex.Search(pattern, subject, caseSensitive, multiline, global)) {
        Check(regex.MatchCount() == 0, "a failed search leaves no matches");
        return 0;
    }
    const std::int32_t count = regex.MatchCount();
    Check(count >= 0 && (global || count <= 1), "match count");
    Check(std::size_t(count) <= subject.size() + 1, "no more matches than places");
    const std::int32_t groups = regex.SubMatchCount();
    Check(count == 0 ? groups == 0 : groups == 2 || groups == 1, "group count");
    for (std::int32_t k = 1; k <= count; ++k) {
        std::int32_t position = 0;
        const Text match = regex.MatchText(k, &position);
        CheckPlaced(subject, match, position, "a match sits where its position says");
        for (std::int32_t g = 1; g <= groups; ++g) {
            const Text group = regex.SubMatchText(k, g, &position);
            CheckPlaced(subject, group, position, "a group sits where its position says");
            Check(match.find(group) != Text::npos, "a group is part of its match");
        }
    }
    Check(regex.MatchText(count + 1).empty() && regex.SubMatchText(1, groups + 1).empty(),
          "reads past the end are empty");
    (void)regex.Replace("[$1|$2|$&]");
    velk::RegexObject copy = regex;
    Check(copy.MatchCount() == count, "a copy shares the matches");
    return 0;
}
