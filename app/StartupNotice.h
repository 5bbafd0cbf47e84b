#pragma once
// The start-up notice: before the widget shows any data it fetches "/velk1.txt?" and a random
// number from its maker's notice host. The answer "0" (that byte alone) lets the start go on;
// any other answer, the empty one of a failed request included, is shown in a message box, the
// address between its first "{{" and the next "}}" is opened, and the program ends with exit
// code 0. With no notice host configured there is no server to ask and the check is skipped.
//
// Fetch, message box, opener, exit and tick count are seams, so the whole table of answers can
// be tested with recorders; Program() gives the real ones.

#include <cstdint>
#include <functional>

#include "util/Text.h"

namespace velk {

class StartupNotice {
public:
    struct Seams {
        std::function<Text(const Text& url)> fetch;          // body as Text, empty on failure
        std::function<void(const Text& notice)> showMessage; // returns when the user closes it
        std::function<void(const Text& address)> openUrl;
        std::function<void(int exitCode)> exit;   // ends the program
        std::function<std::uint32_t()> tickCount; // milliseconds, seeds the number
    };

    // The real seams; `exit` ends the program through the application.
    static Seams Program();

    // Returns true when the start goes on, false when the notice ended the program.
    static bool Check(const Text& noticeHost, const Seams& seams);

    // The notice address for a host and a tick count: "http://" host "/velk1.txt?" N, where N is 1
    // plus the first 15-bit value of the generator seeded with `tick`.
    static Text NoticeUrl(const Text& noticeHost, std::uint32_t tick);
};

} // namespace velk
