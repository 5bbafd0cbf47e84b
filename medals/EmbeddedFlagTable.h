#pragma once
// The fifteen flags compiled into the program: 8-bit RGBA PNGs with transparent margins, the
// flag band across rows 128 to 383 of a 512 x 512 image for most of them (see medals/flags/ and
// tools/flaggen/ for how they are drawn). Codes are compared exactly, bytes and letter case.

#include <cstdint>
#include <span>
#include <string_view>

#include "util/Text.h"

namespace velk {

class EmbeddedFlagTable {
public:
    struct Entry {
        std::string_view code;
        std::span<const std::uint8_t> png;
    };

    // The entries in the order in which codes are compared.
    static std::span<const Entry> Entries();
    // A fresh copy of the PNG of `code`, or the empty Bytes when the table has no such code.
    static Bytes Find(const Text& code);
};

} // namespace velk
