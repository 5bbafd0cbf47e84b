#include "app/BmpImage.h"

#include <cstdint>
#include <cstdlib>

namespace velk {
namespace {

constexpr std::int64_t kMaxSide = 16384;

std::uint32_t ReadU32(const Bytes& b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

std::uint16_t ReadU16(const Bytes& b, std::size_t at) {
    return std::uint16_t(b[at] | b[at + 1] << 8);
}

QImage FromQt(const Bytes& file) {
    return QImage::fromData(file.data(), static_cast<int>(file.size()));
}

} // namespace

QImage BmpImage::Decode(const Bytes& file) {
    if (file.empty() || file.size() > std::size_t(INT32_MAX))
        return {};
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M')
        return FromQt(file);

    const std::uint32_t pixelOffset = ReadU32(file, 10);
    const std::uint32_t infoSize = ReadU32(file, 14);
    const std::int64_t width = std::int32_t(ReadU32(file, 18));
    const std::int64_t rawHeight = std::int32_t(ReadU32(file, 22));
    const int bits = ReadU16(file, 28);
    const std::uint32_t compression = ReadU32(file, 30);
    if (infoSize < 40 || compression != 0 || (bits != 8 && bits != 16 && bits != 24 && bits != 32))
        return FromQt(file);

    const std::int64_t height = std::llabs(rawHeight);
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return {};
    const bool bottomUp = rawHeight > 0;
    const std::int64_t rowSize = ((width * bits + 31) >> 5) << 2;
    if (std::int64_t(pixelOffset) + rowSize * height > std::int64_t(file.size()))
        return {};

    QRgb palette[256] = {};
    if (bits == 8) {
        const std::int64_t paletteAt = 14 + std::int64_t(infoSize);
        std::int64_t entries = ReadU32(file, 46);
        if (entries <= 0 || entries > 256)
            entries = 256;
        if (paletteAt + entries * 4 > std::int64_t(file.size()))
            return {};
        for (std::int64_t i = 0; i < entries; ++i) {
            const std::size_t at = std::size_t(paletteAt + i * 4);
            palette[i] = qRgb(file[at + 2], file[at + 1], file[at]);
        }
    }

    bool anyAlpha = false;
    if (bits == 32) {
        for (std::int64_t y = 0; y < height && !anyAlpha; ++y) {
            const std::uint8_t* row = file.data() + pixelOffset + rowSize * y;
            for (std::int64_t x = 0; x < width; ++x) {
                if (row[x * 4 + 3] != 0) {
                    anyAlpha = true;
                    break;
                }
            }
        }
    }

    QImage image(int(width), int(height), anyAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return {};
    for (std::int64_t y = 0; y < height; ++y) {
        const std::int64_t stored = bottomUp ? height - 1 - y : y;
        const std::uint8_t* row = file.data() + pixelOffset + rowSize * stored;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (std::int64_t x = 0; x < width; ++x) {
            switch (bits) {
            case 32: {
                const std::uint8_t* p = row + x * 4;
                out[x] = qRgba(p[2], p[1], p[0], anyAlpha ? p[3] : 255);
                break;
            }
            case 24: {
                const std::uint8_t* p = row + x * 3;
                out[x] = qRgb(p[2], p[1], p[0]);
                break;
            }
            case 16: { // BI_RGB 16-bit is X1R5G5B5
                const int v = row[x * 2] | row[x * 2 + 1] << 8;
                const int r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
                out[x] = qRgb(r << 3 | r >> 2, g << 3 | g >> 2, b << 3 | b >> 2);
                break;
            }
            default:
                out[x] = palette[row[x]];
                break;
            }
        }
    }
    return image;
}

} // namespace velk
