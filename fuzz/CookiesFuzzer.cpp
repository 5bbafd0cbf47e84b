// ExtractSetCookie over every line of a fuzzed response header block, and MergeCookies of the
// pairs it finds into a fuzzed old cookie text, as the HTTP client does along a redirect chain.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "http/HttpCookies.h"
#include "util/TextSearch.h"

using velk::HttpCookies;
using velk::Text;
using velk::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    Text oldText = in.ConsumeRandomLengthString(128);
    const Text headers = in.ConsumeRemainingBytesAsString();

    Text fresh;
    for (const Text& line : velk::SplitText(headers, "\r\n")) {
        const Text pair = HttpCookies::ExtractSetCookie(line);
        Check(pair == velk::TrimText(pair), "an extracted pair is trimmed");
        if (!pair.empty())
            fresh += (fresh.empty() ? "" : "; ") + pair;
    }
    const Text merged = HttpCookies::MergeCookies(oldText, fresh);
    Check(merged == oldText, "the old text becomes the merge result");

    const velk::TextArray pieces = velk::SplitText(merged, "; ");
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const Text& pair = pieces[i];
        Check(pair.size() < 8 || pair.compare(pair.size() - 8, 8, "=deleted") != 0, "deleted pairs are dropped");
        Check(HttpCookies::FindInArray(pieces, pair) == std::int32_t(i + 1), "no pair is repeated");
    }
    return 0;
}
