#include "medals/FlagPictureSink.h"

#include <memory>
#include <mutex>

namespace velk {
namespace {

std::mutex g_mutex;
std::shared_ptr<const FlagPictureSink::Function> g_function;

} // namespace

void FlagPictureSink::Install(Function function) {
    auto installed = function ? std::make_shared<const Function>(std::move(function)) : nullptr;
    std::lock_guard lock(g_mutex);
    g_function = std::move(installed);
}

void FlagPictureSink::Deliver(std::int32_t row, const Bytes& picture) {
    std::shared_ptr<const Function> function;
    {
        std::lock_guard lock(g_mutex);
        function = g_function;
    }
    // Called outside the lock: the window's function may take its time, and flag threads of
    // other rows must not wait for it.
    if (function)
        (*function)(row, picture);
}

} // namespace velk
