#pragma once
// The common case of the flag loader decoded without a QImage: an 8-bit RGBA PNG (colour type 6)
// without interlacing becomes a 32-bit BMP (BGRA, alpha kept, rows bottom first) in one pass,
// with no intermediate image. A flag then costs one picture's worth of fresh memory instead of
// two, which matters where page faults are slow. The bytes equal what decoding with Qt and
// writing the BMP from the QImage gives.

#include "util/Text.h"

namespace velk {

class PngBmpDecoder {
public:
    // True, with `result` replaced by the BMP, for an intact 8-bit RGBA PNG. False, `result`
    // untouched, for every other PNG and every other format, and for damage (a CRC that does not
    // match, missing image data, a critical chunk it does not know); callers then let Qt decide.
    static bool Decode(const Bytes& png, Bytes& result);
};

} // namespace velk
