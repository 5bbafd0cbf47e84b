#pragma once
// Where the flag loader puts a row's picture. The window installs one function at start-up
// (it forwards to the picture box of the row); LoadFlag then calls Deliver from its worker
// thread with the row (1 to 8) and the picture's BMP bytes, the empty Bytes meaning "no
// picture". The installed function therefore runs on worker threads, several at once, and must
// hand the picture over to the interface thread itself.

#include <cstdint>
#include <functional>

#include "util/Text.h"

namespace velk {

class FlagPictureSink {
public:
    using Function = std::function<void(std::int32_t row, const Bytes& picture)>;

    // Installs `function` (an empty function removes it). Safe while flag threads run: a call
    // already under way finishes with the function it started with.
    static void Install(Function function);
    // Calls the installed function, if any.
    static void Deliver(std::int32_t row, const Bytes& picture);
};

} // namespace velk
