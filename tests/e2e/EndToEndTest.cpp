// The whole widget, run by velk_probe against loopback servers: the medal feed and the flags on
// one plain HTTP server, the hot-search page on an HTTPS one. Each server answers from a script
// of replies, one per request, the last one repeating; the probe reports what the window shows
// after the start and after each of its actions.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/LoopbackServer.h"
#include "tests/support/RealData.h"

// Readable failure messages for titles and link lists.
void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

using velk::test::LoopbackServer;
using velk::test::ServerReply;
using velk::test::ServerRequest;

namespace {

// ---------------------------------------------------------------------------------------------
// Replies

// A JSON string with every character outside ASCII as a \u escape, as the medal feed writes it.
std::string JsonString(const std::string& utf8) {
    const QString text = QString::fromUtf8(utf8);
    std::string out = "\"";
    for (const QChar c : text) {
        if (c.unicode() < 0x80 && c != u'"' && c != u'\\') {
            out += char(c.unicode());
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(c.unicode()));
            out += escape;
        }
    }
    return out + "\"";
}

struct Team {
    std::string code;
    std::string name; // UTF-8
    std::string gold, silver, bronze, total;
    bool hasGold = true;
};

// Twelve teams; the codes CAN and NZL (rows 3 and 5) have no embedded flag and are downloaded,
// as ESP, SWE and UZB (rows 9 to 11) would be if a ninth row were filled.
const std::vector<Team> kTwelve = {
    {"USA", "美国", "40", "44", "42", "126"},   {"CHN", "中国", "39", "27", "24", "90"},
    {"CAN", "加拿大", "9", "7", "11", "27"},    {"AUS", "澳大利亚", "18", "19", "16", "53"},
    {"NZL", "新西兰", "10", "7", "3", "20"},    {"NED", "荷兰", "15", "7", "12", "34"},
    {"GBR", "英国", "14", "22", "29", "65"},    {"KOR", "韩国", "13", "9", "10", "32"},
    {"ESP", "西班牙", "5", "4", "9", "18"},     {"SWE", "瑞典", "4", "4", "3", "11"},
    {"UZB", "乌兹别克斯坦", "8", "2", "3", "13"}, {"FRA", "法国", "16", "26", "22", "64"},
};

const std::vector<Team> kThree = {
    {"JPN", "日本", "20", "12", "13", "45"},
    {"ITA", "意大利", "12", "13", "15", "40"},
    {"GER", "德国", "12", "13", "8", "33"},
};

std::string FeedJson(const std::vector<Team>& teams) {
    std::string list;
    for (const Team& t : teams) {
        if (!list.empty())
            list += ",";
        list += "{\"countryid\":" + JsonString(t.code) + ",\"countryname\":" + JsonString(t.name);
        if (t.hasGold)
            list += ",\"gold\":" + JsonString(t.gold);
        list += ",\"silver\":" + JsonString(t.silver) + ",\"bronze\":" + JsonString(t.bronze) +
                ",\"count\":" + JsonString(t.total) + "}";
    }
    return "{\"data\":{\"medalsList\":[" + list + "],\"total\":" + std::to_string(teams.size()) + "}}";
}

ServerReply Feed(const std::vector<Team>& teams) {
    return ServerReply::Http(200, "banomedals(" + FeedJson(teams) + ");", "Content-Type: text/javascript\r\n");
}

ServerReply Html(const std::string& page) {
    return ServerReply::Http(200, page, "Content-Type: text/html; charset=utf-8\r\n");
}

ServerReply Failure() {
    ServerReply reply;
    reply.closeWithoutReply = true;
    return reply;
}

struct HotEntry {
    std::string key;   // as written in the link
    std::string title; // as written in the page, UTF-8
};

// A summary page in the desktop layout: one entry per line, link and text together.
std::string HotPage(const std::vector<HotEntry>& entries) {
    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>热搜榜</title></head><body>\n"
                       "<table><tbody>\n";
    for (const HotEntry& e : entries)
        page += "<tr><td class=\"td-02\"><a href=\"/weibo?q=" + e.key + "\" target=\"_blank\">" + e.title +
                "</a></td></tr>\n";
    return page + "</tbody></table></body></html>\n";
}

