#include "script/ScriptEngine.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

#include <pthread.h>

#include <duktape.h>

#include "util/Encoding.h"

// Called by Duktape's bytecode executor every few thousand instructions (DUK_USE_EXEC_TIMEOUT_CHECK
// in the derived duk_config.h). udata is the heap's user data given to duk_create_heap. A nonzero
// answer makes the executor throw a RangeError, and the answer must stay nonzero until the error
// has left every catch and finally of the script (duktape.c, duk__executor_interrupt).
extern "C" int velk_duk_exec_timeout_check(void* udata);
// Called by the property access primitives and the regexp matcher of the patched duktape.c, so
// that built-ins looping natively (Array.prototype.join over a length of 2^32 - 1, a backtracking
// regular expression) meet the same deadline. Called very often: reads the clock only every
// kNativeStride calls.
extern "C" int velk_duk_native_timeout_check(void* udata);
// Called by Duktape before it recurses in C (calls, the compiler, regexps, JSON): nonzero makes
// it throw a RangeError instead of going deeper (DUK_USE_NATIVE_STACK_CHECK).
extern "C" int velk_duk_native_stack_check(void);

namespace velk {
namespace {

thread_local ScriptLimits t_limits;

// Stack a thread keeps free below the deepest point scripts may reach: room for the frames
// between two checks (a compiler or executor frame is about 17 KB in sanitizer builds) and for
// the code that handles the error. A quarter of smaller stacks.
constexpr std::uintptr_t kStackReserve = 512 * 1024;

// Lowest stack address scripts may use on this thread (0: unknown, no check).
std::uintptr_t StackLimit() {
    thread_local const std::uintptr_t limit = [] {
        pthread_attr_t attr;
        if (pthread_getattr_np(pthread_self(), &attr) != 0)
            return std::uintptr_t{0};
        void* low = nullptr;
        std::size_t size = 0;
        const bool known = pthread_attr_getstack(&attr, &low, &size) == 0 && size != 0;
        pthread_attr_destroy(&attr);
        const std::uintptr_t reserve = std::min<std::uintptr_t>(kStackReserve, size / 4);
        return known ? reinterpret_cast<std::uintptr_t>(low) + reserve : std::uintptr_t{0};
    }();
    return limit;
}

// Globals Duktape adds beyond ECMAScript, and Duktape's non-standard statics on standard
// constructors. "Duktape" carries act (call-stack introspection), fin (finalizers that would run
// when the heap is destroyed, outside any time budget), Thread (coroutines), Pointer, info, gc,
// compact, enc/dec and errCreate/errThrow hooks; "performance" a high-resolution clock;
// Buffer (Node.js buffers), TextEncoder/TextDecoder and CBOR are not ECMAScript either.
constexpr const char* kRemoveNonStandard =
    "(function (g) {"
    "var names = ['Duktape', 'Buffer', 'TextEncoder', 'TextDecoder', 'performance', 'CBOR'];"
    "for (var i = 0; i < names.length; i++) {"
    "  if (names[i] in g && !delete g[names[i]]) throw new Error('cannot remove ' + names[i]);"
    "}"
    "var statics = [[g.ArrayBuffer, 'allocPlain'], [g.Uint8Array, 'allocPlain'], [g.Uint8Array, 'plainOf']];"
    "for (var j = 0; j < statics.length; j++) {"
    "  var o = statics[j][0], n = statics[j][1];"
    "  if (o && n in o && !delete o[n]) throw new Error('cannot remove ' + n);"
    "}"
    "})(this)";

// Duktape keeps characters outside the Basic Multilingual Plane that reach it as surrogate pairs
// (JSON escapes, String.fromCharCode) as CESU-8: each surrogate encoded on its own in three bytes.
// iconv rejects those, so each pair becomes one four-byte UTF-8 sequence first. Lone surrogates
// stay as they are and turn into one replacement character later.
std::string CesuToUtf8(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    for (std::size_t i = 0; i < n;) {
        if (i + 6 <= n && s[i] == 0xED && (s[i + 1] & 0xF0) == 0xA0 && (s[i + 2] & 0xC0) == 0x80 &&
            s[i + 3] == 0xED && (s[i + 4] & 0xF0) == 0xB0 && (s[i + 5] & 0xC0) == 0x80) {
            const unsigned high = 0xD000u | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
            const unsigned low = 0xD000u | ((s[i + 4] & 0x3Fu) << 6) | (s[i + 5] & 0x3Fu);
            const unsigned cp = 0x10000u + ((high - 0xD800u) << 10) + (low - 0xDC00u);
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
            i += 6;
        } else {
            out += static_cast<char>(s[i]);
            ++i;
        }
    }
    return out;
}

// Plain ASCII reads the same in code page 936 and UTF-8, and most snippets and results are
// nothing else; they skip the conversions. A zero byte takes the converting path, which stops
// there.
bool IsPlainAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80 || c == 0)
            return false;
    return true;
}

