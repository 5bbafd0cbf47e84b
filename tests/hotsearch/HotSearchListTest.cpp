#include "hotsearch/HotSearchList.h"

#include <filesystem>
#include <atomic>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/LoopbackServer.h"
#include "tests/support/RealData.h"
#include "util/MessagePump.h"
#include "util/WorkerThread.h"

using namespace velk;
using velk::test::LoopbackServer;
using velk::test::ServerReply;
using velk::test::ServerRequest;

namespace {

const Text kPlaceholder = "\xD6\xD0\xB9\xFA"; // "中国", the labels' title before any refresh

// One entry of the desktop summary page, link and text on one line.
std::string Entry(const std::string& key, const std::string& text,
                  const std::string& target = "target=\"_blank\"") {
    return "<tr><td class=\"td-02\"><a href=\"/weibo?q=" + key + "\" " + target + ">" + text +
           "</a><span>1204033</span></td></tr>\n";
}

std::string Key(const std::string& tag, int i) {
    return "%23" + tag + std::to_string(i) + "%23";
}

// A summary page with `count` entries: texts tag1, tag2, ..., keys %23tag1%23, %23tag2%23, ...
std::string Page(int count, const std::string& tag = "Entry") {
    std::string page =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>hot</title></head><body><table>\n";
    for (int i = 1; i <= count; ++i)
        page += Entry(Key(tag, i), tag + std::to_string(i));
    return page + "</table></body></html>\n";
}

ServerReply Html(const std::string& body) {
    return ServerReply::Http(200, body, "Content-Type: text/html; charset=utf-8\r\n");
}

// Serves the summary page over HTTPS and records what the list hands to the window.
class HotSearch : public ::testing::Test {
protected:
    void SetUp() override {
        HotSearchList::SetWeiboHost(m_server.HostPort());
        HotSearchList::Install(HotSearchList::Outlets{
            [this](std::int32_t item, const Text& title) {
                std::lock_guard lock(m_mutex);
                m_titles[item] = title;
            },
            [this](TextArray links) {
                std::lock_guard lock(m_mutex);
                m_links = std::move(links);
            },
            [this] {
                std::lock_guard lock(m_mutex);
                return m_links;
            },
            [this](const Text& address) {
                std::lock_guard lock(m_mutex);
                m_opened.push_back(address);
            },
        });
        for (std::int32_t item = 1; item <= 10; ++item)
            m_titles[item] = kPlaceholder;
    }
    void TearDown() override {
        HotSearchList::Install({});
        MessagePump::Install(nullptr);
        HotSearchList::SetWeiboHost(m_savedHost);
    }

    void Serve(ServerReply reply) {
        std::lock_guard lock(m_mutex);
        m_reply = std::move(reply);
    }
    std::vector<Text> Titles() {
        std::lock_guard lock(m_mutex);
        std::vector<Text> titles;
        for (const auto& [item, title] : m_titles)
            titles.push_back(title);
        return titles;
    }
    TextArray Links() {
        std::lock_guard lock(m_mutex);
        return m_links;
    }
    std::vector<Text> Opened() {
        std::lock_guard lock(m_mutex);
        return m_opened;
    }
    Text Link(const std::string& key) const { return "https://" + m_server.HostPort() + "/weibo?q=" + key; }
    // The state after a refresh of Page(count, tag): texts and links of its first ten entries.
    void ExpectPage(int count, const std::string& tag = "Entry") {
        std::vector<Text> titles;
        TextArray links;
        for (int k = 1; k <= 10; ++k) {
            titles.push_back(k <= count ? tag + std::to_string(k) : Text());
            links.push_back(Link(k <= count ? Key(tag, k) : ""));
        }
        EXPECT_EQ(Titles(), titles);
        EXPECT_EQ(Links(), links);
    }

