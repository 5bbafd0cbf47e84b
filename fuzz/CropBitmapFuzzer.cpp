// CropBitmap over fuzzed BMP files and rectangles: whatever the header claims, the cut reads
// nothing outside the source and gives either nothing or a well-formed BMP of the clipped size.

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/FuzzSupport.h"
#include "util/ImageConverter.h"

namespace {

using velk::Bytes;
using velk::fuzz::Check;

// A little-endian header field; bytes beyond the end read as 0, as the cropper reads them.
std::int64_t ReadLe(const Bytes& b, std::size_t at, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n && at + i < b.size(); ++i)
        v |= std::uint64_t(b[at + i]) << (8 * i);
    return std::int64_t(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::int32_t left = velk::fuzz::ConsumeSmallOrAny(in, 600);
    const std::int32_t top = velk::fuzz::ConsumeSmallOrAny(in, 600);
    const std::int32_t width = velk::fuzz::ConsumeSmallOrAny(in, 600);
    const std::int32_t height = velk::fuzz::ConsumeSmallOrAny(in, 600);
    // An exact-size heap copy, so that ASan sees any read past the end.
    const Bytes source = in.ConsumeRemainingBytes<std::uint8_t>();

    const Bytes cut = velk::ImageConverter::CropBitmap(source, left, top, width, height);
    if (cut.empty())
        return 0;

    Check(cut.size() >= 54 && cut[0] == 'B' && cut[1] == 'M', "a BMP file header");
    Check(ReadLe(cut, 2, 4) == std::int64_t(cut.size()), "the file size field is the size");
    const std::int64_t w = std::int32_t(ReadLe(cut, 18, 4));
    const std::int64_t h = std::int32_t(ReadLe(cut, 22, 4));
    // A cut that starts at the right or bottom edge exactly keeps no pixels and is still a BMP.
    Check(w >= 0 && h >= 0, "a cut has no negative size");
    Check(w <= width && h <= height, "a cut is no larger than asked for");
    Check(ReadLe(cut, 28, 2) == ReadLe(source, 28, 2), "a cut keeps the bit depth");
    const std::int64_t bits = ReadLe(cut, 28, 2);
    const std::int64_t row = (w * bits + 31) / 32 * 4;
    Check(std::int64_t(ReadLe(cut, 10, 4)) + row * h == std::int64_t(cut.size()), "rows fill the file");
    return 0;
}
