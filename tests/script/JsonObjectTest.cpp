#include "script/JsonObject.h"

#include <cmath>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "script/ScriptEngine.h"
#include "tests/support/RealData.h"
#include "util/Encoding.h"

using namespace velk;

namespace {

// Test texts are written in UTF-8 here; the object speaks code page 936.
Text G(const char* utf8) {
    return Utf8ToAnsiText(utf8);
}

const char* kSample = R"({"a":{"b":[1,2,"x"]},"s":"t"})";

class JsonObjectSample : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(doc.Parse(kSample)); }
    JsonObject doc;
};

TEST(JsonObject, FreshObjectHoldsAnEmptyDocument) {
    JsonObject doc;
    EXPECT_EQ(doc.VariableName(), "da");
    EXPECT_EQ(doc.ToJson(), "{}");
    EXPECT_EQ(doc.GetType(), JsonTypeObject);
    EXPECT_TRUE(doc.GetEngine());
}

TEST_F(JsonObjectSample, ReadsByPath) {
    EXPECT_EQ(doc.GetText("a.b"), "1,2,x");
    EXPECT_EQ(doc.GetText("a.b", true), R"([1,2,"x"])");
    EXPECT_EQ(doc.GetJson("a.b"), R"([1,2,"x"])");
    EXPECT_EQ(doc.GetText("s"), "t");
    EXPECT_EQ(doc.GetText("a"), "[object Object]");
    EXPECT_EQ(doc.GetLength("a.b"), 3);
    EXPECT_EQ(doc.GetLength("a"), 0);
    EXPECT_EQ(doc.GetType("a.b"), JsonTypeArray);
    EXPECT_EQ(doc.GetType("a.b[0]"), JsonTypeNumber);
    EXPECT_EQ(doc.GetType("s"), JsonTypeString);
    EXPECT_EQ(doc.GetType("a.c"), JsonTypeNull);
    EXPECT_EQ(doc.GetType("x.y"), JsonTypeInvalid);
    EXPECT_EQ(doc.GetNumber("a.b[1]"), 2.0);
    EXPECT_TRUE(doc.Exists("a.b"));
    EXPECT_FALSE(doc.Exists("a.c"));
    EXPECT_FALSE(doc.Exists("x.y"));
    TextArray keys;
    EXPECT_EQ(doc.GetKeys(keys), 2);
    EXPECT_EQ(keys, (TextArray{"a", "s"}));
    EXPECT_EQ(doc.GetKeys(keys, "a.b"), 0);
    EXPECT_TRUE(keys.empty());
}

TEST_F(JsonObjectSample, FailedReadsGiveEmptyResults) {
    for (const char* path : {"a.c", "x.y", "a.b[9]", "s.t.u", "a.b[0].(", ""}) {
        SCOPED_TRACE(path);
        if (*path != '\0') {
            EXPECT_EQ(doc.GetText(path), "");
        }
        EXPECT_EQ(doc.GetText(Text(path) + ".z", true), "");
        EXPECT_EQ(doc.GetNumber(Text(path) + ".z"), 0.0);
        EXPECT_EQ(doc.GetLength(Text(path) + ".z"), 0);
    }
    EXPECT_EQ(doc.GetText("a.c", true), "");
    EXPECT_EQ(doc.GetNumber("s"), 0.0); // a string is not converted
}

TEST_F(JsonObjectSample, ResolvePath) {
    struct Case {
        const char* in;
        const char* out;
        bool exists;
    };
    const Case cases[] = {
        {"", "da", true},
        {"[0]", "da[0]", false},
        {"a", "da.a", true},
        {"da", "da", true},
        {"da.a.b", "da.a.b", true},
        {"da.x", "da.da.x", false}, // a missing value written from da is prefixed once more
        {"data.x", "da.data.x", false},
        {"s", "da.s", true},
    };
    for (const auto& c : cases) {
        Text path = c.in;
        EXPECT_EQ(doc.ResolvePath(path), c.exists) << c.in;
        EXPECT_EQ(path, c.out) << c.in;
    }
}

