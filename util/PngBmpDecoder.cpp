#include "util/PngBmpDecoder.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include <zlib.h>

#include <QImageReader>

#include "util/BmpFormat.h"

namespace velk {
namespace {

constexpr std::size_t kBmpHeaderSize = BmpFormat::HeaderSize;

std::uint32_t ReadBe32(const std::uint8_t* at) {
    return std::uint32_t(at[0]) << 24 | std::uint32_t(at[1]) << 16 | std::uint32_t(at[2]) << 8 | at[3];
}

struct InflateEnder {
    void operator()(z_stream* stream) const { inflateEnd(stream); }
};

// Reverses the PNG row filter of `row` (4 bytes per pixel) against the row above it.
bool Unfilter(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* above, std::size_t size) {
    constexpr std::size_t bpp = 4;
    switch (filter) {
    case 0:
        return true;
    case 1:
        for (std::size_t i = bpp; i < size; ++i)
            row[i] = std::uint8_t(row[i] + row[i - bpp]);
        return true;
    case 2:
        for (std::size_t i = 0; i < size; ++i)
            row[i] = std::uint8_t(row[i] + above[i]);
        return true;
    case 3:
        for (std::size_t i = 0; i < size; ++i) {
            const unsigned left = i >= bpp ? row[i - bpp] : 0;
            row[i] = std::uint8_t(row[i] + ((left + above[i]) >> 1));
        }
        return true;
    case 4:
        for (std::size_t i = 0; i < size; ++i) {
            const int a = i >= bpp ? row[i - bpp] : 0, b = above[i], c = i >= bpp ? above[i - bpp] : 0;
            const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            row[i] = std::uint8_t(row[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c));
        }
        return true;
    default:
        return false;
    }
}

} // namespace

bool PngBmpDecoder::Decode(const Bytes& png, Bytes& result) {
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 8 + 12 + 13 || std::memcmp(png.data(), kSignature, 8) != 0)
        return false;
    std::size_t at = 8;
    std::uint32_t width = 0, height = 0;
    std::size_t rowBytes = 0;
    Bytes bmp;
    std::vector<std::uint8_t> rows;
    std::uint8_t* current = nullptr;
    std::uint8_t* above = nullptr;
    std::size_t filled = 0;
    std::uint32_t y = 0;
    z_stream stream{};
    std::unique_ptr<z_stream, InflateEnder> inflater;
    bool ended = false;

    while (!ended) {
        if (png.size() - at < 12)
            return false;
        const std::uint32_t length = ReadBe32(png.data() + at);
        if (length > png.size() - at - 12)
            return false;
        const std::uint8_t* type = png.data() + at + 4;
        const std::uint8_t* data = type + 4;
        if (crc32(crc32(0, nullptr, 0), type, length + 4) != ReadBe32(data + length))
            return false;
        const bool first = at == 8;
        at += 12 + std::size_t(length);
        const std::string_view name(reinterpret_cast<const char*>(type), 4);

        if (first != (name == "IHDR"))
            return false;
        if (name == "IHDR") {
            if (length != 13 || data[8] != 8 || data[9] != 6 || data[10] != 0 || data[11] != 0 ||
                data[12] != 0)
                return false;
            width = ReadBe32(data);
            height = ReadBe32(data + 4);
            // Qt's reader refuses pictures above its allocation limit (128 MB by default); so
            // does this one, by handing them on to it.
            if (width == 0 || height == 0 ||
                std::uint64_t(width) * height * 4 > std::uint64_t(QImageReader::allocationLimit()) << 20)
                return false;
            rowBytes = std::size_t(width) * 4;
            bmp.resize(kBmpHeaderSize + rowBytes * height);
            BmpFormat::WriteHeaders(bmp.data(), std::uint32_t(bmp.size()), kBmpHeaderSize,
                                    std::int32_t(width), std::int32_t(height), 32,
                                    std::uint32_t(rowBytes * height), 0);
            rows.assign(2 * (rowBytes + 1), 0);
            current = rows.data();
            above = rows.data() + rowBytes + 1;
            if (inflateInit(&stream) != Z_OK)
                return false;
            inflater.reset(&stream);
        } else if (name == "IDAT") {
            stream.next_in = const_cast<Bytef*>(data);
            stream.avail_in = length;
            while (stream.avail_in > 0 && y < height) {
                stream.next_out = current + filled;
                stream.avail_out = uInt(rowBytes + 1 - filled);
                const int status = inflate(&stream, Z_NO_FLUSH);
                if (status != Z_OK && status != Z_STREAM_END)
                    return false;
                filled = rowBytes + 1 - stream.avail_out;
                if (filled == rowBytes + 1) {
                    if (!Unfilter(current[0], current + 1, above + 1, rowBytes))
                        return false;
                    // RGBA in the file, BGRA in the BMP, rows bottom first.
                    const std::uint8_t* from = current + 1;
                    std::uint8_t* to = bmp.data() + kBmpHeaderSize + rowBytes * (height - 1 - y);
                    for (std::size_t i = 0; i < rowBytes; i += 4) {
                        to[i] = from[i + 2];
                        to[i + 1] = from[i + 1];
                        to[i + 2] = from[i];
                        to[i + 3] = from[i + 3];
                    }
                    std::swap(current, above);
                    filled = 0;
                    ++y;
                }
                if (status == Z_STREAM_END)
                    break;
            }
        } else if (name == "IEND") {
            ended = true;
        } else if ((type[0] & 0x20) == 0 && name != "PLTE") {
            return false; // a critical chunk this decoder does not know
        }
    }
    if (y != height)
        return false;
    result = std::move(bmp);
    return true;
}

} // namespace velk
