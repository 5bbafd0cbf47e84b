#pragma once
// Runs a routine on a new thread and returns at once, never waiting for it.
//
// StartWithArguments hands the routine one 32-bit integer and up to four texts. The hand-over
// is safe by construction: the argument block is moved into the new thread's own storage before
// StartWithArguments returns, so the caller may change or free its texts right after the call.
// An omitted or empty text reaches the routine as a null pointer. The texts the routine sees
// live until it returns; a routine that keeps one copies it.
//
// Threads are detached: nothing tracks, joins or cancels them.

#include <cstdint>
#include <optional>

#include "util/Text.h"

namespace velk {

// A routine started with arguments: the integer and four texts (null for an absent text).
using ThreadRoutine = void (*)(std::int32_t value, const char* text1, const char* text2, const char* text3,
                               const char* text4);
// A routine started with one pointer-sized parameter.
using ThreadParameterRoutine = void (*)(std::uintptr_t parameter);

// Nonzero identifier of a started thread; 0 when no thread could be started.
using ThreadHandle = std::uint64_t;

// The hand-over record: the routine, its integer and copies of its texts (absent when empty).
struct ThreadArgumentBlock {
    ThreadRoutine routine = nullptr;
    std::int32_t value = 0;
    std::optional<Text> texts[4];
};

class WorkerThread {
public:
    static ThreadHandle StartWithArguments(ThreadRoutine routine, std::int32_t value = 0, const Text& text1 = Text(),
                                           const Text& text2 = Text(), const Text& text3 = Text(),
                                           const Text& text4 = Text(), ThreadHandle* threadIdOut = nullptr);
    static ThreadHandle Start(ThreadParameterRoutine routine, std::uintptr_t parameter = 0,
                              ThreadHandle* threadIdOut = nullptr);
    // The entry point of every thread started with arguments; `block` is the thread's own copy.
    static void RunWithArguments(ThreadArgumentBlock block);
};

} // namespace velk
