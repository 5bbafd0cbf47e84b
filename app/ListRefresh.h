#pragma once
// The calls from the window into the medal table and the hot-search list: the start sequence and
// the refresh timer run them, the window owns when and on which thread. Program() gives the
// program's own; tests hand the window recorders.

#include <cstdint>
#include <functional>

#include "app/AppConfig.h"
#include "util/Text.h"

namespace velk {

struct ListRefresh {
    std::function<void()> medals;           // one medal refresh, interface thread
    std::function<void()> hotSearch;        // one hot-search refresh, interface thread
    std::function<void()> hotSearchAtStart; // the start-up hot-search refresh, on its worker thread
    std::function<void(std::int32_t item)> openHotSearchItem; // a click on hot-search item 1 to 10
    std::function<Bytes()> placeholderFlag;                   // the picture every flag box shows at start

    static ListRefresh Program(const AppConfig& hosts);
};

} // namespace velk