std::vector<HotEntry> HotEntries(int count) {
    std::vector<HotEntry> entries;
    for (int k = 1; k <= count; ++k)
        entries.push_back({"%23entry" + std::to_string(k) + "%23", "热搜条目" + std::to_string(k)});
    if (count >= 4) {
        entries[0].key += "&Refer=new_time"; // the pinned entry: the key runs to the closing quote
        entries[1] = {"%23abc%23", "R&amp;B 新专辑"}; // entity and key stay as written
        entries[3] = {"%E5%A5%A5%E8%BF%90", "奥运"};
    }
    return entries;
}

// ---------------------------------------------------------------------------------------------
// Servers and the probe

// Hands out a script of replies in order, repeating the last one.
class Script {
public:
    void Set(std::vector<ServerReply> replies) {
        std::lock_guard lock(m_mutex);
        m_replies = std::move(replies);
        m_next = 0;
    }
    ServerReply Next() {
        std::lock_guard lock(m_mutex);
        if (m_replies.empty())
            return ServerReply::Http(404, "none");
        const ServerReply reply = m_replies[std::min(m_next, m_replies.size() - 1)];
        ++m_next;
        return reply;
    }

private:
    std::mutex m_mutex;
    std::vector<ServerReply> m_replies;
    std::size_t m_next = 0;
};

const std::string kFlagPath = "/sports/data/olympic/teamImg/";

struct Services {
    Script feed;
    Script hot;
    LoopbackServer plain{[this](const ServerRequest& r) { return Plain(r); }};
    LoopbackServer weibo{[this](const ServerRequest&) { return hot.Next(); }, LoopbackServer::Transport::Tls};

    ServerReply Plain(const ServerRequest& request) {
        if (request.target.rfind("/olympic/getOlyMedals?", 0) == 0)
            return feed.Next();
        if (request.target.rfind(kFlagPath, 0) == 0) {
            const std::string file = std::string(VELK_SOURCE_DIR) + "/sample/flags/" + request.target.substr(kFlagPath.size());
            if (std::filesystem::is_regular_file(file))
                return ServerReply::Http(200, velk::test::ReadFileBytes(file), "Content-Type: image/png\r\n");
        }
        return ServerReply::Http(404, "<html>not found</html>");
    }

    // The team codes whose flags were asked for, in any order.
    std::multiset<std::string> FlagRequests() const {
        std::multiset<std::string> codes;
        for (const ServerRequest& r : plain.Requests()) {
            if (r.target.rfind(kFlagPath, 0) == 0)
                codes.insert(r.target.substr(kFlagPath.size(), r.target.size() - kFlagPath.size() - 4));
        }
        return codes;
    }

    // The address the program builds for a hot-search key.
    std::string Link(const std::string& key) const { return "https://" + weibo.HostPort() + "/weibo?q=" + key; }
};

struct ProbeReport {
    QJsonObject json;
    QJsonArray steps;
    QJsonObject Step(int i) const { return steps.at(i).toObject(); }
    QString Title(int step, const char* control) const {
        return Step(step)[QStringLiteral("titles")].toObject()[QString::fromUtf8(control)].toString(
            QStringLiteral("<no such label>"));
    }
    QSize Picture(int step, const char* control) const {
        const QJsonObject p = Step(step)[QStringLiteral("pictures")].toObject()[QString::fromUtf8(control)].toObject();
        return {p[QStringLiteral("width")].toInt(-1), p[QStringLiteral("height")].toInt(-1)};
    }
    QStringList Links(int step) const {
        QStringList links;
        for (const QJsonValue v : Step(step)[QStringLiteral("hotSearchLinks")].toArray())
            links.append(v.toString());
        return links;
    }
    QStringList Opened(int step) const {
        QStringList opened;
        for (const QJsonValue v : Step(step)[QStringLiteral("opened")].toArray())
            opened.append(v.toString());
        return opened;
    }
};

