// Differential tests: RegexObject against ECMAScript's own RegExp as Node.js runs it. The table
// is sent to tests/regex/node_oracle.js at test time (skipped when Node.js is not installed), so
// the expectations always come from the engine itself rather than from a stored copy.

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "regex/RegexObject.h"
#include "tests/support/RealData.h"
#include "util/Encoding.h"

namespace velk {
namespace {

constexpr const char* kHotSearchPattern = "weibo\\?q=(.*?)\" target=\"_blank\">(.*?)</a>";
constexpr const char* kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

// A row of the table. Texts are UTF-8 here and code page 936 when they reach RegexObject.
struct OracleCase {
    const char* name;
    std::string pattern;
    std::string subject;
    bool caseSensitive = false;
    bool multiline = true;
    bool global = true;
    const char* replacement = nullptr; // also compare Replace when set
};

const char* const kHotSearchPage =
    "<tr><td class=\"td-01 ranktop\"></td>\r\n"
    "<td class=\"td-02\"><a href=\"/weibo?q=%23置顶%23&Refer=new_time\" "
    "target=\"_blank\">置顶话题</a></td>\r\n"
    "<td class=\"td-02\"><a href=\"/weibo?q=%23abc%23&t=31&band_rank=1&Refer=top\" target=\"_blank\">热搜 "
    "&amp; "
    "一</a>\r\n"
    "<a href=\"/weibo?q=split\" target=\"_blank\">line\nbroken</a>\n"
    "<A HREF=\"/WEIBO?Q=upper\" TARGET=\"_BLANK\">大写</A>\n"
    "<a href=\"/weibo?q=two\" target=\"_blank\">第一</a><a href=\"/weibo?q=three\" "
    "target=\"_blank\">第二</a>\n"
    "<a href=\"/weibo?q=empty\" target=\"_blank\"></a> <a href=\"/weibo?q=x\" target=\"_blank\">图<img "
    "src=\"a.png\"/></a>";

std::vector<OracleCase> Cases() {
    return {
        // The two patterns the program uses.
        {"HotSearchPage", kHotSearchPattern, kHotSearchPage, false, true, true, "[$1=$2]"},
        {"HotSearchNoEntries", kHotSearchPattern, "<html><body>Sina Visitor System</body></html>"},
        {"CharsetQuoted", kCharsetPattern,
         "<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"},
        {"CharsetUnquoted", kCharsetPattern, "<meta charset=utf-8>"},
        {"CharsetCapitals", kCharsetPattern,
         "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=UTF-8\">"},
        {"CharsetAcrossLines", kCharsetPattern,
         "<meta http-equiv=\"Content-Type\"\n content=\"charset=utf-8\">"},
        {"CharsetGbkAfterChinese", kCharsetPattern, "<title>新闻</title><meta charset='gbk' />"},
        {"CharsetEmptyName", kCharsetPattern, "<meta charset=\"\">"},
        // Case.
        {"IgnoreCaseDefault", "abc", "xABCx abc"},
        {"CaseSensitive", "abc", "xABCx abc", true},
        {"IgnoreCaseFullWidthAndGreek", "ａｂ|α", "ＡＢ Α ａｂ"},
        {"IgnoreCaseClass", "[a-c]+", "xAbCx"},
        // Line breaks, "^" and "$".
        {"DotNoLineBreaks", "a.b", "a\rb a\nb a b a\tb"},
        {"MultilineAnchors", "^\\w+$", "one\ntwo\r\nthree\rfour"},
        {"MultilineStartsEveryLine", "^", "a\r\nb\n", false, true, true, "<>"},
        {"MultilineEnds", "$", "a\r\nb\n", false, true, true, "<>"},
        {"SingleLineAnchors", "^\\w+$", "one\ntwo", false, false},
        {"SingleLineDollarNotBeforeFinalNewline", "a$", "a\n", false, false},
        {"MultilineDollarBeforeNewline", "a$", "a\n"},
        // Lazy and greedy quantifiers.
        {"LazyTags", "<(.+?)>", "<a><b>x</b>"},
        {"GreedyTags", "<(.+)>", "<a><b>x</b>"},
        {"LazyBraces", "a{2,3}?", "aaaaaaa"},
        {"BraceQuantifiers", "x{2}|y{1,}|z{0,1}q", "xxx yyy q zq"},
        {"LiteralBraces", "a{,2}|{x}|b{", "a{,2} {x} b{"},
        // Look-ahead.
        {"LookAhead", "\\w+(?=,)", "one,two;three,"},
        {"NegativeLookAhead", "\\b(?!un)\\w+", "undo redo unto"},
        {"LookAheadCapture", "(?=(\\w))\\w\\w", "abcd"},
        {"NegativeLookAheadCapture", "(?!(a)b)\\w", "ab ac"},
        // Alternation and groups that do not take part.
        {"AlternationOrder", "cat|category", "category"},
        {"GroupsNotTakingPart", "(a)|(b)|(c)?d", "abd", false, true, true, "[$1|$2|$3]"},
        {"NonCapturing", "(?:ab)+(c)", "ababc"},
        {"NestedGroups", "((a)(b(c)))", "abc"},
        // Back-references.
        {"BackReference", "(\\w)\\1", "aabbcd"},
        {"BackReferenceIgnoringCase", "(a)\\1", "aA"},
        {"ForwardReferenceMatchesEmpty", "\\1(a)", "aa"},
        {"UnsetReferenceMatchesEmpty", "(a)|\\1b", "b"},
        {"OctalWhenNoSuchGroup", "(a)\\11", "a\tq"},
        {"EightAndNineAreDigits", "\\8\\9", "89"},
        // Escapes.
        {"UnicodeAndHexEscapes", "\\u0041\\x42\\u4e2d", "AB中"},
        {"IncompleteEscapesAreLetters", "\\u12\\xg", "u12xg"},
        {"ControlEscape", "\\cJ", "a\nb"},
        {"ClassBackspaceAndVerticalTab", "[\\b]\\v", "\b\v"},
        {"IdentityEscapes", "\\q\\.\\/", "q./"},
        {"BackslashCNotLetter", "\\c1", "\\c1"},
        {"DigitsWordsSpaces", "\\d+\\.\\d+\\s\\w+", "pi 3.14 approx_1"},
        {"WordBoundaryAsciiOnly", "\\b\\w+\\b", "中文abc中 def"},
        {"IdeographicSpaceIsBlank", "a\\sb|c\\Sd", "a　b c　d c中d"},
        {"NonSpaceInClass", "[\\S]+", "ab　cd"},
        {"ClassWithBracketAndDash", "[[\\]-]+|[a-\\d]+", "[]-x a-1"},
        {"EmptyAndFullClasses", "a[]b|c[^]d", "ab c\nd"},
        {"NegatedClassWithLineBreak", "a[^x]b", "a\nb"},
        {"ClosingBracketOutsideClass", "a]b}", "a]b}"},
        // Chinese text.
        {"ChineseDot", "热.", "热搜热门热"},
        {"ChineseRange", "[一-龥]+", "abc中文def汉字"},
        {"ChineseGroupsAndReplace", "(微博)(热搜)", "微博热搜 微博", false, true, true, "$2$1"},
        // Characters whose second byte is an ASCII character: 丂 81 40 "@", 乕 81 5B "[", 乗 81 5C
        // "\\", 乤 81 61 "a", 丄 81 41 "A", 亀 81 77 "w", 癢 B0 57 "W".
        {"SecondBytesAreNotAscii", "a|@|\\\\|\\[|w", "丂乤乗乕亀癢x a"},
        {"SecondBytesDoNotFoldCase", "A|w", "乤癢"},
        {"DotTakesWholeCharacters", "a.b|c..d", "a乤b c乤d c乤乤d"},
        {"NegatedClassTakesWholeCharacters", "x[^a]y|[^a ]+", "x乤y 乤乤"},
        {"NonWordTakesWholeCharacters", "\\W\\w", "乤a"},
        {"IdeographicSpaceBetweenTrickyCharacters", "\\S+\\s\\S+", "乤　乗"},
        {"NonSpaceRunsStopAtIdeographicSpace", "\\S+", "a　b乤　乗 c"},
        {"LongRunWithoutSingleByteAnchors", "a", "乤乤乤乤乤乤a乤"},
        {"HotSearchTrickyCharacters", kHotSearchPattern,
         "<a href=\"/weibo?q=亀乗\" target=\"_blank\">乕乤\"</a><a href=\"/weibo?q=癢\" "
         "target=\"_blank\">丂</a>"},
        // Empty matches and the global flag.
        {"EmptyMatchesEverywhere", "x*", "axbx", false, true, true, "-"},
        {"EmptyAlternativeFirst", "|b", "b"},
        {"EmptyMatchesBetweenChineseCharacters", "", "中文", false, true, true, "|"},
        {"NotGlobal", "a", "banana", false, true, false, "x"},
        // Replacement expansion.
        {"ReplaceAllForms", "(b)(c)?", "abcab", false, true, true, "[$&|$1|$2|$`|$'|$$|$3|$0|$10|$01]"},
        {"ReplaceTwoDigitGroups", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)", "abcdefghijk", false, true, true,
         "$11$10$1$12"},
        {"ReplaceLoneDollar", "b", "abc", false, true, true, "$"},
        // Former bugs: PCRE2 10.42 quirks the translation works around, found by random
        // differential runs.
        {"QuantifiedEmptyClass", "x[]*y|[]??z", "xy z"},
        {"ReferenceInsideItsOwnGroup", "(a\\1){1,2}|(\\2{1,2})", "aa"},
        {"QuantifiedForwardReference", "\\2{2}(a)(b)", "ab"},
        {"LookAheadBeforeOptionalLiteral", "(?=a)a?a", "a"},
        // Patterns both engines reject.
        {"RejectUnclosedGroup", "a(b", "ab"},
        {"RejectUnopenedGroup", "a)", "a)"},
        {"RejectNothingToRepeat", "*a", "a"},
        {"RejectDoubleQuantifier", "a**", "aa"},
        {"RejectPossessive", "a*+", "aa"},
        {"RejectBadRange", "a{2,1}", "aa"},
        {"RejectReversedClassRange", "[z-a]", "a"},
        {"RejectUnclosedClass", "[ab", "a"},
        {"RejectTrailingBackslash", "ab\\", "ab"},
        {"RejectInlineOption", "(?i)a", "a"},
        {"RejectQuantifiedAnchor", "^*a", "a"},
    };
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out.empty() ? "-" : out;
}

// Node.js, or empty when it is not installed.
std::string FindNode() {
    if (const char* env = std::getenv("VELK_NODE"); env && *env)
        return env;
    for (const char* candidate : {"/usr/bin/node", "/usr/local/bin/node", "/usr/bin/nodejs"}) {
        if (::access(candidate, X_OK) == 0)
            return candidate;
    }
    return {};
}

// Runs the oracle script over the rows, one output line per row.
std::vector<std::string> RunOracle(const std::string& node, const std::vector<OracleCase>& cases) {
    const std::filesystem::path input =
        std::filesystem::temp_directory_path() / ("velk_regex_oracle_" + std::to_string(::getpid()) + ".txt");
    {
        std::ofstream out(input, std::ios::binary);
        for (const OracleCase& c : cases) {
            std::string flags =
                std::string(c.global ? "g" : "") + (c.caseSensitive ? "" : "i") + (c.multiline ? "m" : "");
            out << (flags.empty() ? "-" : flags) << '\t' << Hex(c.pattern) << '\t' << Hex(c.subject) << '\t'
                << (c.replacement ? Hex(c.replacement) : "-") << '\n';
        }
    }
    const std::string script = std::string(VELK_SOURCE_DIR) + "/tests/regex/node_oracle.js";
    const std::string command = "'" + node + "' '" + script + "' < '" + input.string() + "'";
    std::vector<std::string> lines;
    struct PipeCloser {
        void operator()(FILE* f) const { pclose(f); }
    };
    std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
    if (pipe) {
        std::string all;
        char buffer[4096];
        while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe.get()))
            all.append(buffer, n);
        std::istringstream stream(all);
        for (std::string line; std::getline(stream, line);)
            lines.push_back(line);
    }
    std::filesystem::remove(input);
    return lines;
}