    const Text m_savedHost = HotSearchList::WeiboHost();
    std::mutex m_mutex;
    ServerReply m_reply = ServerReply::Http(404, "");
    std::map<std::int32_t, Text> m_titles;
    TextArray m_links;
    std::vector<Text> m_opened;
    LoopbackServer m_server{[this](const ServerRequest&) {
                                std::lock_guard lock(m_mutex);
                                return m_reply;
                            },
                            LoopbackServer::Transport::Tls};
};

TEST(HotSearchRequest, HeaderBlockIsTheEightBrowserLinesWithTheHost) {
    EXPECT_EQ(
        HotSearchList::HeaderBlock("s.weibo.com"),
        "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8\r\n"
        "Accept-Language: zh-CN,zh;q=0.9\r\n"
        "Cache-Control: no-cache\r\n"
        "Connection: keep-alive\r\n"
        "Host: s.weibo.com\r\n"
        "Pragma: no-cache\r\n"
        "Upgrade-Insecure-Requests: 1\r\n"
        "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
        "Chrome/69.0.3497.100 Safari/537.3");
    EXPECT_EQ(HotSearchList::PageUrl("s.weibo.com"), "https://s.weibo.com/top/summary?cate=realtimehot");
    EXPECT_EQ(HotSearchList::EntryLink("s.weibo.com", "%23abc%23"), "https://s.weibo.com/weibo?q=%23abc%23");
}

TEST_F(HotSearch, TwelveEntriesFillTheTenRowsAndEachClickOpensItsRow) {
    Serve(Html(Page(12)));
    HotSearchList::Refresh();

    const auto requests = m_server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/top/summary?cate=realtimehot");
    EXPECT_EQ(requests[0].Header("Host"), m_server.HostPort());
    EXPECT_EQ(requests[0].Header("User-Agent"),
              "Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, "
              "like Gecko) Chrome/69.0.3497.100 Safari/537.3");
    EXPECT_EQ(requests[0].Header("Pragma"), "no-cache");
    ExpectPage(12);

    for (std::int32_t k = 1; k <= 10; ++k)
        HotSearchList::OpenItem(k);
    HotSearchList::OpenItem(0);
    HotSearchList::OpenItem(11);
    std::vector<Text> expected;
    for (int k = 1; k <= 10; ++k)
        expected.push_back(Link(Key("Entry", k)));
    EXPECT_EQ(Opened(), expected);
}

// Entries as the desktop page writes them: none is skipped (the pinned one neither), texts and
// keys are taken as written, the match ignores case, and link and text must share a line.
TEST_F(HotSearch, TakesEntriesInPageOrderAsWritten) {
    const std::string page = "<html><head><meta charset=\"utf-8\"></head><body>\n" +
                             Entry("%E7%BD%AE%E9%A1%B6&Refer=new_time", "Pinned") +
                             Entry("%23a%26b%23", "Tom &amp; Jerry <b>x</b>") +
                             "<a href=\"/weibo?q=%23split%23\" target=\"_blank\">\nSplit</a>\n" +
                             Entry("%23CASE%23", "Upper", "TARGET=\"_BLANK\"") +
                             Entry("%23\xE4\xB8\xAD%23", "\xE4\xB8\xAD\xE5\x9B\xBD") + "</body></html>";
    Serve(Html(page));
    HotSearchList::Refresh();
    const std::vector<Text> titles = {
        "Pinned", "Tom &amp; Jerry <b>x</b>", "Upper", "\xD6\xD0\xB9\xFA", "", "", "", "", "", ""};
    EXPECT_EQ(Titles(), titles);
    const TextArray links = {Link("%E7%BD%AE%E9%A1%B6&Refer=new_time"),
                             Link("%23a%26b%23"),
                             Link("%23CASE%23"),
                             Link("%23\xD6\xD0%23"),
                             Link(""),
                             Link(""),
                             Link(""),
                             Link(""),
                             Link(""),
                             Link("")};
    EXPECT_EQ(Links(), links);
}

// Pages that hold fewer entries than rows: the rows without one get the empty title and the
// bare search link, the real pages Weibo sends clients without cookies (and its mobile layout)
// among them.
TEST_F(HotSearch, RowsWithoutAnEntryGetEmptyTitlesAndBareLinks) {
    struct Case {
        std::string name;
        std::string body;
        int entries;
    };
    std::vector<Case> cases = {
        {"three entries", Page(3), 3},
        {"no entries", "<html><body>nothing here</body></html>", 0},
        {"error page", "502 Bad Gateway", 0},
    };
    if (velk::test::HasRealData()) {
        for (const auto& file : std::filesystem::directory_iterator(velk::test::RealDataDir() / "weibo"))
            cases.push_back({file.path().filename().string(), velk::test::ReadFileBytes(file.path()), 0});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Serve(Html(Page(12, "Old")));
        HotSearchList::Refresh();
        Serve(ServerReply::Http(200, c.body, "Content-Type: text/html\r\n"));
        HotSearchList::Refresh();
        ExpectPage(c.entries);
        HotSearchList::OpenItem(5);
        EXPECT_EQ(Opened().back(), Link(""));
    }
    if (!velk::test::HasRealData())
        GTEST_SKIP() << "real pages not found under " << velk::test::RealDataDir();
}

TEST_F(HotSearch, ClickBeforeTheFirstRefreshThatGotAPageOpensNothing) {
    ServerReply refused;
    refused.closeWithoutReply = true;
    Serve(refused);
    HotSearchList::Refresh();
    for (std::int32_t k = 1; k <= 10; ++k)
        HotSearchList::OpenItem(k);
    EXPECT_TRUE(Opened().empty());
    EXPECT_TRUE(Links().empty());
    EXPECT_EQ(Titles(), std::vector<Text>(10, kPlaceholder));
}

// Refreshes that get no page, or a page the search cannot finish, keep the titles and links of
// the last refresh that worked, and clicks go on opening the links of the titles shown.
TEST_F(HotSearch, RefreshThatFailsKeepsTitlesAndLinks) {
    ServerReply refused;
    refused.closeWithoutReply = true;
    // One line on which the key of an entry never ends: the search runs out of its limits.
    const std::string endless = "weibo?q=" + std::string(16u << 20, 'x');
    struct Case {
        const char* name;
        ServerReply reply;
    };
    const Case cases[] = {
        {"connection closed", refused},
        {"empty body", ServerReply::Http(200, "")},
        {"page the search cannot finish", Html(endless + "\n" + Page(12, "Hostile"))},
    };
    Serve(Html(Page(12)));
    HotSearchList::Refresh();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Serve(c.reply);
        HotSearchList::Refresh();
        ExpectPage(12);
    }
    HotSearchList::OpenItem(3);
    EXPECT_EQ(Opened(), std::vector<Text>{Link(Key("Entry", 3))});

