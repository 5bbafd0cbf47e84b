// BuildHeaderBlock (with and without defaults and name rewriting) and NormaliseHeaderNames over
// fuzzed caller blocks and cookie texts.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "http/HttpHeaders.h"
#include "util/TextSearch.h"

using velk::HttpHeaders;
using velk::Text;
using velk::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::int32_t method = in.ConsumeIntegralInRange<std::int32_t>(-1, 4);
    const bool addDefaults = in.ConsumeBool();
    const bool normaliseNames = in.ConsumeBool();
    const Text cookies = in.ConsumeRandomLengthString(64);
    const Text headers = in.ConsumeRemainingBytesAsString();

    const Text block = HttpHeaders::BuildHeaderBlock(headers, method, cookies, addDefaults, normaliseNames);
    if (!cookies.empty())
        Check(velk::FindForward(block, "Cookie:", 0, true) != velk::kNotFound, "cookies reach the block");

    const Text normalised = HttpHeaders::NormaliseHeaderNames(headers);
    // Seen as the searches see it: a lead byte takes the CR after it as its second byte, so such
    // a pair is part of the line, not its end.
    Check(normalised.size() < 2 ||
              velk::FindBackward(normalised, "\r\n", normalised.size()) != normalised.size() - 2,
          "no CRLF after the last line");
    for (const Text& line : velk::SplitText(normalised, "\r\n"))
        Check(velk::FindForward(line, ":") != velk::kNotFound, "every kept line has a colon");
    Check(HttpHeaders::NormaliseHeaderNames(normalised) == normalised, "rewriting names twice changes nothing");
    return 0;
}
