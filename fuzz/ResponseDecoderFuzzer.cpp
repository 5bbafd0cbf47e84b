// DecodeResponseText over fuzzed response bodies: the meta-tag search with the charset pattern,
// then the conversion from whatever set the body names.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "http/ResponseDecoder.h"

using velk::Bytes;
using velk::Text;
using velk::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes body(data, data + size);
    const Text raw(reinterpret_cast<const char*>(data), size);
    Text result = raw.substr(0, raw.find('\0'));
    velk::ResponseDecoder::DecodeResponseText(result, body);
    Check(result.find('\0') == Text::npos, "the decoded text ends at its first zero");
    return 0;
}
