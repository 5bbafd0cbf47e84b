#pragma once
// Decodes the image files handed to picture boxes. Uncompressed BMP files (8, 16, 24 and 32 bits
// per pixel, bottom-up or top-down) are read here, because Qt reads a 32-bit BI_RGB BMP as opaque
// and our image converter writes flags with transparent margins exactly that way. A 32-bit BMP
// whose alpha bytes are all 0 is taken as opaque (the usual meaning of a plain 32-bit BMP).
// Any other file is left to Qt's image readers. Safe on any thread; never reads past the input.

#include <QImage>

#include "util/Text.h"

namespace velk {

class BmpImage {
public:
    // The decoded image, or a null QImage when the bytes are empty or no readable image.
    static QImage Decode(const Bytes& file);
};

} // namespace velk