// Runs the probe with `extra` (its actions and further options, UTF-8) after the hosts.
ProbeReport RunProbe(const Services& services, const std::vector<std::string>& extra, const QString& config,
                     int quietMs = 400) {
    QStringList actions;
    for (const std::string& arg : extra)
        actions << QString::fromStdString(arg);
    QProcess probe;
    QStringList args{QStringLiteral("--config"), config,
                     QStringLiteral("--medal-host"), QString::fromStdString(services.plain.HostPort()),
                     QStringLiteral("--flag-host"), QString::fromStdString(services.plain.HostPort()),
                     QStringLiteral("--weibo-host"), QString::fromStdString(services.weibo.HostPort()),
                     QStringLiteral("--quiet-ms"), QString::number(quietMs),
                     QStringLiteral("--timeout-ms"), QStringLiteral("20000")};
    probe.setProcessChannelMode(QProcess::SeparateChannels);
    probe.start(QStringLiteral(VELK_PROBE), args + actions);
    ProbeReport report;
    if (!probe.waitForStarted(10000)) {
        ADD_FAILURE() << "the probe did not start";
        return report;
    }
    if (!probe.waitForFinished(120000)) {
        probe.kill();
        ADD_FAILURE() << "the probe did not finish";
        return report;
    }
    const QByteArray err = probe.readAllStandardError();
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit) << err.constData();
    EXPECT_EQ(probe.exitCode(), 0) << err.constData();
    const QList<QByteArray> lines = probe.readAllStandardOutput().trimmed().split('\n');
    report.json = QJsonDocument::fromJson(lines.last()).object();
    report.steps = report.json[QStringLiteral("steps")].toArray();
    EXPECT_TRUE(report.json[QStringLiteral("settled")].toBool()) << lines.last().constData();
    EXPECT_EQ(report.steps.size(), 1 + actions.count(QStringLiteral("--tick")) + actions.count(QStringLiteral("--click")));
    return report;
}

QString U(const std::string& utf8) { return QString::fromStdString(utf8); }

// ---------------------------------------------------------------------------------------------
// The medal table

struct MedalRow {
    const char* flag;
    const char* name;
    const char* gold;
    const char* silver;
    const char* bronze;
    const char* total;
};

const MedalRow kRows[8] = {
    {"图片框EX1", "标签EX6", "标签EX21", "标签EX29", "标签EX45", "标签EX37"},
    {"图片框EX2", "标签EX7", "标签EX20", "标签EX28", "标签EX44", "标签EX36"},
    {"图片框EX3", "标签EX8", "标签EX19", "标签EX27", "标签EX43", "标签EX35"},
    {"图片框EX4", "标签EX9", "标签EX18", "标签EX26", "标签EX42", "标签EX34"},
    {"图片框EX5", "标签EX10", "标签EX17", "标签EX25", "标签EX41", "标签EX33"},
    {"图片框EX6", "标签EX11", "标签EX16", "标签EX24", "标签EX40", "标签EX32"},
    {"图片框EX7", "标签EX12", "标签EX15", "标签EX23", "标签EX39", "标签EX31"},
    {"图片框EX8", "标签EX13", "标签EX14", "标签EX22", "标签EX38", "标签EX30"},
};

// What a row shows: a team's values with its flag band, or the window's placeholders.
struct Shown {
    std::string name, gold, silver, bronze, total;
    int flagHeight;
};
const Shown kPlaceholder{"中国", "100", "100", "100", "100", 512};
Shown Row(const Team& t) { return {t.name, t.hasGold ? t.gold : "", t.silver, t.bronze, t.total, 248}; }

void ExpectRows(const ProbeReport& report, int step, const std::vector<Shown>& rows, const std::string& label) {
    ASSERT_EQ(rows.size(), 8u);
    for (int r = 0; r < 8; ++r) {
        SCOPED_TRACE(label + ", row " + std::to_string(r + 1));
        const MedalRow& c = kRows[r];
        EXPECT_EQ(report.Title(step, c.name), U(rows[r].name));
        EXPECT_EQ(report.Title(step, c.gold), U(rows[r].gold));
        EXPECT_EQ(report.Title(step, c.silver), U(rows[r].silver));
        EXPECT_EQ(report.Title(step, c.bronze), U(rows[r].bronze));
        EXPECT_EQ(report.Title(step, c.total), U(rows[r].total));
        EXPECT_EQ(report.Picture(step, c.flag).height(), rows[r].flagHeight);
    }
}

std::vector<Shown> Rows(const std::vector<Team>& teams, std::vector<Shown> before) {
    for (std::size_t r = 0; r < teams.size() && r < 8; ++r)
        before[r] = Row(teams[r]);
    return before;
}
const std::vector<Shown> kPlaceholders(8, kPlaceholder);

struct MedalCase {
    const char* name;
    std::vector<ServerReply> feeds;             // one per refresh
    std::vector<std::vector<Shown>> expected;   // after the start, then after each tick
    std::multiset<std::string> flagDownloads;   // over the whole run
};