std::string Field(const std::string& utf8) {
    return "x" + (utf8.empty() ? std::string() : Hex(utf8));
}

// The row RegexObject gives, in the oracle's format. A group that did not take part reads as an
// empty Text here, so the oracle's "-" is compared as empty.
std::string OurRow(const OracleCase& c) {
    RegexObject regex;
    if (!regex.Search(Utf8ToAnsiText(c.pattern), Utf8ToAnsiText(c.subject), c.caseSensitive, c.multiline,
                      c.global))
        return "ERR";
    std::string row = "OK";
    for (std::int32_t m = 1; m <= regex.MatchCount(); ++m) {
        row += ' ' + Field(AnsiToUtf8(regex.MatchText(m)));
        for (std::int32_t g = 1; g <= regex.SubMatchCount(); ++g)
            row += ',' + Field(AnsiToUtf8(regex.SubMatchText(m, g)));
    }
    row += '\t';
    row += c.replacement ? Field(AnsiToUtf8(regex.Replace(Utf8ToAnsiText(c.replacement)))) : "-";
    return row;
}

std::string NormaliseOracleRow(std::string row) {
    // "-" for a group that did not take part becomes the empty field "x".
    for (std::size_t at = 0; (at = row.find('-', at)) != std::string::npos;) {
        const bool alone =
            (at == 0 || row[at - 1] == ',' || row[at - 1] == ' ') &&
            (at + 1 == row.size() || row[at + 1] == ',' || row[at + 1] == ' ' || row[at + 1] == '\t');
        const bool replacedField = at > 0 && row[at - 1] == '\t';
        if (alone && !replacedField)
            row[at] = 'x';
        ++at;
    }
    return row;
}

