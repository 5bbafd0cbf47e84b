// ImageConverter::Convert (mostly to BMP, the flag path, which has its own PNG reader) and
// GetWidth over fuzzed image files. A BMP the converter writes must be one that GetWidth reads,
// with the width of the image it came from.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "util/ImageConverter.h"

namespace {

using velk::Bytes;
using velk::ImageConverter;
using velk::fuzz::Check;

constexpr velk::ImageFormat kFormats[] = {ImageConverter::Bmp, ImageConverter::Bmp, ImageConverter::Bmp,
                                          ImageConverter::Bmp, ImageConverter::Jpeg, ImageConverter::Gif,
                                          ImageConverter::Tiff, ImageConverter::Png, 0, 6};

bool IsPng(const Bytes& data) {
    static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return data.size() >= 8 && std::equal(kSignature, kSignature + 8, data.begin());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const velk::ImageFormat format = in.PickValueInArray(kFormats);
    const bool flattenOnWhite = in.ConsumeBool();
    const Bytes source = in.ConsumeRemainingBytes<std::uint8_t>();

    // GetWidth also takes its input as a path: inputs that name a file of this machine are left
    // alone, the fuzzer has no business reading them.
    const velk::Text path(source.begin(), std::find(source.begin(), source.end(), std::uint8_t(0)));
    if (ImageConverter::IsExistingFile(path))
        return 0;
    const std::int32_t sourceWidth = ImageConverter::GetWidth(source);
    Check(sourceWidth >= 0, "a width is never negative");

    Bytes result = {1, 2, 3};
    if (!ImageConverter::Convert(source, format, velk::Text(), &result, flattenOnWhite)) {
        Check(result == Bytes({1, 2, 3}), "a failed conversion leaves the result alone");
        return 0;
    }
    Check(!result.empty(), "a conversion gives bytes");
    if (format == ImageConverter::Bmp) {
        Check(result.size() >= 54 && result[0] == 'B' && result[1] == 'M', "a BMP file header");
        const std::int32_t width = ImageConverter::GetWidth(result);
        Check(width > 0, "the BMP written reads back");
        // Only a PNG has one unambiguous width to compare (a GIF's screen may be wider than its
        // frame, and Qt's reader gives the screen); PNGs take the converter's own decoder.
        if (IsPng(source))
            Check(sourceWidth == 0 || width == sourceWidth, "the BMP keeps the width");
    }
    return 0;
}
