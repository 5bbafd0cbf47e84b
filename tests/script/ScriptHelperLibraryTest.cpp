#include "script/ScriptHelperLibrary.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "script/ScriptEngine.h"
#include "util/Encoding.h"

using namespace velk;

namespace {

Text G(const char* utf8) {
    return Utf8ToAnsiText(utf8);
}

// An engine with the library loaded, optionally after removing the engine's own JSON support
// so that the library's guarded half takes its place.
std::shared_ptr<ScriptEngine> LoadLibrary(bool removeEngineJson) {
    auto engine = ScriptEngine::Create();
    if (!engine)
        return nullptr;
    if (removeEngineJson)
        engine->Run("delete this.JSON; delete Date.prototype.toJSON;");
    if (!engine->AddCode(ScriptHelperLibrary::Source()))
        return nullptr;
    engine->Run("var str_all = new Array()");
    return engine;
}

struct Case {
    const char* name;
    Text code;
    Text expected;
};

void ExpectAll(ScriptEngine& engine, std::initializer_list<Case> cases) {
    for (const auto& c : cases)
        EXPECT_EQ(engine.EvalText(c.code), c.expected) << c.name << ": " << c.code;
}

// Runs code and gives "name:message" of what it throws, or "no error".
Text Thrown(const std::string& code) {
    return "(function () { try { " + code +
           "; return 'no error'; } catch (e) { return e.name + ':' + e.message; } })()";
}

TEST(ScriptHelperLibrary, IsOneLineOfPlainScript) {
    const Text& source = ScriptHelperLibrary::Source();
    EXPECT_EQ(source.find('\n'), Text::npos);
    EXPECT_EQ(source.find('\r'), Text::npos);
    for (unsigned char c : source)
        ASSERT_TRUE(c >= 0x20 && c < 0x7F) << int(c);
}

TEST(ScriptHelperLibrary, Helpers) {
    auto engine = LoadLibrary(false);
    ASSERT_TRUE(engine);
    ExpectAll(*engine, {
                           {"count of an object", "String(get__count({a: 1}))", "0"},
                           {"count of a string", "String(get__count('abc'))", "0"},
                           {"count of a number", "String(get__count(5))", "0"},
                           {"count of a missing value", "String(get__count(undefined))", "0"},
                           {"count of an empty array", "String(get__count([]))", "0"},
                           {"count of an array", "String(get__count([1, [2], 3]))", "3"},
                           {"names of an array", "get__name_All([1, 2])", ""},
                           {"names skip functions", "get__name_All({a: 1, f: function () {}})", "a"},
                           {"names joined by CRLF", "get__name_All({b: 1, a: null, c: {}})", "b\r\na\r\nc"},
                           {"names of an empty object", "get__name_All({})", ""},
                           {"names of a string", "get__name_All('ab')", ""},
                           {"names include inherited", "get__name_All(Object.create({up: 1}))", "up"},
                       });
}

TEST(ScriptHelperLibrary, NodeValues) {
    auto engine = LoadLibrary(false);
    ASSERT_TRUE(engine);
    const Text sample = "{a: 1, b: {c: 'x'}, d: null, e: true}";
    struct ValuesCase {
        Text argument;
        const char* recursion;
        Text expected; // JSON of str_all afterwards
    };
    const ValuesCase cases[] = {
        {sample, "false", "[1,true]"},
        {sample, "true", R"([1,"x",true])"},
        {"[[1, [2]], {k: [3, 'y']}, function () {}, new Date(0), /r/]", "true", R"([1,2,3,"y"])"},
        {"'abc'", "true", "[]"},
        {"5", "true", "[]"},
        {"true", "true", "[]"},
        {"null", "true", "[]"},
        {"undefined", "true", "[]"},
    };
    for (const auto& c : cases) {
        engine->Run("var str_all = new Array()");
        EXPECT_EQ(engine->EvalText("JSON.stringify(get__nodeValue(" + c.argument + ", " + c.recursion + "))"),
                  c.expected)
            << c.argument << " " << c.recursion;
    }
    // Values of earlier calls stay, and the values are pushed unconverted.
    engine->Run("var str_all = new Array(); get__nodeValue({a: 1}, false); get__nodeValue(['s'], false)");
    EXPECT_EQ(engine->EvalText("JSON.stringify(str_all)"), R"([1,"s"])");
}

TEST(ScriptHelperLibrary, Extend) {
    auto engine = LoadLibrary(false);
    ASSERT_TRUE(engine);
    ExpectAll(
        *engine,
        {
            {"arrays append, same array",
             "(function () { var t = [1]; var r = get__extend(t, [2, 3]); return JSON.stringify(r) + (r === "
             "t); })()",
             "[1,2,3]true"},
            {"objects merge in place",
             "(function () { var t = {a: 'x', o: {p: true}}; var r = get__extend(t, {a: 'y', o: {q: false}, "
             "n: false});"
             " return JSON.stringify(t) + (r === t); })()",
             R"({"a":"y","o":{"p":true,"q":false},"n":false}true)"},
            {"nested arrays append", "JSON.stringify(get__extend({l: [1]}, {l: [2]}))", R"({"l":[1,2]})"},
            {"number member replaced", "JSON.stringify(get__extend({n: 1, s: 'a'}, {n: 2, s: 'b'}))",
             R"({"n":2,"s":"b"})"},
            {"null member filled", "JSON.stringify(get__extend({n: null}, {n: {k: 1}}))", R"({"n":{"k":1}})"},
            {"function member kept", "typeof get__extend({f: function () {}}, {f: 1}).f", "function"},
            {"source without length adds nothing", "JSON.stringify(get__extend([1], {a: 2}))", "[1]"},
            {"missing source adds nothing",
             "JSON.stringify(get__extend([1], null)) + JSON.stringify(get__extend({a: 1}, null))",
             R"([1]{"a":1})"},
        });
}

TEST(ScriptHelperLibrary, KeepsTheEngineJson) {
    auto engine = ScriptEngine::Create();
    ASSERT_TRUE(engine);
    engine->Run("var before = [JSON, JSON.stringify, JSON.parse, Date.prototype.toJSON]");
    ASSERT_TRUE(engine->AddCode(ScriptHelperLibrary::Source()));
    EXPECT_TRUE(
        engine->EvalBool("JSON === before[0] && JSON.stringify === before[1] && JSON.parse === before[2] &&"
                         " Date.prototype.toJSON === before[3]"));
    EXPECT_EQ(engine->EvalText("typeof String.prototype.toJSON"), "undefined");
    // The shorthands are there, as enumerable members of every object.
    ExpectAll(*engine,
              {
                  {"toJSONString", "({a: [1]}).toJSONString()", R"({"a":[1]})"},
                  {"parseJSON", "String('[1,2]'.parseJSON().length)", "2"},
                  {"enumerable", "String(Object.prototype.propertyIsEnumerable('toJSONString'))", "true"},
                  {"not written as members", "JSON.stringify({a: 1})", R"({"a":1})"},
              });
}

class GuardedJson : public ::testing::Test {
protected:
    void SetUp() override {
        engine = LoadLibrary(true);
        ASSERT_TRUE(engine);
        ASSERT_EQ(
            engine->EvalText("typeof JSON.stringify + typeof JSON.parse + typeof String.prototype.toJSON"),
            "functionfunctionfunction");
    }
    std::shared_ptr<ScriptEngine> engine;
};

TEST_F(GuardedJson, Stringify) {
    ExpectAll(
        *engine,
        {
            {"line separator", "JSON.stringify('a\\u2028b')", R"("a\u2028b")"},
            {"Chinese as it is", G("JSON.stringify('中文')"), G("\"中文\"")},
            {"short escapes", "JSON.stringify('\\b\\t\\n\\f\\r\"\\\\/')", R"("\b\t\n\f\r\"\\/")"},
            {"further escapes",
             "JSON.stringify('"
             "\\u0001\\u001f\\u007f\\u009f\\u00ad\\u0600\\u0604\\u070f\\u17b4\\u17b5\\u200c\\u202f"
             "\\u2060\\u206f\\ufeff\\ufff0\\uffff')",
             R"("\u0001\u001f\u007f\u009f\u00ad\u0600\u0604\u070f\u17b4\u17b5\u200c\u202f\u2060\u206f\ufeff\ufff0\uffff")"},
            {"other characters as they are", "String(JSON.stringify('\\u00e9\\u0605\\u2030').length)", "5"},
            {"undefined members left out", "JSON.stringify({a: undefined, b: 1, f: function () {}})",
             R"({"b":1})"},
            {"undefined elements as null", "JSON.stringify([undefined, function () {}])", "[null,null]"},
            {"non-finite numbers", "JSON.stringify([Infinity, -Infinity, NaN]) + JSON.stringify(Infinity)",
             "[null,null,null]null"},
            {"numbers", "JSON.stringify([1e21, -0, 0.5, 1e-7])", "[1e+21,0,0.5,1e-7]"},
            {"names", "JSON.stringify([true, false, null])", "[true,false,null]"},
            {"date", "JSON.stringify(new Date(Date.UTC(2020, 6, 20, 12, 0, 0, 250)))",
             R"("2020-07-20T12:00:00Z")"},
            {"date with small parts", "JSON.stringify(new Date(Date.UTC(987, 0, 2, 3, 4, 5)))",
             R"("987-01-02T03:04:05Z")"},
            {"invalid date", "JSON.stringify(new Date(NaN))", "null"},
            {"wrappers", "JSON.stringify([new String('s'), new Number(1), new Boolean(false)])",
             R"(["s",1,false])"},
            {"order and nesting", "JSON.stringify({b: [1, {c: null}], a: 'x'})",
             R"({"b":[1,{"c":null}],"a":"x"})"},
            {"empty containers", "JSON.stringify({}) + JSON.stringify([]) + JSON.stringify({a: [], b: {}})",
             R"({}[]{"a":[],"b":{}})"},
            {"own members only", "JSON.stringify(Object.create({up: 1}))", "{}"},
            {"toJSON", "JSON.stringify({x: {toJSON: function (k) { return 'k=' + k; }}})", R"({"x":"k=x"})"},
            {"numeric space", "JSON.stringify({a: [1, 2], b: {}}, null, 2)",
             "{\n  \"a\": [\n    1,\n    2\n  ],\n  \"b\": {}\n}"},
            {"text space", "JSON.stringify([1, {k: 2}], null, '\\t')", "[\n\t1,\n\t{\n\t\t\"k\": 2\n\t}\n]"},
            {"array replacer", "JSON.stringify({a: 1, b: 2, c: 3}, ['c', 'a'])", R"({"c":3,"a":1})"},
            {"function replacer",
             "JSON.stringify({a: 1, b: 'x'}, function (k, v) { return typeof v === 'number' ? v * 10 : v; })",
             R"({"a":10,"b":"x"})"},
            {"replacer called with the holder",
             "JSON.stringify({a: 1}, function (k, v) { return k === 'a' ? String(this.a + 1) : v; })",
             R"({"a":"2"})"},
            {"invalid replacer", Thrown("JSON.stringify({}, 5)"), "Error:JSON.stringify"},
            {"stringify inside a replacer",
             "JSON.stringify({a: 1}, function (k, v) { return k === 'a' ? JSON.stringify([v], null, 1) : v; "
             "}, 1)",
             "{\n \"a\": \"[\\n 1\\n]\"\n}"},
            {"shorthand", "({a: [1]}).toJSONString()", R"({"a":[1]})"},
        });
}

TEST_F(GuardedJson, Parse) {
    ExpectAll(
        *engine,
        {
            {"names without quotes", Thrown("JSON.parse('{a:1}')"), "SyntaxError:JSON.parse"},
            {"is a SyntaxError",
             "String((function () { try { JSON.parse('{a:1}'); } catch (e) { return e instanceof "
             "SyntaxError; } })())",
             "true"},
            {"two numbers",
             "(function () { var r = JSON.parse('[1,2]'); return r.length + ':' + typeof r[0] + typeof r[1]; "
             "})()",
             "2:numbernumber"},
            {"whitespace", "JSON.stringify(JSON.parse(' [ 1 , { \"a\" : [ ] } ] '))", R"([1,{"a":[]}])"},
            {"escapes", "JSON.parse('\"\\\\u0041\\\\\"\\\\\\\\\\\\/\\\\n\"')", "A\"\\/\n"},
            {"numbers", "JSON.stringify(JSON.parse('[-1.5e3, 0, 2E-2, 10]'))", "[-1500,0,0.02,10]"},
            {"point without digits", Thrown("JSON.parse('1.')"), "SyntaxError:JSON.parse"},
            {"single quotes", Thrown("JSON.parse(\"['a']\")"), "SyntaxError:JSON.parse"},
            {"a call", Thrown("JSON.parse('[1,2](0)')"), "SyntaxError:JSON.parse"},
            {"an assignment", Thrown("JSON.parse('{\"a\":1}; x = 1')"), "SyntaxError:JSON.parse"},
            {"a function", Thrown("JSON.parse('(function () { return 1; })()')"), "SyntaxError:JSON.parse"},
            {"a line break in a string", Thrown("JSON.parse('\"a\\nb\"')"), "SyntaxError:JSON.parse"},
            {"a line separator in a string", "String(JSON.parse('\"a\\u2028b\"').length)", "3"},
            {"converted to a string first", "String(JSON.parse(12))", "12"},
            {"reviver",
             "(function () { var seen = []; var r = JSON.parse('{\"a\":1,\"b\":{\"c\":2}}', function (k, v) {"
             " seen.push(k); return k === 'c' ? undefined : typeof v === 'number' ? v + 1 : v; });"
             " return JSON.stringify(r) + ' ' + seen.join(','); })()",
             R"({"a":2,"b":{}} a,c,b,)"},
            {"shorthand", "String('[1,2]'.parseJSON().length)", "2"},
        });
}

} // namespace
