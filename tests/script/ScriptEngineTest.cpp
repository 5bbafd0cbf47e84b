#include "script/ScriptEngine.h"

#include <memory>
#include <string>
#include <vector>

#include <pthread.h>

#include <gtest/gtest.h>

#include "util/Encoding.h"

using namespace velk;

namespace {

Text G(const char* utf8) {
    return Utf8ToAnsiText(utf8);
}

std::shared_ptr<ScriptEngine> NewEngine() {
    auto engine = ScriptEngine::Create();
    EXPECT_TRUE(engine);
    return engine;
}

TEST(ScriptEngine, ResultConversions) {
    auto engine = NewEngine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->EvalText("'a' + 'b'"), "ab");
    EXPECT_EQ(engine->EvalText("1"), ""); // only strings convert to Text
    EXPECT_EQ(engine->EvalText("null"), "");
    EXPECT_EQ(engine->EvalNumber("0.5 * 3"), 1.5);
    EXPECT_EQ(engine->EvalNumber("'38'"), 0.0); // only numbers convert to a number
    EXPECT_EQ(engine->EvalNumber("-0.0"), 0.0);
    EXPECT_TRUE(engine->EvalBool("1 == 1"));
    EXPECT_FALSE(engine->EvalBool("1 == 2"));
    EXPECT_TRUE(engine->EvalBool("({})")); // other values by ToBoolean
    EXPECT_FALSE(engine->EvalBool("''"));
    // Failures give the empty result of each kind.
    EXPECT_FALSE(engine->EvalBool("missing"));
    EXPECT_EQ(engine->EvalText("missing"), "");
    EXPECT_EQ(engine->EvalNumber("missing"), 0.0);
    EXPECT_FALSE(engine->AddCode("missing"));
    EXPECT_TRUE(engine->AddCode("var ok = 1"));
}

TEST(ScriptEngine, TextCrossesAsCodePage936) {
    auto engine = NewEngine();
    ASSERT_TRUE(engine);
    struct Case {
        Text code;
        Text expected;
    };
    const Case cases[] = {
        {G("'中国'"), G("中国")},
        {G("String('中国'.length)"), "2"},
        {"'\\u91d1\\u724c'", G("金牌")},
        {"'\\u20ac'", "\x80"},               // the euro sign of the Windows mapping
        {"'\\x95\\x5c'.length + 'x'", "2x"}, // byte escapes are characters, not bytes
        {"'a\\ud83d\\ude00b'", "a?b"},       // surrogate pair: one character, one "?"
        {"String.fromCharCode(0xd83d, 0xde00)", "?"},
        {"'a\\ud800b\\udc00'", "a?b?"}, // lone surrogates
        {"'\\u0e01\\u2400'", "??"},     // outside code page 936
        {"JSON.stringify('\\ud83d\\ude00' + '\\u4e2d')", "\"?" + G("中") + "\""},
        {"'x\\u0000y'", "x"}, // a Text ends at its first zero
    };
    for (const auto& c : cases)
        EXPECT_EQ(engine->EvalText(c.code), c.expected) << c.code;
}

TEST(ScriptEngine, GlobalScopePersists) {
    auto engine = NewEngine();
    ASSERT_TRUE(engine);
    EXPECT_TRUE(engine->AddCode("function twice(x) { return 2 * x; } var base = 20;"));
    engine->Run("var extra = 1");
    EXPECT_EQ(engine->EvalNumber("twice(base) + extra"), 41.0);
    EXPECT_EQ(engine->EvalNumber("var y = 5; y * 2"), 10.0); // statements; value of the last one
    EXPECT_EQ(engine->EvalNumber("y"), 5.0);
    EXPECT_EQ(engine->EvalText("typeof this"), "object");

    auto other = NewEngine();
    ASSERT_TRUE(other);
    EXPECT_EQ(other->EvalText("typeof twice + typeof base"), "undefinedundefined");
}

