#pragma once
// Image conversion for the flag loader: re-encoding image bytes, measuring an image's width and
// cutting a rectangle out of an uncompressed BMP.
//
// Every routine works on whole image files held in Bytes (the bytes that would be on disk) and
// reports failure only by its empty result: false, 0 or the empty Bytes. They keep no state and
// share nothing, so several threads may call them at once; decoding and encoding use QImage
// without any application object.
//
// BMP output is written here rather than by Qt so that it has the classic 54-byte layout (a
// 14-byte file header, a 40-byte info header, rows bottom first, each padded to 4 bytes): 32 bits
// per pixel with the alpha channel kept for images that have one, 24 bits for opaque images, and
// 8 bits with a 256-entry palette (pixels at 1078) for palette images. The flags' own case, an
// 8-bit RGBA PNG to BMP, skips QImage altogether (see PngBmpDecoder). GIF goes through giflib,
// since Qt has no GIF writer; TIFF comes from Qt's image-formats plugin, which loads without an
// application object as well.

#include <cstdint>
#include <span>

#include "util/Text.h"

namespace velk {

// Target format of ImageConverter::Convert. Numbers outside 1 to 5 select no encoder.
using ImageFormat = std::int32_t;

// A 16-byte class identifier in the layout of its braced text form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; all zero is the null identifier.
struct Clsid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};

    bool IsNull() const { return *this == Clsid(); }
    friend bool operator==(const Clsid&, const Clsid&) = default;
};

class ImageConverter {
public:
    static constexpr ImageFormat Bmp = 1;
    static constexpr ImageFormat Jpeg = 2;
    static constexpr ImageFormat Gif = 3;
    static constexpr ImageFormat Tiff = 4;
    static constexpr ImageFormat Png = 5;

    // Creates Qt's image-format plugins on the calling thread, which must live until the process
    // ends: call it once on the interface thread before any flag thread starts. Without it the
    // first conversion creates them on an idle thread of its own ("velk-imageplug") that stays
    // to the end, since plugins made on a thread that ends break the process's exit.
    static void Prepare();

    // Decodes `source` (any format Qt reads) and encodes it as `format`. On success writes the
    // encoded file to `fileName` when that is not blank (adding the format's extension unless the
    // name already ends with it, letter case ignored; a failed write does not matter), replaces
    // `*result` and returns true. On failure (fewer than 3 bytes, no image, unknown format, failed
    // encode) returns false, leaves `*result` alone and writes nothing. `result` may alias
    // `source`. With flattenOnWhite the image is first composed onto white.
    static bool Convert(const Bytes& source, ImageFormat format, const Text& fileName = Text(),
                        Bytes* result = nullptr, bool flattenOnWhite = false);

    // Width in pixels of the image in `image`, or of the image file whose path `image` holds
    // (as text, up to its first zero byte); 0 on any failure.
    static std::int32_t GetWidth(const Bytes& image);

    // A new BMP holding the rectangle (left, top, width, height) of the uncompressed 8-, 16-, 24-
    // or 32-bit BMP `source`, top counted from the top row; the rectangle is clipped to the image.
    // The empty Bytes for a compressed source, other bit depths, a start outside the image, a
    // non-positive width or height, a top-down source, or a cut larger than the source could
    // possibly hold. Never reads outside `source`, whatever its header claims; output bytes for
    // which the source has no data stay zero.
    static Bytes CropBitmap(std::span<const std::uint8_t> source, std::int32_t left, std::int32_t top,
                            std::int32_t width, std::int32_t height);

    // The identifier written in `text` ("{557CF406-1A04-11D3-9A73-0000F81EF32E}"); the null
    // identifier for an empty or malformed text.
    static Clsid ClsidFromText(const Text& text);

    // True when `path` (code page 936, looked up under its UTF-8 name) names an existing regular
    // file. Directories, and also FIFOs and devices, do not count: GetWidth would open them, and
    // reading a FIFO named by downloaded bytes could block a flag thread for good. Wildcards '*'
    // and '?' in the last component are looked up as a pattern, the first directory entry that
    // matches deciding.
    static bool IsExistingFile(const Text& path);
};

} // namespace velk