std::string ToEngine(const Text& text) {
    return IsPlainAscii(text) ? text : AnsiToUtf8(text);
}

Text FromEngine(std::string_view cesu) {
    return IsPlainAscii(cesu) ? Text(cesu) : Utf8ToAnsiText(CesuToUtf8(cesu));
}

enum class Want { Nothing, Boolean, String, Number };

// Arguments and results of one protected evaluation. Only plain data: the callback below runs
// under a longjmp recovery point (see Impl::Protected), so it must hold no object with a
// destructor of its own on its stack frame.
struct EvalCall {
    const char* code = nullptr;
    std::size_t length = 0;
    duk_uint_t compileFlags = 0; // 0: program (AddCode); DUK_COMPILE_EVAL: eval code
    Want want = Want::Nothing;
    bool* deadlineArmed = nullptr; // the heap's, switched off once the script has unwound
    bool failed = false;           // the script failed; its error is stashed
    bool boolean = false;
    double number = 0;
    std::string* text = nullptr;
};

constexpr const char* kLastErrorKey = "lastError";

// Keeps the value on top of the stack as the heap's last failure, in the heap stash where no
// script can reach it. It is read only when someone asks (Impl::LoadStashedError), so a failed
// evaluation costs no conversions.
void StashError(duk_context* ctx) {
    duk_push_heap_stash(ctx);
    duk_dup(ctx, -2);
    duk_put_prop_string(ctx, -2, kLastErrorKey);
    duk_pop(ctx);
}

duk_ret_t EvalCallback(duk_context* ctx, void* udata) {
    auto* call = static_cast<EvalCall*>(udata);
    duk_push_string(ctx, "input");
    // Eval code runs at global scope with the global object as this, as duk_eval_raw does; its
    // var declarations become globals and it yields the value of its last expression statement.
    if (duk_pcompile_lstring_filename(ctx, call->compileFlags, call->code, call->length) != 0 ||
        (duk_push_global_object(ctx), duk_pcall_method(ctx, 0) != 0)) {
        *call->deadlineArmed = false;
        call->failed = true;
        StashError(ctx);
        return 1;
    }
    switch (call->want) {
    case Want::Nothing:
        break;
    case Want::Boolean:
        call->boolean = duk_to_boolean(ctx, -1) != 0;
        break;
    case Want::Number:
        call->number = duk_is_number(ctx, -1) ? duk_get_number(ctx, -1) : 0.0;
        break;
    case Want::String:
        if (duk_is_string(ctx, -1)) {
            duk_size_t len = 0;
            const char* s = duk_get_lstring(ctx, -1, &len);
            call->text->assign(s, len);
        }
        break;
    }
    return 1;
}

// A program compiled once and kept as Duktape bytecode (duk_dump_function). Bytecode is only
// ever loaded from this cache, filled by this process: loading bytecode from elsewhere is unsafe
// (duktape.h, duk_load_function).
struct CachedRun {
    const char* code = nullptr; // source, to compile on a miss
    std::size_t length = 0;
    const std::string* bytecode = nullptr; // non-null on a hit
    std::string* dumped = nullptr;         // receives the bytecode on a miss
};

