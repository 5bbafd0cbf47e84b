#include "medals/EmbeddedFlagTable.h"

#include <array>

namespace velk {
namespace flagdata {
// Spans over the PNGs, defined in the source that the build generates from medals/flags/*.png.
extern const std::span<const std::uint8_t> ROC, USA, KOR, GBR, AUS, KOS, RCAN, CHN, JPN, HUN, NED, ITA, GER,
    FRA, SUI;
} // namespace flagdata

namespace {

const std::array<EmbeddedFlagTable::Entry, 15>& Table() {
    static const std::array<EmbeddedFlagTable::Entry, 15> table = {{
        {"ROC", flagdata::ROC},
        {"USA", flagdata::USA},
        {"KOR", flagdata::KOR},
        {"GBR", flagdata::GBR},
        {"AUS", flagdata::AUS},
        {"KOS", flagdata::KOS},
        {"RCAN", flagdata::RCAN},
        {"CHN", flagdata::CHN},
        {"JPN", flagdata::JPN},
        {"HUN", flagdata::HUN},
        {"NED", flagdata::NED},
        {"ITA", flagdata::ITA},
        {"GER", flagdata::GER},
        {"FRA", flagdata::FRA},
        {"SUI", flagdata::SUI},
    }};
    return table;
}

} // namespace

std::span<const EmbeddedFlagTable::Entry> EmbeddedFlagTable::Entries() {
    return Table();
}

Bytes EmbeddedFlagTable::Find(const Text& code) {
    Bytes png;
    // Every code is compared, in order; a later match would win, though codes are unique.
    for (const Entry& entry : Table()) {
        if (entry.code == code)
            png.assign(entry.png.begin(), entry.png.end());
    }
    return png;
}

} // namespace velk
