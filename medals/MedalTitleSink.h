#pragma once
// Where the medal refresh puts the titles of a row's five labels. The window installs one
// function at start-up (it forwards to the label of that row and column); MedalBoard::Refresh
// then calls Deliver on the interface thread with the row (1 to 8), the column and the title,
// the empty Text included. The function must not dispatch window events: a refresh relies on
// each title being set whole before anything else runs.

#include <cstdint>
#include <functional>

#include "util/Text.h"

namespace velk {

class MedalTitleSink {
public:
    enum Column : std::int32_t { Name, Gold, Silver, Bronze, Total };
    using Function = std::function<void(std::int32_t row, Column column, const Text& title)>;

    // Installs `function` (an empty function removes it).
    static void Install(Function function);
    // Calls the installed function, if any.
    static void Deliver(std::int32_t row, Column column, const Text& title);
};

} // namespace velk