duk_ret_t CachedRunCallback(duk_context* ctx, void* udata) {
    auto* run = static_cast<CachedRun*>(udata);
    if (run->bytecode != nullptr) {
        void* buffer = duk_push_fixed_buffer(ctx, run->bytecode->size());
        std::memcpy(buffer, run->bytecode->data(), run->bytecode->size());
        duk_load_function(ctx);
    } else {
        duk_push_string(ctx, "input");
        duk_compile_lstring_filename(ctx, 0, run->code, run->length);
        duk_dup_top(ctx);
        duk_dump_function(ctx);
        duk_size_t size = 0;
        const void* bytes = duk_get_buffer(ctx, -1, &size);
        run->dumped->assign(static_cast<const char*>(bytes), size);
        duk_pop(ctx);
    }
    duk_push_global_object(ctx);
    duk_call_method(ctx, 0);
    return 0;
}

// Reads the error at the top of the stack into plain UTF-8 fields; protected itself, because
// reading properties of a thrown value can run getters (and so fail again).
struct ErrorRead {
    std::string* name = nullptr;
    std::string* message = nullptr;
    duk_int_t code = 0;
    duk_int_t line = 0;
};

duk_ret_t ReadErrorCallback(duk_context* ctx, void* udata) {
    auto* read = static_cast<ErrorRead*>(udata);
    // [ ... error ]
    read->code = duk_get_error_code(ctx, -1);
    if (duk_is_object(ctx, -1)) {
        duk_get_prop_string(ctx, -1, "name");
        if (duk_is_string(ctx, -1))
            read->name->assign(duk_get_string(ctx, -1));
        duk_pop(ctx);
        duk_get_prop_string(ctx, -1, "message");
        if (!duk_is_undefined(ctx, -1))
            read->message->assign(duk_safe_to_string(ctx, -1));
        duk_pop(ctx);
        duk_get_prop_string(ctx, -1, "lineNumber");
        if (duk_is_number(ctx, -1)) {
            const double line = duk_get_number(ctx, -1);
            if (line >= 0 && line <= std::numeric_limits<duk_int_t>::max())
                read->line = static_cast<duk_int_t>(line);
        }
        duk_pop(ctx);
    } else {
        read->message->assign(duk_safe_to_string(ctx, -1));
    }
    return 0;
}

} // namespace

// One heap and everything that belongs to it: the allocator's books, the deadline, the recovery
// point for fatal errors and the last failure.
struct ScriptEngine::Impl {
    // Every allocation the heap makes carries this header, so the cap can be kept per heap and,
    // after a fatal error, every block can be freed without Duktape's help.
    struct alignas(std::max_align_t) Block {
        Block* prev;
        Block* next;
        std::size_t size;
    };

    ScriptLimits limits;
    std::size_t used = 0;
    std::size_t peak = 0;
    Block head{&head, &head, 0};

    duk_context* ctx = nullptr;
    std::chrono::steady_clock::time_point deadline{};
    bool deadlineArmed = false;
    bool expired = false; // stays set until the call ends, so the error escapes every catch
    unsigned nativeTicks = 0;
    static constexpr unsigned kNativeStride = 1024;

    bool DeadlinePassed() {
        if (!deadlineArmed)
            return false;
        if (!expired && std::chrono::steady_clock::now() >= deadline)
            expired = true;
        return expired;
    }

    bool untouched = false;    // no evaluation since Checkpoint()
    bool errorPending = false; // lastError is stale: the last failure waits in the heap stash
    std::string errorCode;     // the UTF-8 text whose evaluation failed last

    std::jmp_buf fatalJump{};
    bool jumpArmed = false;
    bool dead = false; // a fatal error left the heap unusable; its blocks are freed

    ScriptErrorInfo lastError;

#ifndef NDEBUG
    std::thread::id owner = std::this_thread::get_id();
#endif

    // Debug check that a call into the heap leaves its value stack as it found it.
    class StackGuard {
    public:
        explicit StackGuard(const Impl& impl) : m_impl(impl), m_top(impl.ctx ? duk_get_top(impl.ctx) : 0) {}
        ~StackGuard() { assert(m_impl.ctx == nullptr || duk_get_top(m_impl.ctx) == m_top); }
        StackGuard(const StackGuard&) = delete;
        StackGuard& operator=(const StackGuard&) = delete;