TEST(MedalTable, RefreshesFillRowsInFeedOrderAndStopWhereTheFeedSays) {
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    std::vector<Team> emptyThird = kTwelve;
    emptyThird[2].name = "";
    std::vector<Team> noGold = kThree;
    noGold[0].hasGold = false;
    const std::string twelveJson = FeedJson(kTwelve);
    const std::vector<Shown> twelve = Rows(kTwelve, kPlaceholders);

    const MedalCase cases[] = {
        {"twelve teams fill rows 1 to 8, eight flags", {Feed(kTwelve)}, {twelve}, {"CAN", "NZL"}},
        {"three teams at start: rows 4 to 8 keep the placeholders", {Feed(kThree)}, {Rows(kThree, kPlaceholders)}, {}},
        {"three teams after twelve: rows 4 to 8 keep the earlier teams",
         {Feed(kTwelve), Feed(kThree)}, {twelve, Rows(kThree, twelve)}, {"CAN", "NZL"}},
        {"an empty third name stops after row 2",
         {Feed(emptyThird)}, {Rows({kTwelve[0], kTwelve[1]}, kPlaceholders)}, {}},
        {"no banomedals( prefix changes nothing",
         {Feed(kTwelve), ServerReply::Http(200, twelveJson + ");")}, {twelve, twelve}, {"CAN", "NZL"}},
        {"no closing ); changes nothing", {ServerReply::Http(200, "banomedals(" + twelveJson)}, {kPlaceholders}, {}},
        {"a record without gold shows an empty gold label", {Feed(noGold)}, {Rows(noGold, kPlaceholders)}, {}},
        {"a failed fetch after a good one keeps the rows", {Feed(kTwelve), Failure()}, {twelve, twelve}, {"CAN", "NZL"}},
    };
    for (const MedalCase& c : cases) {
        SCOPED_TRACE(c.name);
        Services services;
        services.feed.Set(c.feeds);
        const std::vector<std::string> ticks(c.expected.size() - 1, "--tick");
        const ProbeReport report = RunProbe(services, ticks, config.path());
        ASSERT_EQ(report.steps.size(), qsizetype(c.expected.size()));
        for (std::size_t step = 0; step < c.expected.size(); ++step)
            ExpectRows(report, int(step), c.expected[step], step == 0 ? "after start" : "after tick");
        EXPECT_EQ(services.FlagRequests(), c.flagDownloads);
    }
}

// ---------------------------------------------------------------------------------------------
// The hot-search list

const char* const kHotLabels[10] = {"热搜1", "热搜2", "热搜3", "热搜4", "热搜5",
                                    "热搜6", "热搜7", "热搜8", "热搜9", "热搜10"};

class HotSearch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_config.isValid());
        m_services.feed.Set({Feed(kThree)});
    }

    // Titles and links after `step` are those of the first ten of `entries` (rows without an
    // entry: empty title, bare link).
    void ExpectList(const ProbeReport& report, int step, const std::vector<HotEntry>& entries) {
        QStringList links;
        for (int k = 0; k < 10; ++k) {
            const bool has = std::size_t(k) < entries.size();
            EXPECT_EQ(report.Title(step, kHotLabels[k]), has ? U(entries[std::size_t(k)].title) : QString())
                << "row " << k + 1;
            links << U(m_services.Link(has ? entries[std::size_t(k)].key : ""));
        }
        EXPECT_EQ(report.Links(step), links);
    }

    Services m_services;
    QTemporaryDir m_config;
};

TEST_F(HotSearch, PagesWithTwelveThreeAndNoMatchesFillTenRows) {
    const std::vector<HotEntry> twelve = HotEntries(12);
    const std::vector<HotEntry> three = HotEntries(3);
    m_services.hot.Set({Html(HotPage(twelve)), Html(HotPage(three)), Html("<html><body>改版了</body></html>")});
    const ProbeReport report =
        RunProbe(m_services, {"--click", "热搜2", "--tick", "--click", "热搜5", "--tick", "--click", "热搜1"},
                 m_config.path(), 200);
    ASSERT_EQ(report.steps.size(), 6);
    ExpectList(report, 0, twelve);
    EXPECT_EQ(report.Title(0, "热搜2"), QString::fromUtf8("R&amp;B 新专辑"));
    EXPECT_EQ(report.Opened(1), QStringList{U(m_services.Link("%23abc%23"))});
    ExpectList(report, 2, three);
    EXPECT_EQ(report.Opened(3), QStringList{U(m_services.Link(""))}) << "row 5 of three opens the bare search page";
    ExpectList(report, 4, {});
    EXPECT_EQ(report.Opened(5), QStringList{U(m_services.Link(""))});
}

