#include "regex/RegexObject.h"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/RealData.h"
#include "util/Encoding.h"

namespace velk {
namespace {

constexpr const char* kHotSearchPattern = "weibo\\?q=(.*?)\" target=\"_blank\">(.*?)</a>";

// Code page 936 Text from a UTF-8 literal.
Text G(const char* utf8) {
    return Utf8ToAnsiText(utf8);
}

std::string Entry(const std::string& key, const std::string& title) {
    return "<td class=\"td-02\"><a href=\"/weibo?q=" + key + "&Refer=top\" target=\"_blank\">" + title +
           "</a></td>\n";
}

// Invariants every state of the object must keep, whatever the search did.
void CheckConsistency(const RegexObject& regex) {
    const std::int32_t count = regex.MatchCount();
    ASSERT_GE(count, 0);
    EXPECT_EQ(regex.MatchText(0), "");
    EXPECT_EQ(regex.MatchText(-1), "");
    EXPECT_EQ(regex.MatchText(count + 1), "");
    EXPECT_EQ(regex.SubMatchText(1, 0), "");
    EXPECT_EQ(regex.SubMatchText(count + 1, 1), "");
    EXPECT_EQ(regex.SubMatchText(1, regex.SubMatchCount() + 1), "");
    if (count == 0) {
        EXPECT_EQ(regex.SubMatchCount(), 0);
    }
    std::int32_t position = 7;
    regex.MatchText(count + 1, &position);
    EXPECT_EQ(position, -2);
}

TEST(RegexObjectTest, EmptyBeforeFirstSearch) {
    RegexObject regex;
    EXPECT_EQ(regex.GetPattern(), "");
    EXPECT_EQ(regex.MatchCount(), 0);
    EXPECT_EQ(regex.Replace("x"), "");
    regex.Reserved();
    CheckConsistency(regex);
}

// The edge cases of the object's description, one row each.
TEST(RegexObjectTest, DescribedEdgeCases) {
    struct Row {
        const char* name;
        Text pattern;
        Text subject;
        bool caseSensitive;
        bool global;
        bool quoteMarker;
        std::int32_t matchCount;
        Text firstMatch;
    };
    const Row rows[] = {
        {"IgnoreCaseByDefault", "abc", "xABCx", false, true, false, 1, "ABC"},
        {"CaseSensitiveFindsNothing", "abc", "xABCx", true, true, false, 0, ""},
        {"DotSkipsCarriageReturn", "a.b", "a\rb", false, true, false, 0, ""},
        {"DotSkipsLineFeed", "a.b", "a\nb", false, true, false, 0, ""},
        {"NotGlobalAtMostOne", "a", "banana", false, false, false, 1, "a"},
        {"QuoteMarker", G("a#引号b"), "xa\"b", false, true, true, 1, "a\"b"},
        {"QuoteMarkerOffIsLiteral", G("a#引号b"), "a\"b", false, true, false, 0, ""},
        {"QuoteMarkerOffLiteralMatch", G("a#引号b"), G("a#引号b"), false, true, false, 1, G("a#引号b")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RegexObject regex;
        EXPECT_TRUE(
            regex.Search(row.pattern, row.subject, row.caseSensitive, true, row.global, row.quoteMarker));
        EXPECT_EQ(regex.MatchCount(), row.matchCount);
        EXPECT_EQ(regex.MatchText(1), row.firstMatch);
        CheckConsistency(regex);
    }
}

TEST(RegexObjectTest, QuoteMarkerShowsInPattern) {
    RegexObject regex;
    regex.Search(G("a#引号b#引号"), "", false, true, true, true);
    EXPECT_EQ(regex.GetPattern(), "a\"b\"");
    regex.Search(G("a#引号b"), "");
    EXPECT_EQ(regex.GetPattern(), G("a#引号b"));
}

TEST(RegexObjectTest, ReplaceGlobalAndFirstOnly) {
    RegexObject regex;
    regex.Search("a", "banana");
    EXPECT_EQ(regex.Replace("x"), "bxnxnx");
    EXPECT_EQ(regex.Replace(), "bnn");
    regex.Search("a", "banana", false, true, false);
    EXPECT_EQ(regex.Replace("x"), "bxnana");
    regex.Search("(\\w+)@(\\w+)", G("甲 ann@example 乙"));
    EXPECT_EQ(regex.Replace(G("$2（$1）")), G("甲 example（ann） 乙"));
}

TEST(RegexObjectTest, Positions) {
    struct Row {
        const char* name;
        Text pattern;
        Text subject;
        std::int32_t match;
        std::int32_t group; // 0: MatchText
        Text text;
        std::int32_t position;
    };
    const Row rows[] = {
        {"SecondMatch", "a", "aXa", 2, 0, "a", 2},
        {"AfterChineseCharacter", "a", G("中a"), 1, 0, "a", 2},
        {"GroupOfSecondMatch", "a(b)", "abab", 2, 1, "b", 3},
        // The group's text first occurs before the place where the group matched.
        {"GroupTextFoundEarlier", "x(a)a(a)", "xaaa", 1, 2, "a", 1},
        {"AfterInvalidBytes", "b", "\xFF\x81\"b", 1, 0, "b", 3},
        {"AfterEuroSign", "c",
         "\x80"
         "c",
         1, 0, "c", 1},
        {"EmptyMatchAtItsStart", "x*", "ab", 2, 0, "", 1},
        {"GroupNotTakingPart", "(a)|b", "b", 1, 1, "", 0},
        {"NoSuchMatch", "a", "a", 2, 0, "", -2},
        {"NoSuchGroup", "a", "a", 1, 1, "", -2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RegexObject regex;
        ASSERT_TRUE(regex.Search(row.pattern, row.subject));
        std::int32_t position = 99;
        const Text text = row.group == 0 ? regex.MatchText(row.match, &position)
                                         : regex.SubMatchText(row.match, row.group, &position);
        EXPECT_EQ(text, row.text);
        EXPECT_EQ(position, row.position);
    }
}

TEST(RegexObjectTest, SubMatchCount) {
    RegexObject regex;
    regex.Search("(a)(b)", "ab");
    EXPECT_EQ(regex.SubMatchCount(), 2);
    regex.Search("(a)(b)", "xy");
    EXPECT_EQ(regex.SubMatchCount(), 0);
    regex.Search("(a)|(b)", "b");
    EXPECT_EQ(regex.SubMatchCount(), 2);
    EXPECT_EQ(regex.SubMatchText(1, 1), "");
    EXPECT_EQ(regex.SubMatchText(1, 2), "b");
}

TEST(RegexObjectTest, RejectedPatternLeavesAnEmptyResult) {
    RegexObject regex;
    ASSERT_TRUE(regex.Search("(a)", "aaa"));
    EXPECT_FALSE(regex.Search("a(b", "ab"));
    EXPECT_EQ(regex.GetPattern(), "a(b");
    EXPECT_EQ(regex.MatchCount(), 0);
    EXPECT_EQ(regex.MatchText(1), "");
    EXPECT_EQ(regex.Replace("x"), "");
    CheckConsistency(regex);
}

TEST(RegexObjectTest, CopiesShareTheOutcome) {
    RegexObject original;
    original.Search("(b)", "abcb");
    RegexObject copy(original);
    original.Search("z", "zz");
    EXPECT_EQ(copy.MatchCount(), 2);
    EXPECT_EQ(copy.SubMatchText(2, 1), "b");
    EXPECT_EQ(copy.Replace("-"), "a-c-");
    EXPECT_EQ(copy.GetPattern(), "(b)");
    RegexObject assigned;
    assigned = copy;
    copy = RegexObject();
    EXPECT_EQ(assigned.MatchCount(), 2);
    EXPECT_EQ(copy.MatchCount(), 0);
    RegexObject moved(std::move(assigned));
    EXPECT_EQ(moved.MatchText(1), "b");
}

// Bytes that are no character of code page 936 must neither hide nor invent ASCII characters:
// the page comes from the network.
TEST(RegexObjectTest, InvalidBytesKeepTheirNeighbours) {
    // A lead byte before a quote, a lone FF and an unfinished lead byte at the end.
    const Text page = "<a href=\"/weibo?q=k\x81\" target=\"_blank\">t\xFF"
                      "1</a>\x81";
    RegexObject regex;
    ASSERT_TRUE(regex.Search(kHotSearchPattern, page));
    ASSERT_EQ(regex.MatchCount(), 1);
    EXPECT_EQ(regex.SubMatchText(1, 1), "k\x81"); // the original bytes, not a substitute
    EXPECT_EQ(regex.SubMatchText(1, 2), "t\xFF"
                                        "1");
    // An invalid pattern byte is a character of its own, not a quantifier.
    EXPECT_TRUE(regex.Search("a\xFF", "a"));
    EXPECT_EQ(regex.MatchCount(), 0);
    // The text ends at its first zero byte.
    EXPECT_TRUE(regex.Search("b", std::string("a\0b", 3)));
    EXPECT_EQ(regex.MatchCount(), 0);
}

// A double-byte character whose second byte is an ASCII letter is one character: matching on
// bytes would find the "@" (40) of 丂 (81 40) or fold case inside characters.
TEST(RegexObjectTest, MatchesCharactersNotBytes) {
    RegexObject regex;
    regex.Search("@|a", G("丂乤")); // 81 40, 81 61
    EXPECT_EQ(regex.MatchCount(), 0);
    regex.Search("^.$", G("中"));
    EXPECT_EQ(regex.MatchCount(), 1);
    regex.Search("[^a]", G("中a文"));
    EXPECT_EQ(regex.MatchText(2), G("文"));
}

TEST(RegexObjectTest, HotSearchPageAsTheRefreshReadsIt) {
    std::string page = "<html>\n";
    for (int k = 1; k <= 12; ++k)
        page += Entry("%23k" + std::to_string(k) + "%23", "标题" + std::to_string(k) + " &amp;");
    RegexObject regex;
    EXPECT_TRUE(regex.Search(kHotSearchPattern, G(page.c_str())));
    EXPECT_EQ(regex.MatchCount(), 12);
    for (int k = 1; k <= 10; ++k) {
        EXPECT_EQ(regex.SubMatchText(k, 1), "%23k" + std::to_string(k) + "%23&Refer=top");
        EXPECT_EQ(regex.SubMatchText(k, 2), G(("标题" + std::to_string(k) + " &amp;").c_str()));
    }
}

TEST(RegexObjectTest, RealHotSearchPagesHaveNoDesktopEntries) {
    if (!test::HasRealData())
        GTEST_SKIP() << "no real data";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(test::RealDataDir() / "weibo")) {
        SCOPED_TRACE(entry.path().filename().string());
        RegexObject regex;
        EXPECT_TRUE(regex.Search(kHotSearchPattern, test::ReadFileBytes(entry.path())));
        EXPECT_EQ(regex.MatchCount(), 0);
        EXPECT_EQ(regex.SubMatchText(1, 2), "");
        ++files;
    }
    EXPECT_GT(files, 0);
}

// Hostile or huge input ends with a defined result: a failed search or no match, never a hang.
TEST(RegexObjectTest, BoundedWorkOnHostileInput) {
    RegexObject regex;
    // Exponential backtracking: runs into the match limit and fails the search.
    EXPECT_FALSE(regex.Search("(x+x+)+y", std::string(40, 'x') + "-y"));
    EXPECT_EQ(regex.MatchCount(), 0);
    CheckConsistency(regex);

    // Thousands of groups: 2000 still match; 3000 are beyond what the JIT compiles and the
    // interpreter's memory limit, which fails the search rather than letting it grow.
    std::string groups;
    for (int i = 0; i < 2000; ++i)
        groups += "(a)";
    EXPECT_TRUE(regex.Search(groups, std::string(2000, 'a')));
    EXPECT_EQ(regex.SubMatchCount(), 2000);
    EXPECT_EQ(regex.SubMatchText(1, 2000), "a");
    for (int i = 0; i < 1000; ++i)
        groups += "(a)";
    if (regex.Search(groups, std::string(3000, 'a'))) {
        EXPECT_EQ(regex.SubMatchText(1, 3000), "a");
    }
    CheckConsistency(regex);
    // Too deep a nesting and too many groups are rejected.
    EXPECT_FALSE(regex.Search(std::string(1000, '(') + "a" + std::string(1000, ')'), "a"));
    std::string tooMany;
    for (int i = 0; i < 70000; ++i)
        tooMany += "()";
    EXPECT_FALSE(regex.Search(tooMany, "a"));
    CheckConsistency(regex);
}

// One long line of "weibo?q=" with no closing quote: every start position scans to the end of the
// line, so the work grows with the square of its length. The search must end by its deadline
// with a failure (or, on a machine fast enough for the shorter line, with the one real entry).
TEST(RegexObjectTest, QuadraticLineEndsTheSearch) {
    struct Case {
        const char* name;
        std::size_t lineBytes;
        const char* prefix; // put before the hot-search pattern
        bool mayFinish;
    };
    const Case cases[] = {
        {"160 KB", 160u * 1024, "", true},
        {"1 MB", 1024u * 1024, "", false},
        // A non-ASCII look-ahead that changes nothing: the search runs on characters.
        {"1 MB on characters", 1024u * 1024, "(?:(?!中)|)", false},
        // The entry pattern as the second of two alternatives.
        {"1 MB second alternative", 1024u * 1024, "zzz|", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string line;
        while (line.size() < c.lineBytes)
            line += "weibo?q=";
        const std::string page = line + "\n" + Entry("k", "t");
        const Text pattern = G(c.prefix) + kHotSearchPattern;
        RegexObject regex;
        if (regex.Search(pattern, page)) {
            EXPECT_TRUE(c.mayFinish);
            EXPECT_EQ(regex.MatchCount(), 1);
            EXPECT_EQ(regex.SubMatchText(1, 2), "t");
        } else {
            EXPECT_EQ(regex.MatchCount(), 0);
            EXPECT_EQ(regex.Replace("x"), "");
            EXPECT_EQ(regex.GetPattern(), pattern);
        }
        CheckConsistency(regex);
    }
}

TEST(RegexObjectTest, LargeSubjects) {
    RegexObject regex;
    // 50 MB without an entry, then one long line full of unfinished links.
    const std::string big(50u * 1024 * 1024, 'a');
    EXPECT_TRUE(regex.Search(kHotSearchPattern, big));
    EXPECT_EQ(regex.MatchCount(), 0);
    std::string line;
    while (line.size() < 4u * 1024 * 1024)
        line += "<a href=\"/weibo?q=xx\" target=\"_blank\">";
    const bool searched = regex.Search(kHotSearchPattern, line);
    EXPECT_EQ(regex.MatchCount(), 0);
    (void)searched; // either no match or a search given up: both are defined results
    CheckConsistency(regex);

    // More matches than can be kept (here 5000 matches of 500 groups each) fail the search.
    std::string manyGroups;
    for (int i = 0; i < 500; ++i)
        manyGroups += "(a)";
    EXPECT_FALSE(regex.Search(manyGroups, std::string(500u * 5000, 'a')));
    EXPECT_EQ(regex.MatchCount(), 0);

    // A long lazy span inside one entry is matched whole (on bytes the span would need more JIT
    // stack than allowed, so this also takes the way back to matching on characters).
    const std::string title(1024 * 1024, 'x');
    ASSERT_TRUE(regex.Search(kHotSearchPattern, Entry("k", title)));
    EXPECT_EQ(regex.SubMatchText(1, 2).size(), title.size());
    // A subject full of Chinese characters maps positions back to bytes.
    std::string chinese;
    for (int i = 0; i < 100000; ++i)
        chinese += "中文";
    chinese += "z";
    std::int32_t position = 0;
    ASSERT_TRUE(regex.Search("z", G(chinese.c_str())));
    EXPECT_EQ(regex.MatchText(1, &position), "z");
    EXPECT_EQ(position, 400000);
}

TEST(RegexObjectTest, ObjectsOnSeparateThreads) {
    std::string page;
    for (int k = 1; k <= 50; ++k)
        page += Entry("k" + std::to_string(k), "热搜" + std::to_string(k));
    const Text subject = G(page.c_str());
    std::vector<std::thread> threads;
    std::vector<int> counts(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                RegexObject regex;
                regex.Search(kHotSearchPattern, subject);
                if (regex.SubMatchText(50, 1) == "k50&Refer=top")
                    ++counts[t];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(counts, std::vector<int>(4, 20));
}

} // namespace
} // namespace velk