    private:
        const Impl& m_impl;
        duk_idx_t m_top;
    };

    ~Impl() {
        if (ctx != nullptr && !dead) {
            // Destruction runs no script: finalizers are unreachable once "Duktape" is gone.
            deadlineArmed = false;
            jumpArmed = true;
            if (setjmp(fatalJump) == 0)
                duk_destroy_heap(ctx);
            jumpArmed = false;
        }
        ctx = nullptr;
        FreeAllBlocks();
    }

    void Link(Block* b) {
        b->prev = head.prev;
        b->next = &head;
        head.prev->next = b;
        head.prev = b;
    }
    static void Unlink(Block* b) {
        b->prev->next = b->next;
        b->next->prev = b->prev;
    }
    void FreeAllBlocks() {
        while (head.next != &head) {
            Block* b = head.next;
            Unlink(b);
            std::free(b);
        }
        used = 0;
    }

    // Allocation functions given to duk_create_heap. Refusing a request makes Duktape collect
    // garbage and retry, then throw a RangeError inside the running call ("alloc failed").
    static void* Alloc(void* udata, duk_size_t size) {
        auto* self = static_cast<Impl*>(udata);
        if (size == 0 || size > self->limits.memoryBytes - self->used)
            return nullptr;
        auto* b = static_cast<Block*>(std::malloc(sizeof(Block) + size));
        if (b == nullptr)
            return nullptr;
        b->size = size;
        self->Link(b);
        self->used += size;
        self->peak = std::max(self->peak, self->used);
        return b + 1;
    }
    static void* Realloc(void* udata, void* ptr, duk_size_t size) {
        auto* self = static_cast<Impl*>(udata);
        if (ptr == nullptr)
            return Alloc(udata, size);
        if (size == 0) {
            Free(udata, ptr);
            return nullptr;
        }
        Block* b = static_cast<Block*>(ptr) - 1;
        const std::size_t old = b->size;
        if (size > old && size - old > self->limits.memoryBytes - self->used)
            return nullptr;
        Unlink(b);
        auto* moved = static_cast<Block*>(std::realloc(b, sizeof(Block) + size));
        if (moved == nullptr) {
            self->Link(b);
            return nullptr;
        }
        moved->size = size;
        self->Link(moved);
        self->used = self->used - old + size;
        self->peak = std::max(self->peak, self->used);
        return moved + 1;
    }
    static void Free(void* udata, void* ptr) {
        if (ptr == nullptr)
            return;
        auto* self = static_cast<Impl*>(udata);
        Block* b = static_cast<Block*>(ptr) - 1;
        Unlink(b);
        self->used -= b->size;
        std::free(b);
    }

    // Duktape calls this for errors it cannot throw (an error outside any protected call, or an
    // internal failure) and must not get control back (duktape.h, duk_fatal_function). Every
    // entry into the heap runs under the recovery point set by Protected, so the handler jumps
    // back there; the heap is then given up and its memory freed block by block.
    static void Fatal(void* udata, const char* message) {
        auto* self = static_cast<Impl*>(udata);
        if (self != nullptr && self->jumpArmed) {
            self->errorPending = false;
            self->lastError = ScriptErrorInfo{};
            self->lastError.number = DUK_ERR_ERROR;
            self->lastError.source = "FatalError";
            self->lastError.description = message != nullptr ? message : "";
            std::longjmp(self->fatalJump, 1);
        }
        std::abort();
    }

    // Runs fn through duk_safe_call with the deadline armed. Returns DUK_EXEC_SUCCESS, or
    // DUK_EXEC_ERROR with the error left on the value stack (the stack is as before plus one
    // value either way), or kHeapGone when the heap is unusable. The locals here are plain
    // values, since Fatal may longjmp back.
    static constexpr duk_int_t kHeapGone = -1;

