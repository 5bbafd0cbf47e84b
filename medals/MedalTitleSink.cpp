#include "medals/MedalTitleSink.h"

#include <memory>

#include "util/Guarded.h"

namespace velk {
namespace {

Guarded<std::shared_ptr<const MedalTitleSink::Function>> g_function;

} // namespace

void MedalTitleSink::Install(Function function) {
    g_function.Set(function ? std::make_shared<const Function>(std::move(function)) : nullptr);
}

void MedalTitleSink::Deliver(std::int32_t row, Column column, const Text& title) {
    // Called outside the lock: the window's function may run a while.
    if (const auto function = g_function.Get())
        (*function)(row, column, title);
}

} // namespace velk
