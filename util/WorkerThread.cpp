#include "util/WorkerThread.h"

#include <atomic>
#include <system_error>
#include <thread>

namespace velk {
namespace {

ThreadHandle NextHandle() {
    static std::atomic<ThreadHandle> counter{0};
    return ++counter;
}

// Starts `work` on a detached thread. Returns 0 when the system refuses a new thread.
template <typename Work> ThreadHandle Launch(Work&& work, ThreadHandle* threadIdOut) {
    try {
        std::thread thread(std::forward<Work>(work));
        thread.detach();
    } catch (const std::system_error&) {
        if (threadIdOut)
            *threadIdOut = 0;
        return 0;
    }
    const ThreadHandle handle = NextHandle();
    if (threadIdOut)
        *threadIdOut = handle;
    return handle;
}

const char* PointerOrNull(const std::optional<Text>& slot) {
    return slot && !slot->empty() ? slot->c_str() : nullptr;
}

} // namespace

ThreadHandle WorkerThread::StartWithArguments(ThreadRoutine routine, std::int32_t value, const Text& text1,
                                              const Text& text2, const Text& text3, const Text& text4,
                                              ThreadHandle* threadIdOut) {
    ThreadArgumentBlock block;
    block.routine = routine;
    block.value = value;
    const Text* texts[4] = {&text1, &text2, &text3, &text4};
    for (int i = 0; i < 4; ++i) {
        if (!texts[i]->empty())
            block.texts[i] = *texts[i];
    }
    // std::thread moves the lambda, and with it the block, into storage owned by the new thread
    // before its constructor returns: no sleep and no signal are needed for the hand-over.
    return Launch([block = std::move(block)]() mutable { RunWithArguments(std::move(block)); }, threadIdOut);
}

ThreadHandle WorkerThread::Start(ThreadParameterRoutine routine, std::uintptr_t parameter, ThreadHandle* threadIdOut) {
    if (!routine)
        return 0;
    return Launch([routine, parameter] { routine(parameter); }, threadIdOut);
}

void WorkerThread::RunWithArguments(ThreadArgumentBlock block) {
    if (!block.routine)
        return;
    block.routine(block.value, PointerOrNull(block.texts[0]), PointerOrNull(block.texts[1]),
                  PointerOrNull(block.texts[2]), PointerOrNull(block.texts[3]));
}

} // namespace velk
