#pragma once
// The medal table of the first tab: its rows and their team flags.
//
// Refresh (interface thread) fetches the feed "/olympic/getOlyMedals?..." from the medal host,
// cuts the JSON out of its "banomedals(" ... ");" wrapper and fills the rows from the top, in the
// feed's order, until the first team without a name or row 8: the name and the four counts go to
// MedalTitleSink as the feed writes them, then the row's flag thread is started and the refresh
// pauses 50 ms while window events are dispatched. Rows it does not reach keep what they showed.
// The feed is read as JSON data only, nothing in it runs as script, and a feed of more than 1 MB
// of JSON is not read at all.
//
// LoadFlag runs on a worker thread per row (see FlagThreadEntry). It takes the team's flag from
// EmbeddedFlagTable or downloads "/sports/data/olympic/teamImg/<code>.png" from the flag host,
// converts it to BMP, cuts the band of rows FlagCropTop to FlagCropTop + FlagCropHeight - 1 and
// hands the band to FlagPictureSink for its row, the empty Bytes included when any step failed.
// It keeps nothing between calls.
//
// The medal and flag hosts ("host" or "host:port", plain HTTP) are configuration: they default to
// the build's VELK_MEDAL_HOST and VELK_FLAG_HOST and may be replaced once at start-up (the tests
// point them at loopback servers).

#include <cstdint>

#include "util/Text.h"

namespace velk {

class MedalBoard {
public:
    static constexpr std::int32_t RowCount = 8;
    static constexpr std::int32_t FlagCropTop = 138;
    static constexpr std::int32_t FlagCropHeight = 248;

    // Fills the rows from the medal feed. Interface thread: it dispatches window events while it
    // fetches and pauses, so handlers may run nested inside it.
    static void Refresh();
    // "http://<medal host>/olympic/getOlyMedals?serviceId=pcocean&itemcode=GEN---...&t=jsonp&cb=banomedals"
    static Text FeedUrl();
    static void SetMedalHost(const Text& host);
    static Text MedalHost();

    // `value` is ignored; `code` is the team code as the feed gives it; `row` is "1" to "8".
    static void LoadFlag(std::int32_t value, const Text& code, const Text& row);

    // "http://<flag host>/sports/data/olympic/teamImg/" + code + ".png", the code not escaped.
    static Text FlagUrl(const Text& code);
    static void SetFlagHost(const Text& host);
    static Text FlagHost();
};

} // namespace velk
