#pragma once
// The medal table of the first tab: the team flags of its rows.
//
// LoadFlag runs on a worker thread per row (see FlagThreadEntry). It takes the team's flag from
// EmbeddedFlagTable or downloads "/sports/data/olympic/teamImg/<code>.png" from the flag host,
// converts it to BMP, cuts the band of rows FlagCropTop to FlagCropTop + FlagCropHeight - 1 and
// hands the band to FlagPictureSink for its row, the empty Bytes included when any step failed.
// It keeps nothing between calls.
//
// The flag host ("host" or "host:port", plain HTTP) is configuration: it defaults to the build's
// VELK_FLAG_HOST and may be replaced once at start-up (the tests point it at a loopback server).

#include <cstdint>

#include "util/Text.h"

namespace velk {

class MedalBoard {
public:
    static constexpr std::int32_t RowCount = 8;
    static constexpr std::int32_t FlagCropTop = 138;
    static constexpr std::int32_t FlagCropHeight = 248;

    // `value` is ignored; `code` is the team code as the feed gives it; `row` is "1" to "8".
    static void LoadFlag(std::int32_t value, const Text& code, const Text& row);

    // "http://<flag host>/sports/data/olympic/teamImg/" + code + ".png", the code not escaped.
    static Text FlagUrl(const Text& code);
    static void SetFlagHost(const Text& host);
    static Text FlagHost();
};

} // namespace velk
