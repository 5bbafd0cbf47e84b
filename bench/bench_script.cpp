// The script work of one medal refresh: construct a JsonObject, Parse a medal feed of about
// 25 KB, make the refresh's reads of eight rows (name twice, gold, silver, bronze, count, team
// code: 56 GetText calls) and destroy the object.
//
// The feed is built from the final Paris 2024 table in the shared real data when it is there
// (read at run time), and generated otherwise. Counters: feed_bytes, heap_bytes (the engine
// heap after the reads) and peak_heap_bytes (the most that heap held).

#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "script/JsonObject.h"
#include "script/ScriptEngine.h"
#include "tests/support/RealData.h"
#include "util/Encoding.h"

namespace {

struct Team {
    velk::Text name, code, gold, silver, bronze, count;
};

std::vector<Team> RealTeams() {
    std::vector<Team> teams;
    if (!velk::test::HasRealData())
        return teams;
    const std::string utf8 = velk::test::ReadFileBytes(velk::test::RealDataDir() / "medals" /
                                                       "paris2024_final_remarshaled-by-go_gold_rank.json");
    velk::JsonObject table;
    if (utf8.empty() || !table.Parse(velk::Utf8ToAnsiText(utf8)))
        return teams;
    const int n = table.GetLength("MedalsList");
    for (int i = 0; i < n; ++i) {
        const velk::Text row = "MedalsList[" + std::to_string(i) + "].";
        teams.push_back({table.GetText(row + "Countryname"), table.GetText(row + "Countryid"),
                         table.GetText(row + "Gold"), table.GetText(row + "Silver"),
                         table.GetText(row + "Bronze"), table.GetText(row + "Count")});
    }
    return teams;
}

std::vector<Team> GeneratedTeams() {
    const char* names[] = {"美国", "中国", "日本", "澳大利亚", "法国",
                           "荷兰", "英国", "韩国", "意大利",   "德国"};
    std::vector<Team> teams;
    for (int i = 0; i < 91; ++i) {
        const int gold = 40 - i * 40 / 91;
        teams.push_back({velk::Utf8ToAnsiText(names[i % 10]) + std::to_string(i),
                         "T" + std::to_string(100 + i), std::to_string(gold), std::to_string(gold / 2 + 3),
                         std::to_string(gold / 3 + 5), std::to_string(gold + gold / 2 + 3 + gold / 3 + 5)});
    }
    return teams;
}

// The feed's JSON as the refresh cuts it out of the JSONP wrapper: data.medalsList with the
// members the refresh reads and the further per-team members such feeds carry.
velk::Text BuildFeed() {
    std::vector<Team> teams = RealTeams();
    if (teams.empty())
        teams = GeneratedTeams();
    velk::Text feed = R"({"data":{"total":)" + std::to_string(teams.size()) + R"(,"medalsList":[)";
    for (std::size_t i = 0; i < teams.size(); ++i) {
        const Team& t = teams[i];
        if (i != 0)
            feed += ",";
        feed +=
            R"({"rank":")" + std::to_string(i + 1) + R"(","countryid":")" + t.code + R"(","countryname":")" +
            t.name + R"(","gold":")" + t.gold + R"(","silver":")" + t.silver + R"(","bronze":")" + t.bronze +
            R"(","count":")" + t.count +
            R"(","countryurl":"http://p1.img.cctvpic.com/sports/data/olympic/teamImg/)" + t.code +
            R"(.png","updatetime":"2024-08-11 23:59:59","olyseason":"2024S","serviceid":"2024aoyun","itemcode":"GEN"})";
    }
    feed += R"(],"updatetime":"2024-08-11 23:59:59"}})";
    return feed;
}

const char* kMembers[] = {"countryname", "countryname", "gold", "silver", "bronze", "count", "countryid"};

void BM_MedalRefreshScript(benchmark::State& state) {
    const velk::Text feed = BuildFeed();
    std::size_t heap = 0;
    std::size_t peak = 0;
    for (auto _ : state) {
        velk::JsonObject doc;
        doc.Parse(feed);
        for (int n = 0; n < 8; ++n) {
            const velk::Text prefix = "data.medalsList[" + std::to_string(n) + "].";
            for (const char* member : kMembers) {
                velk::Text value = doc.GetText(prefix + member);
                benchmark::DoNotOptimize(value);
            }
        }
        const auto engine = doc.GetEngine();
        heap = engine ? engine->HeapBytes() : 0;
        peak = engine ? engine->PeakHeapBytes() : 0;
    }
    state.counters["feed_bytes"] = static_cast<double>(feed.size());
    state.counters["heap_bytes"] = static_cast<double>(heap);
    state.counters["peak_heap_bytes"] = static_cast<double>(peak);
}
BENCHMARK(BM_MedalRefreshScript)->Unit(benchmark::kMillisecond);

// The parts on their own: building an engine with the library, and one path read.
void BM_ConstructAndDestroy(benchmark::State& state) {
    for (auto _ : state) {
        velk::JsonObject doc;
        benchmark::DoNotOptimize(doc);
    }
}
BENCHMARK(BM_ConstructAndDestroy)->Unit(benchmark::kMicrosecond);

void BM_GetText(benchmark::State& state) {
    velk::JsonObject doc;
    doc.Parse(BuildFeed());
    for (auto _ : state) {
        velk::Text value = doc.GetText("data.medalsList[3].gold");
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_GetText)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
