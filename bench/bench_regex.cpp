// One hot-search refresh's regular-expression work: a full Search of the entry pattern over a
// 300 KB summary page holding 50 entries, then the ten (title, key) reads the refresh makes.
//
// Compare with Node's RegExp on the same page:
//   bench_regex --dump-page=/tmp/page.html && node bench/node_bench_regex.js /tmp/page.html

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "regex/RegexObject.h"
#include "util/Encoding.h"

namespace {

constexpr const char* kHotSearchPattern = "weibo\\?q=(.*?)\" target=\"_blank\">(.*?)</a>";
constexpr std::size_t kPageBytes = 300 * 1024;
constexpr int kEntries = 50;

// A summary page as code page 936 Text: markup, Chinese filler text and 50 entry rows spread
// evenly through it, the way the real page mixes its list with scripts and cards.
velk::Text BuildPage() {
    const std::string head =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>微博热搜</title>\n"
        "<script>var config = {\"uid\": 0, \"lang\": \"zh-cn\", \"pageid\": \"summary\"};</script>\n"
        "</head><body><table><tbody>\n";
    auto filler = [](int i) {
        return "<div class=\"card-wrap\" data-i=\"" + std::to_string(i) +
               "\"><p class=\"txt\">这是一段用于填充页面的中文文字，包含标点和数字" + std::to_string(i) +
               "。Some ASCII text as well, <a href=\"/u/" + std::to_string(1000 + i) +
               "\">用户</a>.</p></div>\n";
    };
    auto entry = [](int n) {
        return "<tr class=\"\"><td class=\"td-01 ranktop\">" + std::to_string(n) +
               "</td><td class=\"td-02\"><a href=\"/weibo?q=%23%E8%AF%9D%E9%A2%98" + std::to_string(n) +
               "%23&t=31&band_rank=" + std::to_string(n) + "&Refer=top\" target=\"_blank\">热搜话题第" +
               std::to_string(n) + "条</a><span>综艺 " + std::to_string(1000000 + n * 137) +
               "</span></td></tr>\n";
    };
    // Size in code page 936 bytes decides; lay out filler first to learn how much fits.
    const std::size_t perFiller = velk::Utf8ToAnsiText(filler(100)).size();
    const std::size_t perEntry = velk::Utf8ToAnsiText(entry(10)).size();
    const std::size_t fillers = (kPageBytes - head.size() - kEntries * perEntry) / perFiller;
    std::string page = head;
    int nextEntry = 1;
    for (std::size_t i = 0; i < fillers; ++i) {
        page += filler(static_cast<int>(i));
        if (nextEntry <= kEntries && i % (fillers / kEntries) == fillers / kEntries / 2)
            page += entry(nextEntry++);
    }
    while (nextEntry <= kEntries)
        page += entry(nextEntry++);
    page += "</tbody></table></body></html>\n";
    return velk::Utf8ToAnsiText(page);
}

const velk::Text& Page() {
    static const velk::Text page = BuildPage();
    return page;
}

void BM_HotSearchRefresh(benchmark::State& state) {
    const velk::Text& page = Page();
    for (auto _ : state) {
        velk::RegexObject regex; // the refresh builds a fresh object every time
        regex.Search(kHotSearchPattern, page);
        for (int k = 1; k <= 10; ++k) {
            benchmark::DoNotOptimize(regex.SubMatchText(k, 2));
            benchmark::DoNotOptimize(regex.SubMatchText(k, 1));
        }
    }
    velk::RegexObject check;
    check.Search(kHotSearchPattern, page);
    state.counters["matches"] = check.MatchCount();
    state.counters["pageBytes"] = static_cast<double>(page.size());
}
BENCHMARK(BM_HotSearchRefresh)->Unit(benchmark::kMicrosecond);

// The same with the search alone, to show what the reads add.
void BM_HotSearchSearchOnly(benchmark::State& state) {
    const velk::Text& page = Page();
    velk::RegexObject regex;
    for (auto _ : state)
        benchmark::DoNotOptimize(regex.Search(kHotSearchPattern, page));
}
BENCHMARK(BM_HotSearchSearchOnly)->Unit(benchmark::kMicrosecond);

// The same search decoded to UTF-8 first: the way taken by patterns with non-ASCII items (here a
// look-ahead for a Chinese character that changes nothing) and by searches that exhaust the
// limits on bytes.
void BM_HotSearchOnCharacters(benchmark::State& state) {
    const velk::Text& page = Page();
    const velk::Text pattern = velk::Utf8ToAnsiText("(?:(?!中)|)") + kHotSearchPattern;
    for (auto _ : state) {
        velk::RegexObject regex;
        regex.Search(pattern, page);
        for (int k = 1; k <= 10; ++k) {
            benchmark::DoNotOptimize(regex.SubMatchText(k, 2));
            benchmark::DoNotOptimize(regex.SubMatchText(k, 1));
        }
    }
}
BENCHMARK(BM_HotSearchOnCharacters)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // --dump-page=PATH writes the page as UTF-8 for the Node.js comparison and exits.
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--dump-page=", 12) == 0) {
            std::ofstream out(argv[i] + 12, std::ios::binary);
            out << velk::AnsiToUtf8(Page());
            return out ? 0 : 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
