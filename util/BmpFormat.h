#pragma once
// The uncompressed BMP layout shared by the image converter's writers and its cropper: a 14-byte
// file header, a 40-byte info header, for 8-bit images a 1024-byte palette, then the pixel rows
// bottom row first, each padded to a multiple of 4 bytes. All fields are little-endian.

#include <cstddef>
#include <cstdint>
#include <span>

namespace velk {

class BmpFormat {
public:
    static constexpr std::size_t HeaderSize = 54;
    static constexpr std::size_t PaletteSize = 1024;

    // Bytes per padded row of `width` pixels at `bits` per pixel.
    static constexpr std::int64_t RowSize(std::int64_t width, std::int64_t bits) {
        return ((width * bits + 31) >> 5) << 2;
    }

    // Writes both headers at `out` (HeaderSize bytes): signature, sizes, pixel offset, one plane,
    // no compression. The resolution fields stay 0 ("not given"): nothing downstream reads them.
    static void WriteHeaders(std::uint8_t* out, std::uint32_t fileSize, std::uint32_t pixelOffset,
                             std::int32_t width, std::int32_t height, std::uint16_t bits,
                             std::uint32_t imageSize, std::uint32_t coloursUsed);

    // The little-endian field of `size` bytes at `offset`; bytes past the end of `data` read as 0.
    static std::uint32_t ReadField(std::span<const std::uint8_t> data, std::size_t offset, std::size_t size);
};

} // namespace velk
