#pragma once
// One private JavaScript heap (Duktape) with ECMAScript built-ins only.
//
// Contract: every text handed in is code page 936 and is converted to UTF-8 at the edge; every
// string handed out is converted back (characters code page 936 lacks become "?", one per
// character, supplementary-plane characters included). Every call into the heap is protected:
// a script error, a time budget overrun (native loops of built-ins included), an allocation past
// the heap's memory cap or recursion into the last part of the thread's C stack makes that one
// call fail with the empty result of its kind, records the failure for Error(), and leaves the
// heap usable. Nothing throws. An engine belongs to the thread that created it and must
// never be entered by two threads at once. Release is the destruction of the last shared
// reference.
//
// Reachable from scripts: the ECMAScript built-ins and nothing else. The non-standard globals
// Duktape adds ("Duktape", "Buffer", "TextEncoder", "TextDecoder", "performance") are removed
// when the heap is built, so no script can reach call-stack introspection, finalizers,
// coroutines, Node.js-style buffers or clocks beyond Date.

#include <chrono>
#include <cstddef>
#include <memory>

#include "script/ScriptErrorInfo.h"
#include "util/Text.h"

namespace velk {

// Limits every heap gets. Past either one, the evaluation that crossed it fails.
struct ScriptLimits {
    std::size_t memoryBytes = std::size_t{64} << 20; // cap on the heap's live allocations
    std::chrono::milliseconds timeBudget{1000};      // per AddCode/Eval call
};

class ScriptEngine {
public:
    // A new heap with the limits in force on this thread (see LimitsScope), or null when the
    // heap cannot be built.
    static std::shared_ptr<ScriptEngine> Create();
    static std::shared_ptr<ScriptEngine> Create(const ScriptLimits& limits);

    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // Runs a program (statements) at global scope. False when it failed.
    bool AddCode(const Text& code);

    // AddCode for a constant text run by many engines (a library): the compiled form is kept
    // per thread after the first successful run and loaded instead of compiling again.
    bool AddCachedCode(const Text& code);

    // Evaluates a program at global scope (`var` declares globals that persist) and converts the
    // value of its last expression statement. Failures give false, an empty Text or 0.
    void Run(const Text& code);          // result dropped
    bool EvalBool(const Text& code);     // ECMAScript ToBoolean of the value
    Text EvalText(const Text& code);     // strings only; any other value gives ""
    double EvalNumber(const Text& code); // numbers only; any other value gives 0

    // Marks the heap's present state; Untouched() stays true until the next evaluation of any
    // kind. Lets an owner that wants "a fresh heap set up like this one" keep this one instead.
    void Checkpoint();
    bool Untouched() const;

    // The most recent failure of this heap (empty record when none happened yet).
    ScriptErrorInfo Error() const;

    // Bytes the heap holds now, and the most it has held (allocations made by the engine,
    // without the allocator's own bookkeeping).
    std::size_t HeapBytes() const;
    std::size_t PeakHeapBytes() const;

    // Replaces the limits that Create() gives new heaps on the calling thread, for its lifetime.
    class LimitsScope {
    public:
        explicit LimitsScope(const ScriptLimits& limits);
        ~LimitsScope();
        LimitsScope(const LimitsScope&) = delete;
        LimitsScope& operator=(const LimitsScope&) = delete;

    private:
        ScriptLimits m_previous;
    };

    struct Impl;

private:
    explicit ScriptEngine(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

} // namespace velk