TEST_F(HotSearch, ClickBeforeTheFirstSuccessOpensNothingAndAfterItTheRowsLink) {
    const std::vector<HotEntry> twelve = HotEntries(12);
    m_services.hot.Set({Failure(), Html(HotPage(twelve))});
    const ProbeReport report =
        RunProbe(m_services, {"--click", "热搜1", "--tick", "--click", "热搜3"}, m_config.path(), 200);
    ASSERT_EQ(report.steps.size(), 4);
    EXPECT_EQ(report.Title(0, "热搜1"), QString::fromUtf8("中国"));
    EXPECT_TRUE(report.Links(0).isEmpty());
    EXPECT_TRUE(report.Opened(1).isEmpty());
    ExpectList(report, 2, twelve);
    EXPECT_EQ(report.Opened(3), QStringList{U(m_services.Link(twelve[2].key))});
}

TEST_F(HotSearch, FailedFetchAfterASuccessKeepsTitlesAndLinks) {
    const std::vector<HotEntry> twelve = HotEntries(12);
    m_services.hot.Set({Html(HotPage(twelve)), Failure(), ServerReply::Http(200, "")});
    const ProbeReport report =
        RunProbe(m_services, {"--tick", "--tick", "--click", "热搜4"}, m_config.path(), 200);
    ASSERT_EQ(report.steps.size(), 4);
    ExpectList(report, 1, twelve);
    ExpectList(report, 2, twelve);
    EXPECT_EQ(report.Opened(3), QStringList{U(m_services.Link("%E5%A5%A5%E8%BF%90"))});
}

TEST_F(HotSearch, RealVisitorAndMobilePagesEmptyTheTitlesAndLeaveBareLinks) {
    if (!velk::test::HasRealData())
        GTEST_SKIP() << "no real data folder";
    std::vector<std::filesystem::path> pages;
    for (const auto& entry : std::filesystem::directory_iterator(velk::test::RealDataDir() / "weibo"))
        pages.push_back(entry.path());
    std::sort(pages.begin(), pages.end());
    ASSERT_FALSE(pages.empty());

    // A matching page before each real one, so that each real page visibly empties the list.
    const std::vector<HotEntry> twelve = HotEntries(12);
    std::vector<ServerReply> replies;
    std::vector<std::string> ticks;
    for (const auto& page : pages) {
        replies.push_back(Html(HotPage(twelve)));
        replies.push_back(ServerReply::Http(200, velk::test::ReadFileBytes(page), "Content-Type: text/html\r\n"));
        ticks.insert(ticks.end(), {"--tick", "--tick"});
    }
    ticks.pop_back();
    m_services.hot.Set(replies);
    const ProbeReport report = RunProbe(m_services, ticks, m_config.path(), 200);
    ASSERT_EQ(report.steps.size(), qsizetype(2 * pages.size()));
    for (std::size_t i = 0; i < pages.size(); ++i) {
        SCOPED_TRACE(pages[i].filename().string());
        ExpectList(report, int(2 * i), twelve);
        ExpectList(report, int(2 * i + 1), {});
    }
}

// ---------------------------------------------------------------------------------------------
// The probe's own outputs

TEST(Probe, ScreenshotIsTheWholeWindowAndThePositionFileIsWrittenToTheConfigFolder) {
    Services services;
    services.feed.Set({Feed(kTwelve)});
    services.hot.Set({Html(HotPage(HotEntries(12)))});
    QTemporaryDir config;
    const QString shot = config.filePath(QStringLiteral("shot.png"));
    const ProbeReport report = RunProbe(services,
                                        {"--save-interval-ms", "50", "--screenshot", shot.toStdString()}, config.path());
    EXPECT_TRUE(report.json[QStringLiteral("screenshot")].toBool());
    EXPECT_EQ(QImage(shot).size(), QSize(327, 288));
    EXPECT_GT(report.json[QStringLiteral("populatedMs")].toDouble(), 0.0);
    EXPECT_TRUE(QFileInfo::exists(config.filePath(QStringLiteral("velk.ini"))));
}

} // namespace