TEST(JsonObject, MedalFeedPaths) {
    JsonObject doc;
    Text feed = R"({"data":{"medalsList":[)";
    for (int i = 0; i < 8; ++i)
        feed += (i ? "," : "") + std::string(R"({"countryname":"T)") + std::to_string(i) + R"(","gold":)" +
                std::to_string(40 - i) + "}";
    feed += "]}}";
    ASSERT_TRUE(doc.Parse(feed));
    Text path = "data.medalsList[0].countryname";
    EXPECT_TRUE(doc.ResolvePath(path));
    EXPECT_EQ(path, "da.data.medalsList[0].countryname");
    EXPECT_EQ(doc.GetText("data.medalsList[0].countryname"), "T0");
    EXPECT_EQ(doc.GetText("data.medalsList[7].gold"), "33");
    EXPECT_EQ(doc.GetText("data.medalsList[8].countryname"), "");
}

TEST(JsonObject, RealMedalTable) {
    if (!test::HasRealData())
        GTEST_SKIP() << "no real data";
    const auto file = test::RealDataDir() / "medals" / "paris2024_final_remarshaled-by-go_gold_rank.json";
    const std::string utf8 = test::ReadFileBytes(file);
    if (utf8.empty())
        GTEST_SKIP() << "missing " << file;
    JsonObject doc;
    ASSERT_TRUE(doc.Parse(Utf8ToAnsiText(utf8)));
    EXPECT_EQ(doc.GetText("Total"), "91");
    EXPECT_EQ(doc.GetLength("MedalsList"), 91);
    EXPECT_EQ(doc.GetText("MedalsList[0].Countryname"), G("美国"));
    EXPECT_EQ(doc.GetText("MedalsList[1].Countryname"), G("中国"));
    EXPECT_EQ(doc.GetText("MedalsList[1].Gold"), "40");
    EXPECT_EQ(doc.GetText("MedalsList[1].Countryid"), "CHN");
    EXPECT_EQ(doc.GetText("MedalsList[91].Countryname"), "");
}

TEST(JsonObject, ParseForms) {
    JsonObject doc;
    // The default form evaluates the text and hands its value to eval: a string literal loads
    // as whatever its content evaluates to.
    EXPECT_TRUE(doc.Parse(R"("[1,2]")"));
    EXPECT_EQ(doc.GetType(), JsonTypeArray);
    EXPECT_TRUE(doc.Parse(R"("[1,2]")", true));
    EXPECT_EQ(doc.GetType(), JsonTypeString);
    // Script, not JSON: names without quotes, single quotes, comments, expressions.
    EXPECT_TRUE(doc.Parse("{a: 'x' /* note */, b: 1 + 1}"));
    EXPECT_EQ(doc.ToJson(), R"({"a":"x","b":2})");
    // Chinese text arrives as code page 936 and comes back as such.
    EXPECT_TRUE(doc.Parse(G(R"({"n":"中国","e":"\u91d1\u724c"})")));
    EXPECT_EQ(doc.GetText("n"), G("中国"));
    EXPECT_EQ(doc.GetText("e"), G("金牌"));
    // Characters code page 936 lacks become one "?" each, supplementary ones included.
    EXPECT_TRUE(doc.Parse(R"({"s":"a\ud83d\ude00b\u0e01c\ud800d"})"));
    EXPECT_EQ(doc.GetText("s"), "a?b?c?d");
    EXPECT_EQ(doc.GetLength("s"), 0);
}

TEST(JsonObject, ParseFailures) {
    struct Case {
        const char* name;
        Text text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"syntax", "{a:"},
        {"null", "null"},
        {"undefined", "undefined"},
        {"reference", "{a: missing}"},
        {"loops for ever", "(function () { for (;;) {} })()"},
        {"allocates without end", "(function () { var s = 'x'; for (;;) s += s; })()"},
        {"nested a million deep", std::string(1000000, '[') + std::string(1000000, ']')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JsonObject doc;
        EXPECT_FALSE(doc.Parse(c.text));
        EXPECT_EQ(doc.GetType(), JsonTypeNull);
        EXPECT_EQ(doc.GetText("a"), "");
        // The instance stays usable.
        EXPECT_TRUE(doc.SetExpression("", "({ok: 1})"));
        EXPECT_EQ(doc.GetText("ok"), "1");
        EXPECT_TRUE(doc.Parse(kSample));
        EXPECT_EQ(doc.GetText("s"), "t");
    }
}

TEST(JsonObject, ParseErrorInfo) {
    JsonObject doc;
    ScriptErrorInfo info;
    info.description = "stale";
    EXPECT_TRUE(doc.Parse(kSample, false, &info));
    EXPECT_EQ(info.number, 0);
    EXPECT_EQ(info.description, "");

    EXPECT_FALSE(doc.Parse("{a:", false, &info));
    EXPECT_NE(info.number, 0);
    EXPECT_EQ(info.source, "SyntaxError");
    EXPECT_FALSE(info.description.empty());
    EXPECT_EQ(info.line, 1);
    EXPECT_EQ(info.text, "var da = eval({a:)");

    EXPECT_FALSE(doc.Parse("{a: 1,\nb: nothing}", false, &info));
    EXPECT_EQ(info.source, "ReferenceError");
    EXPECT_EQ(info.line, 2);
    EXPECT_EQ(info.text, "b: nothing})");

    EXPECT_FALSE(doc.Parse("(function () { for (;;) {} })()", false, &info));
    EXPECT_EQ(info.source, "RangeError");
    EXPECT_EQ(info.description, "execution timeout");
}

TEST(JsonObject, SetValueStoresTextWithBackslashMarker) {
    JsonObject doc;
    const Text path = "C:\\dir\\file";
    ASSERT_TRUE(doc.SetValue("p", path));
    EXPECT_EQ(doc.GetText("p"), path);
    EXPECT_EQ(doc.ToJson(), R"({"p":"C:\dir\file"})"); // unescaped, as stored
    TextArray values;
    ASSERT_EQ(doc.GetValues(values), 1);
    EXPECT_EQ(values[0], "C:?dir?file"); // U+2400 has no code page 936 form
    // Copies through the JSON forms carry the backslash unescaped; the new document reads it
    // as an escape character.
    EXPECT_EQ(doc.GetObject()->GetText("p"), "C:dir\x0C"
                                             "ile");

    const Text tricky = "it's \"quoted\"\r\nnext line \\n " + G("中文") + " \x95\x5C"; // 0x5C trail byte
    ASSERT_TRUE(doc.SetValue("q", tricky));
    EXPECT_EQ(doc.GetText("q"), tricky);
    EXPECT_EQ(doc.GetType("q"), JsonTypeString);
}

TEST(JsonObject, SetValueAsCode) {
    JsonObject doc;
    ASSERT_TRUE(doc.Parse(R"({"o":{"k":"v","arr":[1]},"s":"x"})"));
    EXPECT_TRUE(doc.SetValue("o", R"({"n":1})", true));
    EXPECT_EQ(doc.GetText("o", true), R"({"k":"v","arr":[1],"n":1})");
    EXPECT_TRUE(doc.SetValue("o", R"({"arr":[2,3],"k":"w"})", true)); // nested arrays append
    EXPECT_EQ(doc.GetText("o", true), R"({"k":"w","arr":[1,2,3],"n":1})");
    EXPECT_TRUE(doc.SetValue("o", R"({"n":5})", true)); // a number member is replaced
    EXPECT_EQ(doc.GetText("o.n"), "5");
    EXPECT_TRUE(doc.SetValue("o", "", true)); // empty merge changes nothing
    EXPECT_EQ(doc.GetText("o", true), R"({"k":"w","arr":[1,2,3],"n":5})");
    EXPECT_TRUE(doc.SetValue("m", R"({"n":1})", true)); // missing member: set
    EXPECT_EQ(doc.GetText("m", true), R"({"n":1})");
    EXPECT_TRUE(doc.SetValue("s", "[1,2]", true)); // not an object: replaced
    EXPECT_EQ(doc.GetType("s"), JsonTypeArray);
    EXPECT_TRUE(doc.SetExpression("e", "1 + 2"));
    EXPECT_EQ(doc.GetNumber("e"), 3.0);
}

TEST(JsonObject, WritesUnderAMissingParentFailAndChangeNothing) {
    JsonObject doc;
    ASSERT_TRUE(doc.Parse(kSample));
    const Text before = doc.ToJson();
    EXPECT_FALSE(doc.SetValue("x.y", "v"));
    EXPECT_FALSE(doc.SetValue("x.y", "{}", true));
    EXPECT_FALSE(doc.SetExpression("x.y", "1"));
    EXPECT_FALSE(doc.SetNumber("x.y", 1));
    EXPECT_FALSE(doc.ArrayAdd("v", "x.y"));
    EXPECT_FALSE(doc.SetElement(0, "x.y", "v"));
    EXPECT_FALSE(doc.RemoveElement(0, "x.y"));
    EXPECT_FALSE(doc.Remove("x.y"));
    EXPECT_EQ(doc.ToJson(), before);
}

TEST(JsonObject, Arrays) {
    JsonObject doc;
    ASSERT_TRUE(doc.Parse(R"({"s":"text","list":["a",2,{"k":"v"}]})"));
    EXPECT_TRUE(doc.ArrayAdd("x", "s")); // a string is replaced by a new array
    EXPECT_EQ(doc.GetText("s", true), R"(["x"])");
    EXPECT_TRUE(doc.ArrayAdd("first", "s", false, true));
    EXPECT_TRUE(doc.ArrayAdd("{\"n\":1}", "s", true));
    EXPECT_EQ(doc.GetText("s", true), R"(["first","x",{"n":1}])");
    EXPECT_FALSE(doc.ArrayAdd("it's", "s")); // the text form escapes nothing
    EXPECT_EQ(doc.GetLength("s"), 3);

    EXPECT_EQ(doc.GetElementText(0, "list"), "a");
    EXPECT_EQ(doc.GetElementText(1, "list"), ""); // plain element reads give strings only
    EXPECT_EQ(doc.GetElementText(1, "list", true), "2");
    EXPECT_EQ(doc.GetElementText(2, "list", true), R"({"k":"v"})");
    EXPECT_EQ(doc.GetElementObject(2, "list")->GetText("k"), "v");
    EXPECT_TRUE(doc.SetElement(1, "list", "two"));
    EXPECT_TRUE(doc.SetElement(3, "list", "true", true));
    EXPECT_EQ(doc.GetText("list", true), R"(["a","two",{"k":"v"},true])");
    EXPECT_TRUE(doc.RemoveElement(0, "list"));
    EXPECT_EQ(doc.GetText("list", true), R"(["two",{"k":"v"},true])");

    JsonObject array;
    ASSERT_TRUE(array.Parse("[[1],[2,3]]"));
    EXPECT_EQ(array.GetLength(), 2);
    EXPECT_EQ(array.GetLength("[1]"), 2);
    EXPECT_EQ(array.GetText("[1]"), "2,3");
}

TEST(JsonObject, RemoveAndClear) {
    JsonObject doc;
    ASSERT_TRUE(doc.Parse(kSample));
    EXPECT_TRUE(doc.Remove("s"));
    EXPECT_EQ(doc.ToJson(), R"({"a":{"b":[1,2,"x"]}})");
    EXPECT_TRUE(doc.Clear());
    EXPECT_EQ(doc.ToJson(), "{}");
}

TEST(JsonObject, Numbers) {
    JsonObject doc;
    struct Case {
        double in;
        const char* text;
    };
    const Case cases[] = {
        {0.1 + 0.2, "0.3"}, // 13 significant digits
        {-0.0, "0"},           {1e21, "1e+21"},        {123456789.125, "123456789.125"},
        {std::nan(""), "NaN"}, {INFINITY, "Infinity"}, {-INFINITY, "-Infinity"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        doc.SetNumber("n", c.in); // its result is the stored value as a boolean: false for 0, NaN
        EXPECT_EQ(doc.GetType("n"), JsonTypeNumber);
        EXPECT_EQ(doc.GetText("n"), c.text);
    }
    ASSERT_TRUE(doc.SetNumber("n", 0.1 + 0.2));
    EXPECT_EQ(doc.GetNumber("n"), 0.3);
    // Globals named the way printf spells the non-finite values change nothing.
    doc.GetEngine()->Run("var inf = 5, nan = 6");
    doc.SetNumber("v", INFINITY);
    EXPECT_EQ(doc.GetText("v"), "Infinity");
    doc.SetNumber("v", std::nan(""));
    EXPECT_EQ(doc.GetText("v"), "NaN");
}

TEST(JsonObject, GetValues) {
    struct Case {
        const char* doc;
        bool recursive;
        TextArray values;
    };
    const Case cases[] = {
        {"{a: '', b: 'x'}", false, {"", "x"}},
        {"{a: 'x', b: ''}", false, {"x"}},
        {"{a: ''}", false, {}},
        {"{a: 1, b: {c: 'x'}, d: null, e: true}", false, {"1", "true"}},
        {"{a: 1, b: {c: 'x'}, d: null, e: true}", true, {"1", "x", "true"}},
        {"[1, [2, [3]], 'z']", true, {"1", "2", "3", "z"}},
        {"'leaf'", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.doc);
        JsonObject doc;
        doc.Parse(c.doc, true);
        TextArray values{"stale"};
        EXPECT_EQ(doc.GetValues(values, "", c.recursive), static_cast<std::int32_t>(c.values.size()));
        EXPECT_EQ(values, c.values);
    }
    // A value holding the separator is split in two; Chinese values come through.
    JsonObject doc;
    ASSERT_TRUE(doc.Parse(G("{a: 'p[2020年7月20日20时0分0秒]q', b: '金'}")));
    TextArray values;
    EXPECT_EQ(doc.GetValues(values), 3);
    EXPECT_EQ(values, (TextArray{"p", "q", G("金")}));
}

TEST(JsonObject, GetKeys) {
    JsonObject doc;
    ASSERT_TRUE(doc.Parse("{a: 1, 'x\\r\\ny': 2, '': 3, f: function () {}}"));
    TextArray names{"stale"};
    // The CRLF inside a name splits it; the empty name last disappears; functions are skipped.
    EXPECT_EQ(doc.GetKeys(names), 3);
    EXPECT_EQ(names, (TextArray{"a", "x", "y"}));
    EXPECT_EQ(doc.GetType("f"), JsonTypeInvalid);
    EXPECT_EQ(doc.GetKeys(names, "missing.x"), 0);
    EXPECT_TRUE(names.empty());
}

TEST(JsonObject, ObjectsFromPathsAreSeparateDocuments) {
    JsonObject doc;
    ASSERT_TRUE(doc.Parse(R"({"o":{"k":"v"},"code":"[1,2]"})"));
    auto part = doc.GetObject("o");
    ASSERT_TRUE(part);
    EXPECT_EQ(part->ToJson(), R"({"k":"v"})");
    EXPECT_NE(part->GetEngine(), doc.GetEngine());
    EXPECT_TRUE(part->SetValue("k", "changed"));
    EXPECT_EQ(doc.GetText("o.k"), "v");
    // A string value loads as the evaluation of its content; a missing one as undefined.
    EXPECT_EQ(doc.GetObject("code")->GetType(), JsonTypeArray);
    EXPECT_EQ(doc.GetObject("missing")->GetType(), JsonTypeNull);
}

TEST(JsonObject, CopiesShareTheEngineUntilOneParses) {
    auto first = std::make_unique<JsonObject>();
    ASSERT_TRUE(first->Parse(kSample));
    JsonObject copy(*first);
    EXPECT_EQ(copy.GetEngine(), first->GetEngine());
    EXPECT_TRUE(copy.SetValue("via", "copy"));
    EXPECT_EQ(first->GetText("via"), "copy");

    JsonObject other;
    other = *first;
    ASSERT_TRUE(other.Parse("{\"mine\": 1}"));
    EXPECT_NE(other.GetEngine(), first->GetEngine());
    EXPECT_EQ(first->GetText("via"), "copy");
    EXPECT_EQ(other.GetText("via"), "");

    first.reset(); // the copy keeps the engine alive
    EXPECT_EQ(copy.GetText("s"), "t");
    EXPECT_TRUE(copy.SetValue("s", "u"));
    EXPECT_EQ(copy.GetText("s"), "u");
}

TEST(JsonObject, ParseStartsOnAFreshInstance) {
    JsonObject doc;
    auto held = doc.GetEngine(); // another holder: the instance must stay as it is
    ASSERT_TRUE(doc.Parse(kSample));
    EXPECT_NE(held, doc.GetEngine());
    EXPECT_EQ(held->EvalText("JSON.stringify(da)"), "{}");
    held.reset();

    doc.GetEngine()->Run("var leftover = 1; da.extra = 2");
    ASSERT_TRUE(doc.Parse(kSample));
    EXPECT_EQ(doc.GetEngine()->EvalText("typeof leftover"), "undefined");
    EXPECT_EQ(doc.GetText("extra"), "");

    JsonObject fresh;
    JsonObject copy(fresh); // shares the untouched instance; parsing one leaves the other alone
    ASSERT_TRUE(copy.Parse(kSample));
    EXPECT_EQ(fresh.ToJson(), "{}");
    EXPECT_EQ(copy.GetText("s"), "t");
}

TEST(JsonObject, ObjectsNeverSeeEachOther) {
    JsonObject one;
    JsonObject two;
    ASSERT_TRUE(one.Parse("{\"who\": \"one\"}"));
    ASSERT_TRUE(two.Parse("{\"who\": \"two\"}"));
    EXPECT_TRUE(one.SetExpression("", "(this.leak = 1, {who: 'one'})"));
    EXPECT_EQ(one.GetText("who"), "one");
    EXPECT_EQ(two.GetText("who"), "two");
    EXPECT_EQ(two.GetEngine()->EvalText("typeof leak"), "undefined");
}

TEST(JsonObject, WithoutEngineEverythingIsEmpty) {
    ScriptLimits starved;
    starved.memoryBytes = 1024; // too small for any heap
    ScriptEngine::LimitsScope scope(starved);
    JsonObject doc;
    EXPECT_FALSE(doc.GetEngine());
    EXPECT_FALSE(doc.Parse(kSample));
    EXPECT_FALSE(doc.GetEngine());
    EXPECT_EQ(doc.GetText("s"), "");
    EXPECT_EQ(doc.ToJson(), "");
    EXPECT_FALSE(doc.Exists(""));
    EXPECT_FALSE(doc.SetValue("a", "b"));
    EXPECT_FALSE(doc.Clear());
    EXPECT_EQ(doc.GetLength(""), 0);
    EXPECT_EQ(doc.GetNumber(""), 0.0);
    EXPECT_EQ(doc.GetType(""), JsonTypeInvalid);
    TextArray list{"stale"};
    EXPECT_EQ(doc.GetKeys(list), 0);
    EXPECT_TRUE(list.empty());
    list = {"stale"};
    EXPECT_EQ(doc.GetValues(list), 0);
    EXPECT_TRUE(list.empty());
    Text path = "a";
    EXPECT_FALSE(doc.ResolvePath(path));
    EXPECT_EQ(path, "da.a");
    auto sub = doc.GetObject("a");
    ASSERT_TRUE(sub);
    EXPECT_FALSE(sub->GetEngine());
}

} // namespace