    duk_int_t Protected(duk_safe_call_function fn, void* args) {
        assert(std::this_thread::get_id() == owner && "a script engine is used by the thread that built it");
        untouched = false;
        if (dead || ctx == nullptr)
            return kHeapGone;
        deadline = std::chrono::steady_clock::now() + limits.timeBudget;
        deadlineArmed = true;
        expired = false;
        nativeTicks = 0;
        jumpArmed = true;
        duk_int_t rc = kHeapGone;
        if (setjmp(fatalJump) == 0) {
            rc = duk_safe_call(ctx, fn, args, 0, 1);
        } else {
            dead = true;
            ctx = nullptr;
            FreeAllBlocks();
        }
        jumpArmed = false;
        deadlineArmed = false;
        return rc;
    }

    // Evaluates one converted text. A failure is stashed (or, when even that failed, recorded
    // at once); the stack is left as it was.
    bool Evaluate(EvalCall& call, const std::string& utf8) {
        const StackGuard guard(*this);
        call.code = utf8.data();
        call.length = utf8.size();
        call.deadlineArmed = &deadlineArmed;
        const duk_int_t rc = Protected(EvalCallback, &call);
        if (rc == kHeapGone)
            return false;
        if (rc == DUK_EXEC_SUCCESS) {
            duk_pop(ctx);
            if (!call.failed)
                return true;
            errorPending = true;
            errorCode = utf8;
            return false;
        }
        RecordError(utf8);
        return false;
    }

    // Turns the stashed failure into lastError.
    void LoadStashedError() {
        if (!errorPending)
            return;
        const StackGuard guard(*this);
        errorPending = false;
        const duk_int_t rc = Protected(
            [](duk_context* c, void*) -> duk_ret_t {
                duk_push_heap_stash(c);
                duk_get_prop_string(c, -1, kLastErrorKey);
                return 1;
            },
            nullptr);
        if (rc == kHeapGone)
            return;
        if (rc == DUK_EXEC_SUCCESS) {
            RecordError(errorCode);
        } else {
            duk_pop(ctx);
            lastError = ScriptErrorInfo{};
            lastError.number = DUK_ERR_ERROR;
            lastError.source = "Error";
        }
    }

    // Fills lastError from the error on top of the stack and pops it.
    void RecordError(const std::string& utf8Code) {
        std::string name;
        std::string message;
        ErrorRead read;
        read.name = &name;
        read.message = &message;
        const duk_int_t rc = Protected(ReadErrorCallback, &read);
        if (rc == kHeapGone)
            return; // the heap died meanwhile; Fatal recorded why
        duk_pop_2(ctx);

        ScriptErrorInfo info;
        info.number = read.code != 0 ? read.code : DUK_ERR_ERROR;
        info.source = FromEngine(name.empty() ? std::string("Error") : name);
        info.description = FromEngine(message);
        info.line = read.line;
        if (read.line > 0) {
            std::size_t start = 0;
            for (duk_int_t l = 1; l < read.line && start != std::string::npos; ++l) {
                start = utf8Code.find('\n', start);
                if (start != std::string::npos)
                    ++start;
            }
            if (start != std::string::npos) {
                const std::size_t end = utf8Code.find('\n', start);
                info.text = FromEngine(
                    std::string_view(utf8Code).substr(start, end == std::string::npos ? end : end - start));
            }
        }
        lastError = std::move(info);
        errorPending = false;
    }
};

} // namespace velk

extern "C" int velk_duk_exec_timeout_check(void* udata) {
    auto* impl = static_cast<velk::ScriptEngine::Impl*>(udata);
    return impl != nullptr && impl->DeadlinePassed() ? 1 : 0;
}

extern "C" int velk_duk_native_stack_check(void) {
    // Stacks grow downwards on the platforms velk builds for.
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    const std::uintptr_t limit = velk::StackLimit();
    return limit != 0 && here < limit ? 1 : 0;
}

extern "C" int velk_duk_native_timeout_check(void* udata) {
    auto* impl = static_cast<velk::ScriptEngine::Impl*>(udata);
    if (impl == nullptr || !impl->deadlineArmed)
        return 0;
    if (impl->expired)
        return 1;
    if (++impl->nativeTicks % velk::ScriptEngine::Impl::kNativeStride != 0)
        return 0;
    return impl->DeadlinePassed() ? 1 : 0;
}