// The row with every "x<hex>" field written out as a quoted, escaped text, for failure messages
// a person can read.
std::string Readable(const std::string& row) {
    auto hexValue = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    std::string out;
    for (std::size_t i = 0; i < row.size();) {
        const bool fieldStart =
            row[i] == 'x' && (i == 0 || row[i - 1] == ' ' || row[i - 1] == ',' || row[i - 1] == '\t');
        if (!fieldStart) {
            out.push_back(row[i++]);
            continue;
        }
        out.push_back('"');
        for (++i; i + 1 < row.size() && std::isxdigit(static_cast<unsigned char>(row[i])); i += 2) {
            const char c = static_cast<char>(hexValue(row[i]) * 16 + hexValue(row[i + 1]));
            if (c == '\n')
                out += "\\n";
            else if (c == '\r')
                out += "\\r";
            else if (c == '"' || c == '\\')
                out.append("\\").push_back(c);
            else
                out.push_back(c);
        }
        out.push_back('"');
    }
    return out;
}

class RegexOracleTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_node = FindNode();
        if (m_node.empty())
            GTEST_SKIP() << "Node.js is not installed; the differential tests need it";
    }
    std::string m_node;
};

TEST_F(RegexOracleTest, TableMatchesNodeRegExp) {
    const std::vector<OracleCase> cases = Cases();
    const std::vector<std::string> expected = RunOracle(m_node, cases);
    ASSERT_EQ(expected.size(), cases.size()) << "the oracle script did not answer every row";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(Readable(OurRow(cases[i])), Readable(NormaliseOracleRow(expected[i])));
        // Plain ASCII patterns run on the subject's bytes; a non-ASCII item that changes nothing
        // makes the same search run on characters, which must agree as well.
        OracleCase onCharacters = cases[i];
        onCharacters.pattern = "(?:(?!中)|)(?:" + cases[i].pattern + ")";
        EXPECT_EQ(Readable(OurRow(onCharacters)), Readable(NormaliseOracleRow(expected[i])))
            << "on characters";
    }
}

