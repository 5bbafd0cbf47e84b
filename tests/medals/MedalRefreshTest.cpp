#include "medals/MedalBoard.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "medals/FlagPictureSink.h"
#include "medals/MedalTitleSink.h"
#include "tests/support/LoopbackServer.h"
#include "util/ImageConverter.h"
#include "util/MessagePump.h"

using namespace velk;
using velk::test::LoopbackServer;
using velk::test::ServerReply;
using velk::test::ServerRequest;

namespace {

const std::string kFlagPath = "/sports/data/olympic/teamImg/";
// "中国" in code page 936, as the feed's "\u4e2d\u56fd" must come out.
const Text kChina = "\xD6\xD0\xB9\xFA";

// One record of the feed, each member as its JSON text; std::nullopt leaves the member out.
struct Team {
    std::optional<std::string> name;
    std::optional<std::string> gold = "\"1\"";
    std::optional<std::string> silver = "\"2\"";
    std::optional<std::string> bronze = "\"3\"";
    std::optional<std::string> count = "\"6\"";
    std::optional<std::string> code = "\"T\"";
};

std::string Member(const char* key, const std::optional<std::string>& value) {
    return value ? std::string("\"") + key + "\":" + *value + "," : std::string();
}

// The feed in its real shape: lower-case members, counts as JSON strings, "total" a number.
std::string Feed(const std::vector<Team>& teams) {
    std::string list;
    for (const Team& t : teams) {
        const std::string record = Member("countryname", t.name) + Member("gold", t.gold) +
                                   Member("silver", t.silver) + Member("bronze", t.bronze) +
                                   Member("count", t.count) + Member("countryid", t.code) + "\"rank\":\"1\"";
        list += (list.empty() ? "{" : ",{") + record + "}";
    }
    return "banomedals({\"data\":{\"medalsList\":[" + list + "],\"total\":" + std::to_string(teams.size()) +
           "}});";
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}
std::string TwoDigits(int i) {
    return (i < 10 ? "0" : "") + std::to_string(i);
}

// Teams "Team01".."TeamNN" with codes "C01".."CNN", gold 40 - index, then 7, 8 and 50.
std::vector<Team> Teams(int count) {
    std::vector<Team> teams;
    for (int i = 1; i <= count; ++i)
        teams.push_back(Team{Quoted("Team" + TwoDigits(i)), Quoted(std::to_string(40 - i)), Quoted("7"),
                             Quoted("8"), Quoted("50"), Quoted("C" + TwoDigits(i))});
    return teams;
}

using Cell = std::pair<std::int32_t, MedalTitleSink::Column>;

// Serves the feed (and 404 for every flag) and records what the refresh hands to the window.
class MedalRefresh : public ::testing::Test {
protected:
    // The image plugins belong to the thread that made them; the window makes them on the
    // interface thread before any flag thread starts, and so does this test.
    static void SetUpTestSuite() { ImageConverter::Prepare(); }

    void SetUp() override {
        MedalTitleSink::Install([this](std::int32_t row, MedalTitleSink::Column column, const Text& title) {
            std::lock_guard lock(m_mutex);
            m_titles[{row, column}] = title;
            ++m_titleWrites;
        });
        FlagPictureSink::Install([this](std::int32_t row, const Bytes&) {
            std::lock_guard lock(m_mutex);
            m_flagRows.push_back(row);
            m_changed.notify_all();
        });
        MedalBoard::SetMedalHost(m_feedServer.HostPort());
        MedalBoard::SetFlagHost(m_flagServer.HostPort());
    }
    void TearDown() override {
        MedalTitleSink::Install(nullptr);
        FlagPictureSink::Install(nullptr);
        MessagePump::Install(nullptr);
        MedalBoard::SetMedalHost(m_savedMedalHost);
        MedalBoard::SetFlagHost(m_savedFlagHost);
    }

    void Serve(const std::string& body,
               const std::string& headers = "Content-Type: application/javascript\r\n") {
        std::lock_guard lock(m_mutex);
        m_reply = ServerReply::Http(200, body, headers);
    }
    void ServeReply(ServerReply reply) {
        std::lock_guard lock(m_mutex);
        m_reply = std::move(reply);
    }

