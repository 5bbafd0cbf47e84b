#include "app/StartupNotice.h"

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/UrlOpener.h"
#include "http/HttpClient.h"
#include "tests/support/LoopbackServer.h"

using namespace velk;
using velk::test::LoopbackServer;
using velk::test::ServerReply;
using velk::test::ServerRequest;

namespace {

struct Outcome {
    bool goesOn = false;
    std::vector<std::string> calls; // "message ...", "open ...", "exit N" in order
};

StartupNotice::Seams Recorders(Outcome& run, std::function<Text(const Text&)> fetch) {
    StartupNotice::Seams s;
    s.fetch = std::move(fetch);
    s.showMessage = [&run](const Text& t) { run.calls.push_back("message " + t); };
    s.openUrl = [&run](const Text& t) { run.calls.push_back("open " + t); };
    s.exit = [&run](int code) { run.calls.push_back("exit " + std::to_string(code)); };
    s.tickCount = [] { return 12345u; };
    return s;
}

Outcome CheckWithBody(const Text& body) {
    Outcome run;
    run.goesOn = StartupNotice::Check("notice.test", Recorders(run, [body](const Text&) { return body; }));
    return run;
}

using Calls = std::vector<std::string>;

TEST(StartupNotice, AnswerTable) {
    // The notice is UTF-8 on the wire and code page 936 once read: "服务已停止" is D0 B9 ... in GBK.
    const Text sentence = "\xE6\x9C\x8D\xE5\x8A\xA1\xE5\xB7\xB2\xE5\x81\x9C\xE6\xAD\xA2";
    const Text sentenceAnsi = "\xB7\xFE\xCE\xF1\xD2\xD1\xCD\xA3\xD6\xB9";
    struct Case {
        const char* name;
        Text body;
        bool goesOn;
        Calls calls;
    };
    const Case cases[] = {
        {"exactly 0", "0", true, {}},
        {"0 and a line end", "0\r\n", false, {"message 0\r\n", "open ", "exit 0"}},
        {"0 and a bare line feed", "0\n", false, {"message 0\n", "open ", "exit 0"}},
        {"leading space", " 0", false, {"message  0", "open ", "exit 0"}},
        {"empty (failed request)", "", false, {"message ", "open ", "exit 0"}},
        {"sentence and address",
         sentence + "{{http://maker.test/new}}",
         false,
         {"message " + sentenceAnsi + "{{http://maker.test/new}}", "open http://maker.test/new", "exit 0"}},
        {"address first of two",
         "a{{http://x.test/1}}b{{http://x.test/2}}",
         false,
         {"message a{{http://x.test/1}}b{{http://x.test/2}}", "open http://x.test/1", "exit 0"}},
        {"start marker only",
         "see {{http://maker.test/",
         false,
         {"message see {{http://maker.test/", "open ", "exit 0"}},
        {"file scheme is passed on, the opener refuses it",
         "{{file:///etc/passwd}}",
         false,
         {"message {{file:///etc/passwd}}", "open file:///etc/passwd", "exit 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome run = CheckWithBody(c.body);
        EXPECT_EQ(run.goesOn, c.goesOn);
        EXPECT_EQ(run.calls, c.calls);
    }
}

TEST(StartupNotice, NoNoticeHostSkipsTheCheck) {
    Outcome run;
    int fetches = 0;
    EXPECT_TRUE(StartupNotice::Check("", Recorders(run, [&](const Text&) {
                                         ++fetches;
                                         return Text();
                                     })));
    EXPECT_EQ(fetches, 0);
    EXPECT_TRUE(run.calls.empty());
}

TEST(StartupNotice, UrlCarriesANumberFromTheTickSeededGenerator) {
    // The C run-time's generator: seed 1 gives 41 first, seed 0 gives 38.
    EXPECT_EQ(StartupNotice::NoticeUrl("h.test:81", 1), "http://h.test:81/velk1.txt?42");
    EXPECT_EQ(StartupNotice::NoticeUrl("h.test", 0), "http://h.test/velk1.txt?39");
    std::set<Text> urls;
    for (std::uint32_t tick = 1000; tick < 1100; ++tick) {
        const Text url = StartupNotice::NoticeUrl("h", tick);
        const long n = std::stol(url.substr(url.find('?') + 1));
        EXPECT_GE(n, 1);
        EXPECT_LE(n, 32768);
        urls.insert(url);
    }
    EXPECT_GT(urls.size(), 90u); // two starts a few milliseconds apart ask different addresses
}

TEST(StartupNotice, OverHttpWithTheRealRequestRoutine) {
    LoopbackServer server([](const ServerRequest& r) {
        if (r.target.rfind("/velk1.txt?", 0) == 0 && r.target.find("go") == std::string::npos)
            return ServerReply::Http(200, "0");
        return ServerReply::Http(404, "gone {{http://maker.test/}}");
    });
    auto fetch = [](const Text& url) {
        HttpRequest request;
        request.url = url;
        return HttpClient::Send(request);
    };
    Outcome ok;
    EXPECT_TRUE(StartupNotice::Check(server.HostPort(), Recorders(ok, fetch)));
    EXPECT_TRUE(ok.calls.empty());
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].method, "GET");
    EXPECT_EQ(server.Requests()[0].target,
              "/velk1.txt?" + std::to_string(1 + ((12345u * 214013u + 2531011u) >> 16 & 0x7FFF)));

    Outcome unreachable;
    EXPECT_FALSE(StartupNotice::Check("127.0.0.1:" + std::to_string(test::UnusedPort()),
                                      Recorders(unreachable, fetch)));
    EXPECT_EQ(unreachable.calls, (Calls{"message ", "open ", "exit 0"}));
}

TEST(UrlOpener, HandsOnlyWebAddressesToTheDesktop) {
    struct Case {
        Text address;
        const char* expected;
    };
    const Case cases[] = {
        {"http://maker.test/a?b=1", "http://maker.test/a?b=1"},
        {"HTTPS://Maker.test/", "https://maker.test/"},
        {" https://maker.test/x ", "https://maker.test/x"},
        {"", ""},
        {"file:///etc/passwd", ""},
        {"javascript:alert(1)", ""},
        {"smb://host/share", ""},
        {"x-custom-handler:run", ""},
        {"http:///nohost", ""},
        {"/relative/path", ""},
        {"maker.test", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UrlOpener::Checked(c.address).toString().toStdString(), c.expected) << c.address;
}

} // namespace