    Serve(Html(Page(2, "New")));
    HotSearchList::Refresh();
    EXPECT_EQ(Links().size(), 10u);
    ExpectPage(2, "New");
}

// A page longer than the client reads: the refresh works on the part that was read.
TEST_F(HotSearch, HugePageIsSearchedAsFarAsItWasRead) {
    Serve(Html(Page(3, "Huge") + std::string(33u << 20, ' ') + Page(12, "Unread")));
    HotSearchList::Refresh();
    ExpectPage(3, "Huge");
}

// The fetch dispatches window events, so a click can come while a refresh waits for its page: it
// opens the link of the rows shown then, and must not wait for the refresh to end.
TEST_F(HotSearch, ClickNestedInARefreshOpensTheLinkShownBeforeIt) {
    Serve(Html(Page(12)));
    HotSearchList::Refresh();
    ServerReply slow = Html(Page(12, "Later"));
    slow.delay = std::chrono::milliseconds(200);
    Serve(slow);
    bool clicked = false;
    MessagePump::Install([&] {
        if (!clicked) {
            clicked = true;
            HotSearchList::OpenItem(2);
        }
    });
    HotSearchList::Refresh();
    MessagePump::Install(nullptr);
    EXPECT_EQ(Opened(), std::vector<Text>{Link(Key("Entry", 2))});
    ExpectPage(12, "Later");
}

// The start-up refresh on its worker thread and refreshes on the calling thread at the same time:
// each refresh hands over its rows whole, so titles and links always come from one page.
TEST_F(HotSearch, StartUpRefreshAndTimerRefreshNeverMixTheirRows) {
    std::atomic<int> served{0};
    LoopbackServer alternating([&](const ServerRequest&) { return Html(Page(10, served++ % 2 ? "B" : "A")); },
                               LoopbackServer::Transport::Tls);
    HotSearchList::SetWeiboHost(alternating.HostPort());
    static std::promise<void>* done = nullptr;
    for (int round = 0; round < 5; ++round) {
        std::promise<void> finished;
        done = &finished;
        ASSERT_NE(WorkerThread::Start([](std::uintptr_t parameter) {
                      HotSearchList::RefreshThreadMain(parameter);
                      done->set_value();
                  }),
                  0u);
        HotSearchList::Refresh();
        HotSearchList::OpenItem(1);
        finished.get_future().wait();

        const auto titles = Titles();
        const auto links = Links();
        ASSERT_EQ(links.size(), 10u);
        const std::string tag = titles[0].substr(0, 1);
        for (int k = 1; k <= 10; ++k) {
            EXPECT_EQ(titles[std::size_t(k - 1)], tag + std::to_string(k));
            EXPECT_EQ(links[std::size_t(k - 1)],
                      "https://" + alternating.HostPort() + "/weibo?q=" + Key(tag, k));
        }
    }
}

} // namespace