    // Runs one refresh and waits for the flags of the `flags` rows it should have started.
    void RefreshExpectingFlags(std::size_t flags) {
        {
            std::lock_guard lock(m_mutex);
            m_flagRows.clear();
        }
        MedalBoard::Refresh();
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_flagRows.size() >= flags; });
    }

    std::map<Cell, Text> Titles() {
        std::lock_guard lock(m_mutex);
        return m_titles;
    }
    std::set<std::int32_t> RowsWritten() {
        std::set<std::int32_t> rows;
        for (const auto& [cell, title] : Titles())
            rows.insert(cell.first);
        return rows;
    }
    std::multiset<std::int32_t> FlagRows() {
        std::lock_guard lock(m_mutex);
        return {m_flagRows.begin(), m_flagRows.end()};
    }
    std::multiset<std::string> FlagTargets() const {
        std::multiset<std::string> targets;
        for (const ServerRequest& request : m_flagServer.Requests())
            targets.insert(request.target);
        return targets;
    }
    void ExpectRow(std::int32_t row, const Text& name, const Text& gold, const Text& silver,
                   const Text& bronze, const Text& total) {
        const auto titles = Titles();
        auto at = [&](MedalTitleSink::Column column) {
            const auto it = titles.find({row, column});
            return it == titles.end() ? Text("<untouched>") : it->second;
        };
        EXPECT_EQ(at(MedalTitleSink::Name), name) << "row " << row;
        EXPECT_EQ(at(MedalTitleSink::Gold), gold) << "row " << row;
        EXPECT_EQ(at(MedalTitleSink::Silver), silver) << "row " << row;
        EXPECT_EQ(at(MedalTitleSink::Bronze), bronze) << "row " << row;
        EXPECT_EQ(at(MedalTitleSink::Total), total) << "row " << row;
    }

    const Text m_savedMedalHost = MedalBoard::MedalHost();
    const Text m_savedFlagHost = MedalBoard::FlagHost();
    std::mutex m_mutex;
    std::condition_variable m_changed;
    ServerReply m_reply = ServerReply::Http(404, "");
    std::map<Cell, Text> m_titles;
    int m_titleWrites = 0;
    std::vector<std::int32_t> m_flagRows;
    LoopbackServer m_feedServer{[this](const ServerRequest&) {
        std::lock_guard lock(m_mutex);
        return m_reply;
    }};
    LoopbackServer m_flagServer{[](const ServerRequest&) { return ServerReply::Http(404, "Not Found"); }};
};

