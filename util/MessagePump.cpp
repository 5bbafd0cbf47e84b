#include "util/MessagePump.h"

#include <chrono>
#include <thread>

namespace velk {
namespace {
thread_local std::function<void()> t_pump;
}

void MessagePump::Install(std::function<void()> pump) { t_pump = std::move(pump); }

void MessagePump::ProcessPendingMessages() {
    if (t_pump) {
        // A copy, so that a handler run by the pump may install another one safely.
        auto pump = t_pump;
        pump();
    }
}

void MessagePump::Pause(int milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(milliseconds);
    if (!t_pump) {
        std::this_thread::sleep_until(until);
        return;
    }
    while (Clock::now() < until) {
        ProcessPendingMessages();
        const auto left = until - Clock::now();
        std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(5)));
    }
}

} // namespace velk
