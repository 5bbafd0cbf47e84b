// The encoding conversions over fuzzed bytes in the code pages the program meets. Besides not
// crashing, converting straight between two multibyte code pages must give the same bytes as
// going through UTF-16, including the replacement characters for input that cannot be read or
// written (both paths skip the same units), and the UTF-16 results keep their shape.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "util/Encoding.h"

namespace {

using velk::Bytes;
using velk::Text;
using velk::fuzz::Check;

constexpr std::int32_t kCodePages[] = {936, 65001, 54936, 950, 1252, 437, 20127, 28591, 0};
constexpr const char* kCharsets[] = {"utf-8", "big5", "gbk", "gb18030", "iso-8859-1", "utf-16", "utf-16le",
                                     "utf-32", "utf-7", "iso-2022-jp", "euc-jp", "shift_jis", "ucs-2",
                                     "koi8-r", "windows-1252", "hz-gb-2312", "no-such-set"};

std::string_view UntilNul(std::string_view s) { return s.substr(0, std::min(s.find('\0'), s.size())); }

void CheckUtf16Shape(const Bytes& utf16, const char* what) {
    if (utf16.empty())
        return;
    Check(utf16.size() % 2 == 0 && utf16.size() >= 2, what);
    Check(utf16[utf16.size() - 2] == 0 && utf16[utf16.size() - 1] == 0, what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::int32_t from = in.PickValueInArray(kCodePages);
    const std::int32_t to = in.PickValueInArray(kCodePages);
    const char* charset = in.PickValueInArray(kCharsets);
    const bool cut = in.ConsumeBool();
    const Text input = in.ConsumeRemainingBytesAsString();
    const Bytes bytes = velk::ToBytes(input);

    const Bytes utf16 = velk::CodePageToUtf16(bytes, from);
    CheckUtf16Shape(utf16, "CodePageToUtf16 ends with one zero unit");
    const Text direct = velk::ConvertCodePage(input, from, to);
    const Text viaUtf16 = velk::Utf16ToCodePageText(utf16, to);
    // GB18030 holds U+FFFD itself, so there the way through UTF-16 writes the replacement
    // character where the direct way writes "?" for unreadable input.
    if (to != 54936)
        Check(direct == viaUtf16, "ConvertCodePage equals the way through UTF-16");
    Check(UntilNul(viaUtf16).size() == viaUtf16.size(), "multibyte results hold no zero byte");

    // The input read as UTF-16 (little-endian, cut at its first zero unit).
    const Bytes ansi = velk::Utf16ToCodePage(bytes, 936);
    Check(velk::ToText(ansi) == velk::Utf16ToAnsi(bytes), "Utf16ToAnsi is Utf16ToCodePage 936");
    Check(UntilNul(velk::ToText(ansi)).size() == ansi.size(), "Utf16ToCodePage holds no zero byte");
    const Bytes cutInput = velk::CutAtNul(bytes, false);
    Check(cutInput.size() % 2 == 0 && cutInput.size() <= bytes.size(), "CutAtNul keeps whole units");
    CheckUtf16Shape(velk::CutAtNul(bytes, true), "CutAtNul with terminator ends with one zero unit");

    const Bytes fromAnsi = velk::AnsiToUtf16(input, cut);
    if (!cut)
        CheckUtf16Shape(fromAnsi, "AnsiToUtf16 ends with one zero unit");
    Check(velk::Utf8ToAnsi(input) == velk::Utf8ToAnsiText(input), "Utf8ToAnsi has one answer");
    Check(velk::TextToUtf16(input, from) == utf16, "TextToUtf16 is CodePageToUtf16");

    Text decoded = "untouched";
    if (velk::CharsetToAnsi(input, charset, decoded))
        Check(decoded.size() <= input.size() * 4 + 4, "CharsetToAnsi output stays in proportion");
    else
        Check(decoded == "untouched", "a refused charset leaves the output alone");
    return 0;
}