TEST_F(MedalRefresh, TwelveTeamsFillRowsOneToEightAndStartEightFlagThreads) {
    Serve(Feed(Teams(12)));
    RefreshExpectingFlags(8);

    const auto requests = m_feedServer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/olympic/getOlyMedals?serviceId=pcocean&itemcode=GEN" +
                                      std::string(31, '-') + "&t=jsonp&cb=banomedals");
    EXPECT_EQ(requests[0].Header("Host"), m_feedServer.HostPort());

    for (int row = 1; row <= 8; ++row)
        ExpectRow(row, "Team" + TwoDigits(row), std::to_string(40 - row), "7", "8", "50");
    EXPECT_EQ(RowsWritten(), (std::set<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(FlagRows(), (std::multiset<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    // Each row's flag thread got that row's code, and no team after the eighth got one.
    std::multiset<std::string> codes;
    for (int row = 1; row <= 8; ++row)
        codes.insert(kFlagPath + "C" + TwoDigits(row) + ".png");
    EXPECT_EQ(FlagTargets(), codes);
}

TEST_F(MedalRefresh, ShorterFeedLeavesTheRowsBelowItAsTheEarlierRefreshLeftThem) {
    Serve(Feed(Teams(8)));
    RefreshExpectingFlags(8);
    Serve(Feed(
        {{"\"\\u4e2d\\u56fd\"", "\"38\"", "\"32\"", "\"18\"", "\"88\"", "\"CHN\""}, {"\"B\""}, {"\"C\""}}));
    RefreshExpectingFlags(3);

    ExpectRow(1, kChina, "38", "32", "18", "88");
    ExpectRow(3, "C", "1", "2", "3", "6");
    ExpectRow(4, "Team04", "36", "7", "8", "50");
    ExpectRow(8, "Team08", "32", "7", "8", "50");
    EXPECT_EQ(FlagRows(), (std::multiset<std::int32_t>{1, 2, 3}));
}

// Feeds that fill fewer rows than they list, or none at all: the rows after the last one filled
// are never touched and get no flag thread.
TEST_F(MedalRefresh, StopsAtTheFirstTeamWithoutANameOrAtAFeedItCannotRead) {
    const std::string twelve = Feed(Teams(12));
    const std::string json = twelve.substr(11, twelve.size() - 13);
    struct Case {
        const char* name;
        std::string body;
        std::size_t rows;
    };
    const Case cases[] = {
        {"empty third name", Feed({{"\"A\""}, {"\"B\""}, {"\"\""}, {"\"D\""}, {"\"E\""}}), 2},
        {"third name missing", Feed({{"\"A\""}, {"\"B\""}, {std::nullopt}, {"\"D\""}}), 2},
        {"no prefix", json + ");", 0},
        {"no closing", "banomedals(" + json, 0},
        {"other callback", "omedals1(" + json + ");", 0},
        {"cut short", twelve.substr(0, twelve.size() / 2) + ");", 0},
        {"empty body", "", 0},
        {"not JSON", "banomedals(<html>502 Bad Gateway</html>);", 0},
        {"no medalsList", "banomedals({\"data\":{\"list\":[{\"countryname\":\"A\"}]}});", 0},
        {"feed far larger than a table",
         "banomedals({\"pad\":\"" + std::string(2u << 20, 'a') + "\"," + json.substr(1) + ");", 0},
        {"script that loops", "banomedals((function(){while(true){}})());", 0},
        {"getter that loops",
         "banomedals({data:{medalsList:[{countryname:'A',get gold(){while(true){}}}]}});", 0},
        {"script that replaces the helpers",
         "banomedals((this.JSON={parse:function(){return {data:{medalsList:[{countryname:'X'}]}}}},{}));", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::lock_guard lock(m_mutex);
            m_titles.clear();
        }
        Serve(c.body);
        RefreshExpectingFlags(c.rows);
        std::set<std::int32_t> rows;
        std::multiset<std::int32_t> flags;
        for (std::int32_t row = 1; row <= std::int32_t(c.rows); ++row) {
            rows.insert(row);
            flags.insert(row);
        }
        EXPECT_EQ(RowsWritten(), rows);
        EXPECT_EQ(FlagRows(), flags);
    }
}

TEST_F(MedalRefresh, FailedRequestChangesNothingAndTheNextRefreshAsksAgain) {
    ServerReply refused;
    refused.closeWithoutReply = true;
    ServeReply(refused);
    RefreshExpectingFlags(0);
    EXPECT_TRUE(Titles().empty());
    Serve(Feed(Teams(1)));
    RefreshExpectingFlags(1);
    ExpectRow(1, "Team01", "39", "7", "8", "50");
    EXPECT_EQ(m_feedServer.Requests().size(), 2u);
}

// Values are shown exactly as the feed's text form; a missing member is an empty title, and a
// missing code sends the flag thread to ".png".
TEST_F(MedalRefresh, ShowsEachValueAsTheFeedWritesIt) {
    Serve(Feed({{"\"NoGold\"", std::nullopt, "\"0\"", "0", "12.50", std::nullopt},
                {"\"A\\\"B\\\\C\\/D\"", "38", "\"\"", "true", "null", "\"CHN\""},
                {"\"\\u4e2d\\u56fd\\ud83c\\udfc5\""}}));
    RefreshExpectingFlags(3);
    ExpectRow(1, "NoGold", "", "0", "0", "12.5");
    ExpectRow(2, "A\"B\\C/D", "38", "", "true", "");
    EXPECT_EQ(Titles()[Cell(3, MedalTitleSink::Name)].substr(0, 4), kChina);
    EXPECT_EQ(FlagTargets().count(kFlagPath + ".png"), 1u);
}

// Names that reach the refresh as raw code page 936 bytes rather than \u escapes, among them a
// character whose trail byte is 0x5C, a backslash byte that is no backslash.
TEST_F(MedalRefresh, ReadsRawDoubleByteNames) {
    Serve(Feed({{"\"\x81\x5C\""}, {"\"\x81\x5C\\\\\""}, {"\"" + kChina + "\""}}));
    RefreshExpectingFlags(3);
    ExpectRow(1, "\x81\x5C", "1", "2", "3", "6");
    ExpectRow(2, "\x81\x5C\\", "1", "2", "3", "6");
    ExpectRow(3, kChina, "1", "2", "3", "6");
}

// Window events run in the pause after each row; whatever runs there sees whole rows only.
TEST_F(MedalRefresh, PausesAfterEveryRowWithEventsDispatched) {
    std::vector<std::set<std::int32_t>> seenByPump;
    MessagePump::Install([&] {
        const auto rows = RowsWritten();
        if (!rows.empty() && (seenByPump.empty() || seenByPump.back() != rows))
            seenByPump.push_back(rows);
    });
    Serve(Feed(Teams(3)));
    RefreshExpectingFlags(3);
    std::lock_guard lock(m_mutex);
    EXPECT_EQ(m_titleWrites, 15);
    const std::vector<std::set<std::int32_t>> expected = {{1}, {1, 2}, {1, 2, 3}};
    EXPECT_EQ(seenByPump, expected);
}

} // namespace