// The charset pattern over the first 1024 bytes of real pages, as the response decoding runs it.
TEST_F(RegexOracleTest, CharsetPatternOnRealPages) {
    if (!test::HasRealData())
        GTEST_SKIP() << "no real data";
    struct Page {
        const char* file;
        const char* charset; // group 1 of match 1, empty when nothing matches
    };
    const Page pages[] = {
        {"gbk__8.baidu.com-app-index.html", "gbk"},
        {"gb2312__bbs.sjtu.edu.cn-article-not-found.html", "gb2312"},
        {"gb2312__news.baidu.com-licence.html", "gb2312"},
        {"GB2312-uppercase__www.people.com.cn.html", "GB2312"},
        {"utf-8__trust.baidu.com.html", "utf-8"},
        {"utf-8-unquoted__lingxi.baidu.com.html", "utf-8"},
        {"UTF-8-uppercase__passport.baidu.com-app.html", "UTF-8"},
        {"utf-8-BOM-no-meta__www.sjtu.edu.cn.html", ""},
        {"utf-8-declared-but-invalid-bytes__news.baidu.com-guoji.html", "utf-8"},
        {"big5__servo-test-server-big5.html", "big5"},
        {"gb2312__servo-test-server-gb2313.html", "gb2312"},
        {"Big5-declared-but-utf8-bytes__ash-big5-code-table.html", "Big5"},
    };
    std::vector<OracleCase> cases;
    for (const Page& page : pages) {
        const Text head = test::ReadFileBytes(test::RealDataDir() / "charset" / page.file).substr(0, 1024);
        ASSERT_FALSE(head.empty()) << page.file;
        RegexObject regex;
        EXPECT_TRUE(regex.Search(kCharsetPattern, head)) << page.file;
        EXPECT_EQ(regex.SubMatchText(1, 1), page.charset) << page.file;
        cases.push_back({page.file, kCharsetPattern, AnsiToUtf8(head)});
    }
    const std::vector<std::string> expected = RunOracle(m_node, cases);
    ASSERT_EQ(expected.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        // The UTF-8 handed to Node is the same characters the engine matched on.
        EXPECT_EQ(Readable(OurRow(cases[i])), Readable(NormaliseOracleRow(expected[i])));
    }
}