TEST(ScriptEngine, RecordsTheLastFailure) {
    auto engine = NewEngine();
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->Error().number, 0);

    EXPECT_FALSE(engine->AddCode("var a = 1;\nvar b = a.missing.field;\nvar c = 3;"));
    ScriptErrorInfo info = engine->Error();
    EXPECT_EQ(info.number, 6);
    EXPECT_EQ(info.source, "TypeError");
    EXPECT_FALSE(info.description.empty());
    EXPECT_EQ(info.line, 2);
    EXPECT_EQ(info.text, "var b = a.missing.field;");
    EXPECT_EQ(info.helpFile, "");
    EXPECT_EQ(info.column, 0);

    // A later success leaves the record of the last failure in place.
    EXPECT_TRUE(engine->AddCode("var ok = 1"));
    EXPECT_EQ(engine->Error().source, "TypeError");

    engine->Run(G("throw '出错了'"));
    info = engine->Error();
    EXPECT_EQ(info.number, 1);
    EXPECT_EQ(info.source, "Error");
    EXPECT_EQ(info.description, G("出错了"));

    engine->Run("throw new SyntaxError('custom')");
    EXPECT_EQ(engine->Error().number, 5);
    EXPECT_EQ(engine->Error().source, "SyntaxError");
    EXPECT_EQ(engine->Error().description, "custom");

    // An error object whose properties throw when read is still recorded.
    engine->Run("throw {get name() { throw 1; }, message: 'm'}");
    EXPECT_NE(engine->Error().number, 0);
}

// Hostile programs end with a failure of the one call, and the heap stays usable. The time
// budget is shortened here; DefaultLimits below runs the real one.
TEST(ScriptEngine, HostileProgramsFailCleanly) {
    ScriptLimits limits;
    limits.timeBudget = std::chrono::milliseconds(200);
    limits.memoryBytes = std::size_t{16} << 20;
    ScriptEngine::LimitsScope scope(limits);
    struct Case {
        const char* name;
        std::string code;
        const char* error; // expected description
    };
    const Case cases[] = {
        {"endless loop", "for (;;) {}", "execution timeout"},
        {"loop that swallows errors", "for (;;) { try { for (;;) {} } catch (e) {} }", "execution timeout"},
        {"loop in finally", "try { for (;;) {} } finally { for (;;) {} }", "execution timeout"},
        {"endless tail calls", "function f(n) { return f(n + 1); } f(0)", "execution timeout"},
        {"native join over 2^32 - 1", "var a = []; a.length = 4294967295; a.join('')", "execution timeout"},
        {"native splice over 2^32 - 1", "Array.prototype.splice.call({length: 4294967295}, 0, 0, 1)",
         nullptr},
        {"string doubling", "var s = 'x'; for (;;) s += s;", "alloc failed"},
        {"huge repeat", "'x'.repeat(1e9)", "alloc failed"},
        {"growing array", "var a = []; for (;;) a.push([a.length]);", nullptr},
        {"million-deep arrays", "var x = " + std::string(1000000, '[') + std::string(1000000, ']'), nullptr},
        {"million-deep objects", "var x = " + std::string(1000000, '{') + std::string(1000000, '}'), nullptr},
        {"million-deep parentheses", "var x = " + std::string(1000000, '(') + "1" + std::string(1000000, ')'),
         nullptr},
        {"deep JSON.parse", "JSON.parse('" + std::string(100000, '[') + std::string(100000, ']') + "')",
         nullptr},
        {"deep regexp", "new RegExp('" + std::string(100000, '(') + "a" + std::string(100000, ')') + "')",
         nullptr},
        {"backtracking regexp", "/^(a+)+$/.test(new Array(5000).join('a') + 'b')", nullptr},
        {"cyclic join", "var a = []; a.push(a); String(a)", nullptr},
        {"deep native recursion", "var o = {}; o.toString = function () { return String(o); }; String(o)",
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = NewEngine();
        ASSERT_TRUE(engine);
        EXPECT_FALSE(engine->AddCode(c.code));
        const ScriptErrorInfo info = engine->Error();
        EXPECT_NE(info.number, 0);
        if (c.error != nullptr) {
            EXPECT_EQ(info.description, c.error);
        }
        EXPECT_LE(engine->HeapBytes(), limits.memoryBytes);
        EXPECT_EQ(engine->EvalText("'still ' + 'alive'"), "still alive");
        EXPECT_FALSE(engine->AddCode(c.code)); // and fails the same way again
    }
}

// Duktape's recursion limits count levels; on a thread with a small stack the levels alone would
// overflow it. The engine stops at the remaining stack instead.
TEST(ScriptEngine, DeepRecursionOnASmallStack) {
    struct Run {
        std::vector<std::string> failures;
        static void* Main(void* self) {
            auto* run = static_cast<Run*>(self);
            const std::string programs[] = {
                "var a = []; a.push(a); String(a)",
                "var o = {}; o.toString = function () { return String(o); }; String(o)",
                "var x = " + std::string(100000, '[') + std::string(100000, ']'),
                "JSON.parse('" + std::string(100000, '[') + std::string(100000, ']') + "')",
                "function f(n) { return [f(n + 1)]; } f(0)",
            };
            auto engine = ScriptEngine::Create();
            if (!engine) {
                run->failures.push_back("no engine");
                return nullptr;
            }
            for (const auto& code : programs) {
                if (engine->AddCode(code))
                    run->failures.push_back("succeeded: " + code.substr(0, 40));
                if (engine->EvalNumber("1 + 1") != 2.0)
                    run->failures.push_back("unusable after: " + code.substr(0, 40));
            }
            return nullptr;
        }
    } run;
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, &Run::Main, &run), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_TRUE(run.failures.empty()) << run.failures.front();
}

