#include "util/BmpFormat.h"

#include <cstring>

namespace velk {
namespace {

void WriteLe(std::uint8_t* at, std::uint32_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        at[i] = std::uint8_t(value >> (8 * i));
}

} // namespace

void BmpFormat::WriteHeaders(std::uint8_t* out, std::uint32_t fileSize, std::uint32_t pixelOffset,
                             std::int32_t width, std::int32_t height, std::uint16_t bits,
                             std::uint32_t imageSize, std::uint32_t coloursUsed) {
    std::memset(out, 0, HeaderSize);
    out[0] = 'B';
    out[1] = 'M';
    WriteLe(out + 2, fileSize, 4);
    WriteLe(out + 10, pixelOffset, 4);
    WriteLe(out + 14, 40, 4);
    WriteLe(out + 18, std::uint32_t(width), 4);
    WriteLe(out + 22, std::uint32_t(height), 4);
    WriteLe(out + 26, 1, 2);
    WriteLe(out + 28, bits, 2);
    WriteLe(out + 34, imageSize, 4);
    WriteLe(out + 46, coloursUsed, 4);
}

std::uint32_t BmpFormat::ReadField(std::span<const std::uint8_t> data, std::size_t offset, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (offset + i < data.size())
            value |= std::uint32_t(data[offset + i]) << (8 * i);
    }
    return value;
}

} // namespace velk