// Where this engine and Node's RegExp part ways, on purpose or by PCRE2's nature.
TEST(RegexDialectTest, KnownDifferencesFromNode) {
    RegexObject regex;
    // ECMAScript 3 has no look-behind, named groups or inline options; Node accepts the first
    // two. They are rejected as the dialect's own engine rejects them.
    EXPECT_FALSE(regex.Search("(?<=a)b", "ab"));
    EXPECT_FALSE(regex.Search("(?<name>a)", "a"));
    EXPECT_FALSE(regex.Search("(?i)a", "a"));
    EXPECT_FALSE(regex.Search("(*UTF)a", "a"));
    // A group inside a repeated group keeps its last value when a later repetition does not
    // take part (PCRE2, Perl); ECMAScript clears it, so Node reports no group 2 here.
    ASSERT_TRUE(regex.Search("((a)|b)+", "ab"));
    EXPECT_EQ(regex.SubMatchText(1, 1), "b");
    EXPECT_EQ(regex.SubMatchText(1, 2), "a");
    // A repetition whose body matched the empty string ends the loop (PCRE2, Perl); ECMAScript
    // rejects that iteration and backtracks into the body, so Node matches "a" here.
    ASSERT_TRUE(regex.Search("(?:b??|a)*", "a"));
    EXPECT_EQ(regex.MatchText(1), "");
}

} // namespace
} // namespace velk