TEST(ScriptEngine, DefaultLimits) {
    const ScriptLimits limits;
    EXPECT_EQ(limits.memoryBytes, std::size_t{64} << 20);
    EXPECT_EQ(limits.timeBudget, std::chrono::milliseconds(1000));
    auto engine = NewEngine();
    ASSERT_TRUE(engine);
    EXPECT_FALSE(engine->AddCode("var s = 'x'; for (;;) s += s;"));
    EXPECT_EQ(engine->Error().description, "alloc failed");
    EXPECT_LE(engine->HeapBytes(), limits.memoryBytes);
    EXPECT_FALSE(engine->AddCode("for (;;) {}"));
    EXPECT_EQ(engine->Error().description, "execution timeout");
    EXPECT_EQ(engine->EvalNumber("1 + 1"), 2.0);
}

TEST(ScriptEngine, EachCallGetsItsOwnBudget) {
    ScriptLimits limits;
    limits.timeBudget = std::chrono::milliseconds(200);
    ScriptEngine::LimitsScope scope(limits);
    auto engine = NewEngine();
    ASSERT_TRUE(engine);
    // Short calls, far below the budget each, made until together they have outlasted it
    // three times over; none of them may fail.
    const auto until = std::chrono::steady_clock::now() + 3 * limits.timeBudget;
    for (int call = 0; std::chrono::steady_clock::now() < until; ++call)
        ASSERT_EQ(engine->EvalNumber(
                      "(function () { var n = 0; for (var i = 0; i < 1000; i++) n += i; return n; })()"),
                  499500.0)
            << "call " << call;
}

TEST(ScriptEngine, OnlyEcmaScriptBuiltInsAreReachable) {
    auto engine = NewEngine();
    ASSERT_TRUE(engine);
    for (const char* name : {"Duktape", "Buffer", "TextEncoder", "TextDecoder", "performance", "CBOR",
                             "print", "alert", "require", "module", "exports", "process", "console"})
        EXPECT_EQ(engine->EvalText(std::string("typeof ") + name), "undefined") << name;
    // Every global the heap starts with is an ECMAScript one.
    const Text allowed =
        ",globalThis,NaN,Infinity,undefined,Object,Function,Array,String,Boolean,Number,Date,RegExp,Error,"
        "EvalError,RangeError,ReferenceError,SyntaxError,TypeError,URIError,Math,JSON,Proxy,Reflect,Symbol,"
        "ArrayBuffer,DataView,Int8Array,Uint8Array,Uint8ClampedArray,Int16Array,Uint16Array,Int32Array,"
        "Uint32Array,Float32Array,Float64Array,parseInt,parseFloat,eval,isNaN,isFinite,decodeURI,"
        "decodeURIComponent,encodeURI,encodeURIComponent,escape,unescape,";
    engine->Run("var allowed = '" + allowed + "'");
    EXPECT_EQ(
        engine->EvalText("Object.getOwnPropertyNames(this).filter(function (n) {"
                         "  return n !== 'allowed' && allowed.indexOf(',' + n + ',') < 0; }).join(',')"),
        "");
    EXPECT_EQ(engine->EvalText("typeof ArrayBuffer.allocPlain + typeof Uint8Array.plainOf"),
              "undefinedundefined");
}

TEST(ScriptEngine, CreationFailsWhenNoHeapFits) {
    ScriptLimits tiny;
    tiny.memoryBytes = 4096;
    EXPECT_FALSE(ScriptEngine::Create(tiny));
    {
        ScriptEngine::LimitsScope scope(tiny);
        EXPECT_FALSE(ScriptEngine::Create());
    }
    EXPECT_TRUE(ScriptEngine::Create());
}

} // namespace