namespace velk {

ScriptEngine::LimitsScope::LimitsScope(const ScriptLimits& limits) : m_previous(t_limits) {
    t_limits = limits;
}

ScriptEngine::LimitsScope::~LimitsScope() {
    t_limits = m_previous;
}

std::shared_ptr<ScriptEngine> ScriptEngine::Create() {
    return Create(t_limits);
}

std::shared_ptr<ScriptEngine> ScriptEngine::Create(const ScriptLimits& limits) {
    auto impl = std::make_unique<Impl>();
    impl->limits = limits;
    Impl* raw = impl.get();
    raw->jumpArmed = true;
    if (setjmp(raw->fatalJump) == 0) {
        raw->ctx = duk_create_heap(Impl::Alloc, Impl::Realloc, Impl::Free, raw, Impl::Fatal);
    } else {
        raw->dead = true;
        raw->ctx = nullptr;
        raw->FreeAllBlocks();
    }
    raw->jumpArmed = false;
    if (raw->ctx == nullptr || raw->dead)
        return nullptr;

    EvalCall call;
    call.compileFlags = DUK_COMPILE_EVAL;
    if (!raw->Evaluate(call, kRemoveNonStandard))
        return nullptr;
    raw->lastError = ScriptErrorInfo{};
    raw->errorPending = false;
    return std::shared_ptr<ScriptEngine>(new ScriptEngine(std::move(impl)));
}

ScriptEngine::ScriptEngine(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

ScriptEngine::~ScriptEngine() = default;

bool ScriptEngine::AddCode(const Text& code) {
    EvalCall call;
    call.compileFlags = 0;
    return m_impl->Evaluate(call, ToEngine(code));
}

bool ScriptEngine::AddCachedCode(const Text& code) {
    thread_local std::unordered_map<std::string, std::string> cache;
    const std::string utf8 = ToEngine(code);
    const auto hit = cache.find(utf8);
    std::string dumped;
    CachedRun run;
    run.code = utf8.data();
    run.length = utf8.size();
    if (hit != cache.end())
        run.bytecode = &hit->second;
    else
        run.dumped = &dumped;
    const Impl::StackGuard guard(*m_impl);
    const duk_int_t rc = m_impl->Protected(CachedRunCallback, &run);
    if (rc == DUK_EXEC_SUCCESS) {
        duk_pop(m_impl->ctx);
        if (hit == cache.end() && !dumped.empty())
            cache.emplace(utf8, std::move(dumped));
        return true;
    }
    if (rc == DUK_EXEC_ERROR)
        m_impl->RecordError(utf8);
    return false;
}

void ScriptEngine::Run(const Text& code) {
    EvalCall call;
    call.compileFlags = DUK_COMPILE_EVAL;
    m_impl->Evaluate(call, ToEngine(code));
}

bool ScriptEngine::EvalBool(const Text& code) {
    EvalCall call;
    call.compileFlags = DUK_COMPILE_EVAL;
    call.want = Want::Boolean;
    return m_impl->Evaluate(call, ToEngine(code)) && call.boolean;
}

Text ScriptEngine::EvalText(const Text& code) {
    std::string utf8;
    EvalCall call;
    call.compileFlags = DUK_COMPILE_EVAL;
    call.want = Want::String;
    call.text = &utf8;
    if (!m_impl->Evaluate(call, ToEngine(code)))
        return {};
    return FromEngine(utf8);
}

double ScriptEngine::EvalNumber(const Text& code) {
    EvalCall call;
    call.compileFlags = DUK_COMPILE_EVAL;
    call.want = Want::Number;
    return m_impl->Evaluate(call, ToEngine(code)) ? call.number : 0.0;
}

void ScriptEngine::Checkpoint() {
    m_impl->untouched = !m_impl->dead;
}

bool ScriptEngine::Untouched() const {
    return m_impl->untouched;
}

ScriptErrorInfo ScriptEngine::Error() const {
    m_impl->LoadStashedError();
    return m_impl->lastError;
}

std::size_t ScriptEngine::HeapBytes() const {
    return m_impl->used;
}

std::size_t ScriptEngine::PeakHeapBytes() const {
    return m_impl->peak;
}

} // namespace velk
