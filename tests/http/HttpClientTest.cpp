#include "http/HttpClient.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "tests/support/LoopbackProxy.h"
#include "tests/support/LoopbackServer.h"
#include "util/MessagePump.h"
#include "util/TextSearch.h"

using namespace velk;
using velk::test::LoopbackProxy;
using velk::test::LoopbackServer;
using velk::test::ServerReply;
using velk::test::ServerRequest;

namespace {

const Text kSendFailed = "711 \xb7\xa2\xcb\xcd\xc7\xeb\xc7\xf3\xca\xa7\xb0\xdc!";
const Text kNoResponse = "712 \xb7\xfe\xce\xf1\xc6\xf7\xce\xb4\xcf\xec\xd3\xa6!";
const Text kBadUrl = "701 \xbd\xe2\xce\xf6URL\xb5\xd8\xd6\xb7\xca\xa7\xb0\xdc!";

ServerReply Raw(const std::string& bytes) {
    ServerReply reply;
    reply.bytes = bytes;
    return reply;
}

std::string RequestLine(const ServerRequest& r) { return r.raw.substr(0, r.raw.find("\r\n")); }

Text Get(const std::string& url) {
    HttpRequest request;
    request.url = url;
    return HttpClient::Send(request);
}

// Every output field set to a marker, to see which ones a call writes.
HttpRequest MarkedRequest(const std::string& url) {
    HttpRequest request;
    request.url = url;
    request.responseHeaders = "headers?";
    request.location = "location?";
    request.statusText = "status?";
    request.responseBody = ToBytes("body?");
    request.responseCookies = "old=1";
    return request;
}

void ExpectOutputsUntouched(const HttpRequest& request) {
    EXPECT_EQ(request.responseHeaders, "headers?");
    EXPECT_EQ(request.location, "location?");
    EXPECT_EQ(ToText(request.responseBody), "body?");
    EXPECT_EQ(request.responseCookies, "old=1");
}

TEST(HttpClientSend, GetSendsDefaultHeaderBlockAndReturnsBody) {
    LoopbackServer server([](const ServerRequest&) { return ServerReply::Http(200, "banomedals({});"); });
    HttpRequest request;
    request.url = server.Url("/feed?x=1");
    EXPECT_EQ(HttpClient::Send(request), "banomedals({});");
    EXPECT_EQ(request.statusText, "200 OK");
    EXPECT_EQ(request.responseHeaders,
              "HTTP/1.1 200 OK\r\nContent-Length: 15\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(ToText(request.responseBody), "banomedals({});");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    // Exactly the block's lines after curl's Host: no Accept, Expect or User-Agent of curl's own.
    EXPECT_EQ(requests[0].raw, "GET /feed?x=1 HTTP/1.1\r\n"
                               "Host: " + server.HostPort() + "\r\n"
                               "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
                               "Accept: text/html, application/xhtml+xml, */*\r\n"
                               "Accept-Encoding: gbk, GB2312\r\n"
                               "Accept-Language: zh-cn\r\n"
                               "Cache-Control: no-cache\r\n\r\n");
}

TEST(HttpClientSend, MethodsAndBodies) {
    LoopbackServer server([](const ServerRequest&) { return ServerReply::Http(200, "ok"); });
    struct Case {
        std::int32_t method;
        Text postText;
        Bytes postBytes;
        std::string requestLine;
        std::string body;
    };
    const Case cases[] = {
        {kHttpPost, "a=1&b=\xd6\xd0", {}, "POST / HTTP/1.1", "a=1&b=\xd6\xd0"},
        {kHttpPost, "ignored", {'x', 0, 'y'}, "POST / HTTP/1.1", std::string("x\0y", 3)},
        {kHttpPost, "", {}, "POST / HTTP/1.1", ""},
        {kHttpPut, "p", {}, "PUT / HTTP/1.1", "p"},
        {kHttpOptions, "", {}, "OPTIONS / HTTP/1.1", ""},
        {kHttpDelete, "", {}, "DELETE / HTTP/1.1", ""},
        {kHttpTrace, "", {}, "TRACE / HTTP/1.1", ""},
        {kHttpGet, "g", {}, "GET / HTTP/1.1", "g"},
        {8, "", {}, "GET / HTTP/1.1", ""},
        {-1, "", {}, "GET / HTTP/1.1", ""},
    };
    for (const Case& c : cases) {
        HttpRequest request;
        request.url = server.Url("/");
        request.method = c.method;
        request.postText = c.postText;
        request.postBytes = c.postBytes;
        EXPECT_EQ(HttpClient::Send(request), "ok") << c.requestLine;
        const ServerRequest sent = server.Requests().back();
        EXPECT_EQ(RequestLine(sent), c.requestLine);
        EXPECT_EQ(sent.body, c.body) << c.requestLine;
        EXPECT_EQ(sent.Header("Expect"), "") << c.requestLine;
        // The form type goes out for POST only, as a default; a body alone does not bring one.
        EXPECT_EQ(sent.Header("Content-Type"), c.method == kHttpPost ? "application/x-www-form-urlencoded" : "")
            << c.requestLine;
    }
    HttpRequest head;
    head.url = server.Url("/");
    head.method = kHttpHead;
    EXPECT_EQ(HttpClient::Send(head), "");
    EXPECT_EQ(head.statusText, "200 OK");
    EXPECT_EQ(RequestLine(server.Requests().back()), "HEAD / HTTP/1.1");
}

TEST(HttpClientSend, HotSearchRequestOverHttpsWithEveryCertificateFault) {
    // The fixture's certificate is self-signed, expired, for another name and for client use.
    LoopbackServer server([](const ServerRequest&) { return ServerReply::Http(200, "<html>list</html>"); },
                          LoopbackServer::Transport::Tls);
    HttpRequest request;
    request.url = server.Url("/top/summary?cate=realtimehot");
    request.headers = "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8\r\n"
                      "Accept-Language: zh-CN,zh;q=0.9\r\nCache-Control: no-cache\r\nConnection: keep-alive\r\n"
                      "Host: s.weibo.com\r\nPragma: no-cache\r\nUpgrade-Insecure-Requests: 1\r\n"
                      "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
                      "Chrome/69.0.3497.100 Safari/537.3";
    EXPECT_EQ(HttpClient::Send(request), "<html>list</html>");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].raw,
              "GET /top/summary?cate=realtimehot HTTP/1.1\r\n"
              "Host: s.weibo.com\r\n" // curl puts the caller's Host line first
              "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8\r\n"
              "Accept-Language: zh-CN,zh;q=0.9\r\nCache-Control: no-cache\r\n"
              "Pragma: no-cache\r\nUpgrade-Insecure-Requests: 1\r\n"
              "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
              "Chrome/69.0.3497.100 Safari/537.3\r\n"
              "Accept-Encoding: gbk, GB2312\r\n\r\n");
}

TEST(HttpClientSend, ErrorStatusIsNoFailure) {
    LoopbackServer server([](const ServerRequest&) { return ServerReply::Http(404, "<h1>gone</h1>"); });
    HttpRequest request;
    request.url = server.Url("/missing");
    EXPECT_EQ(HttpClient::Send(request), "<h1>gone</h1>");
    EXPECT_EQ(request.statusText, "404 Not Found");
}

TEST(HttpClientSend, HeaderLinesLocationAndCookies) {
    LoopbackServer server([](const ServerRequest&) {
        return Raw("HTTP/1.1 200 OK\r\nLocation: /first\r\nlocation: /second\r\n"
                   "Set-Cookie: SUB=abc; path=/; domain=x\r\nset-cookie: low=1\r\nSet-Cookie: k=v\r\n"
                   "Set-Cookie: b=deleted; expires=Thu, 01 Jan 1970 00:00:00 GMT\r\n"
                   "Content-Length: 2\r\nConnection: close\r\n\r\nhi");
    });
    struct Case {
        const char* name;
        Text cookies;
        bool merge;
        Text responseCookiesBefore;
        Text cookiesAfter;
        Text responseCookiesAfter;
    };
    const Case cases[] = {
        {"no caller cookies: collected only, lower-case name skipped", "", true, "",
         "", "SUB=abc; k=v; b=deleted"},
        {"earlier pairs stay in front", "", true, "pre=0", "", "pre=0SUB=abc; k=v; b=deleted"},
        {"merged into both, deleted pair removes the caller's", "a=1; b=2; k=old", true, "",
         "SUB=abc; k=v; a=1", "SUB=abc; k=v; a=1"},
        {"merging off", "a=1", false, "", "a=1", "SUB=abc; k=v; b=deleted"},
    };
    for (const Case& c : cases) {
        HttpRequest request;
        request.url = server.Url("/");
        request.cookies = c.cookies;
        request.mergeCookies = c.merge;
        request.responseCookies = c.responseCookiesBefore;
        EXPECT_EQ(HttpClient::Send(request), "hi") << c.name;
        EXPECT_EQ(request.location, "/second") << c.name;
        EXPECT_EQ(request.cookies, c.cookiesAfter) << c.name;
        EXPECT_EQ(request.responseCookies, c.responseCookiesAfter) << c.name;
        if (!c.cookies.empty()) {
            // One Cookie line from curl's cookie engine, which orders the pairs its own way.
            TextArray sent = SplitText(server.Requests().back().Header("Cookie"), "; ");
            TextArray given = SplitText(c.cookies, "; ");
            std::sort(sent.begin(), sent.end());
            std::sort(given.begin(), given.end());
            EXPECT_EQ(sent, given) << c.name;
        }
    }
}

TEST(HttpClientSend, RedirectsFollowedOrNot) {
    LoopbackServer server([](const ServerRequest& r) {
        if (r.target == "/old")
            return ServerReply::Http(302, "moved", "Location: /new\r\nSet-Cookie: hop=1\r\n");
        if (r.target == "/loop")
            return ServerReply::Http(302, "", "Location: /loop\r\n");
        return ServerReply::Http(200, "new:" + r.Header("Cookie"));
    });
    HttpRequest followed = MarkedRequest(server.Url("/old"));
    EXPECT_EQ(HttpClient::Send(followed), "new:");
    EXPECT_EQ(followed.statusText, "200 OK");
    EXPECT_EQ(followed.responseHeaders.substr(0, 17), "HTTP/1.1 200 OK\r\n"); // the final response only
    EXPECT_EQ(followed.location, "location?");                            // it has no Location line
    EXPECT_EQ(followed.responseCookies, "old=1");                         // nor a Set-Cookie line

    // With cookies of its own the call lets curl carry a cookie set on the way.
    HttpRequest withCookies;
    withCookies.url = server.Url("/old");
    withCookies.cookies = "mine=1";
    EXPECT_EQ(HttpClient::Send(withCookies), "new:mine=1; hop=1");

    HttpRequest notFollowed;
    notFollowed.url = server.Url("/old");
    notFollowed.noRedirect = true;
    EXPECT_EQ(HttpClient::Send(notFollowed), "moved");
    EXPECT_EQ(notFollowed.statusText, "302 Found");
    EXPECT_EQ(notFollowed.location, "/new");
    EXPECT_EQ(notFollowed.responseCookies, "hop=1");

    HttpRequest loop;
    loop.url = server.Url("/loop");
    EXPECT_EQ(HttpClient::Send(loop), "");
    EXPECT_EQ(loop.statusText, kNoResponse);
    EXPECT_EQ(server.Requests().size(), 2u + 2u + 1u + 11u);
}

TEST(HttpClientSend, NoRedirectFromHttpsToHttp) {
    LoopbackServer plain([](const ServerRequest&) { return ServerReply::Http(200, "insecure"); });
    LoopbackServer secure([&](const ServerRequest&) {
        return ServerReply::Http(301, "", "Location: " + plain.Url("/x") + "\r\n");
    }, LoopbackServer::Transport::Tls);
    HttpRequest request;
    request.url = secure.Url("/");
    EXPECT_EQ(HttpClient::Send(request), "");
    EXPECT_EQ(request.statusText, "301 Moved Permanently");
    EXPECT_EQ(request.location, plain.Url("/x"));
    EXPECT_TRUE(plain.Requests().empty());
}

TEST(HttpClientSend, ProxyWithAndWithoutCredentials) {
    LoopbackServer origin([](const ServerRequest& r) { return ServerReply::Http(200, "via " + r.target); });
    LoopbackServer secureOrigin([](const ServerRequest&) { return ServerReply::Http(200, "tunnelled"); },
                                LoopbackServer::Transport::Tls);
    LoopbackProxy open;
    LoopbackProxy guarded("pu", "pp");

    HttpRequest plain;
    plain.url = origin.Url("/a");
    plain.proxy = open.HostPort();
    EXPECT_EQ(HttpClient::Send(plain), "via /a");
    EXPECT_EQ(RequestLine(open.Requests().back()), "GET " + origin.Url("/a") + " HTTP/1.1");

    HttpRequest tunnel;
    tunnel.url = secureOrigin.Url("/b");
    tunnel.proxy = open.HostPort();
    EXPECT_EQ(HttpClient::Send(tunnel), "tunnelled");
    EXPECT_EQ(RequestLine(open.Requests().back()), "CONNECT " + secureOrigin.HostPort() + " HTTP/1.1");

    HttpRequest credentials;
    credentials.url = origin.Url("/c");
    credentials.proxy = guarded.HostPort();
    credentials.proxyUserName = "pu";
    credentials.proxyPassword = "pp";
    EXPECT_EQ(HttpClient::Send(credentials), "via /c");
    EXPECT_EQ(guarded.Requests().back().Header("Proxy-Authorization"), "Basic " + velk::test::Base64("pu:pp"));
    EXPECT_EQ(origin.Requests().back().Header("Proxy-Authorization"), "");

    HttpRequest missing;
    missing.url = origin.Url("/d");
    missing.proxy = guarded.HostPort();
    missing.proxyUserName = "pu"; // without a password no credentials are set
    EXPECT_EQ(HttpClient::Send(missing), "proxy credentials wanted");
    EXPECT_EQ(missing.statusText, "407 Proxy Authentication Required");

    HttpRequest refusedTunnel;
    refusedTunnel.url = secureOrigin.Url("/e");
    refusedTunnel.proxy = guarded.HostPort();
    EXPECT_EQ(HttpClient::Send(refusedTunnel), "");
    EXPECT_EQ(refusedTunnel.statusText, kSendFailed);
}

TEST(HttpClientSend, ServerBasicCredentials) {
    LoopbackServer server([](const ServerRequest& r) { return ServerReply::Http(200, r.Header("Authorization")); });
    HttpRequest both;
    both.url = server.Url("/");
    both.userName = "user";
    both.password = "pass";
    EXPECT_EQ(HttpClient::Send(both), "Basic dXNlcjpwYXNz");

    HttpRequest userOnly;
    userOnly.url = server.Url("/");
    userOnly.userName = "user";
    EXPECT_EQ(HttpClient::Send(userOnly), "");
    EXPECT_EQ(userOnly.statusText, "200 OK");

    // Credentials written into the address are not used.
    HttpRequest inUrl;
    inUrl.url = "http://user:pass@" + server.HostPort() + "/";
    EXPECT_EQ(HttpClient::Send(inUrl), "");
    EXPECT_EQ(inUrl.statusText, "200 OK");
}

TEST(HttpClientSend, UrlsThatCannotBeParsed) {
    const std::string port = std::to_string(velk::test::UnusedPort());
    const std::string cases[] = {
        "",
        "ftp://127.0.0.1:" + port + "/",
        "file:///etc/passwd",
        "127.0.0.1:" + port + "/x",
        "http:///x",
        "http://127.0.0.1:99999/",
        "http://127.0.0.1:0/",
        "http://127.0.0.1:abc/",
        "http://127.0.0.1:" + port + "/a b",
        "http://127.0.0.1:" + port + "/a\r\nX: 1",
    };
    for (const std::string& url : cases) {
        HttpRequest request = MarkedRequest(url);
        EXPECT_EQ(HttpClient::Send(request), "") << url;
        EXPECT_EQ(request.statusText, kBadUrl) << url;
        ExpectOutputsUntouched(request);
    }
}

TEST(HttpClientSend, UrlShapes) {
    LoopbackServer server([](const ServerRequest& r) { return ServerReply::Http(200, r.target); });
    const std::string base = "http://" + server.HostPort();
    EXPECT_EQ(Get(base + "?q=1"), "/");                         // no path: "/" and the query is not sent
    EXPECT_EQ(Get(base), "/");
    EXPECT_EQ(Get(base + "/p?q=1#frag"), "/p?q=1");
    EXPECT_EQ(Get("HTTP://" + server.HostPort() + "/up"), "/up");
    EXPECT_EQ(Get(base + "/s?k=\xd6\xd0"), "/s?k=%E4%B8%AD"); // code page 936 goes out as UTF-8
}

TEST(HttpClientSend, BrokenTransfers) {
    const std::string length100 = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
    LoopbackServer server([&](const ServerRequest& r) {
        if (r.target == "/zero")
            return ServerReply::Http(200, std::string("ab\0cd", 5));
        if (r.target == "/midbody")
            return Raw(length100 + "0123456789");
        if (r.target == "/stall") {
            ServerReply reply = Raw(length100 + "01234");
            reply.hangAfter = true;
            return reply;
        }
        if (r.target == "/silent") {
            ServerReply reply;
            reply.delay = std::chrono::seconds(30);
            reply.closeWithoutReply = true;
            return reply;
        }
        if (r.target == "/nothing") {
            ServerReply reply;
            reply.closeWithoutReply = true;
            return reply;
        }
        return Raw("");
    });
    struct Case {
        std::string target;
        std::string result;
        std::string body;
        Text status;
    };
    const Case cases[] = {
        {"/zero", "ab", std::string("ab\0cd", 5), "200 OK"},
        {"/midbody", "0123456789", "0123456789", "200 OK"}, // read failure: the bytes so far are kept
        {"/stall", "01234", "01234", "200 OK"},
        {"/silent", "", "body?", kNoResponse},
        {"/nothing", "", "body?", kNoResponse},
    };
    for (const Case& c : cases) {
        HttpRequest request = MarkedRequest(server.Url(c.target));
        request.timeoutSeconds = 1;
        EXPECT_EQ(HttpClient::Send(request), c.result) << c.target;
        EXPECT_EQ(ToText(request.responseBody), c.body) << c.target;
        EXPECT_EQ(request.statusText, c.status) << c.target;
    }
    HttpRequest refused = MarkedRequest("http://127.0.0.1:" + std::to_string(velk::test::UnusedPort()) + "/");
    EXPECT_EQ(HttpClient::Send(refused), "");
    EXPECT_EQ(refused.statusText, kSendFailed);
    ExpectOutputsUntouched(refused);
}

TEST(HttpClientSend, OddResponseHeaders) {
    struct Case {
        std::string name;
        std::string reply;
        Text status;
        Text result;
        Text headers; // expected responseHeaders; "-" when the call fails and leaves it alone
    };
    const Case cases[] = {
        {"no reason phrase", "HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok", "200", "ok",
         "HTTP/1.1 200\r\nContent-Length: 2\r\n\r\n"},
        {"Set-Cookie: without a blank is no cookie line", "HTTP/1.1 200 OK\r\nSet-Cookie:tight=1\r\n\r\nok", "200 OK",
         "ok", "HTTP/1.1 200 OK\r\nSet-Cookie:tight=1\r\n\r\n"},
        {"HTTP/1.0 body until close", "HTTP/1.0 200 Fine\r\n\r\nuntil close", "200 Fine", "until close",
         "HTTP/1.0 200 Fine\r\n\r\n"},
        {"bare line feeds become CRLF", "HTTP/1.1 200 OK\nA: b\n\nok", "200 OK", "ok", "HTTP/1.1 200 OK\r\nA: b\r\n\r\n"},
        {"an informational response is replaced", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nA: b\r\n\r\nok",
         "200 OK", "ok", "HTTP/1.1 200 OK\r\nA: b\r\n\r\n"},
        {"trailers are not part of the block",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\nX-Trailer: t\r\n\r\n", "200 OK", "ok",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"},
        {"a header line without a colon: curl takes it for no response", "HTTP/1.1 200 OK\r\nX-Odd\r\n\r\nok",
         kNoResponse, "", "-"},
        {"no status line", "NOT HTTP AT ALL\r\n\r\n", kNoResponse, "", "-"},
    };
    for (const Case& c : cases) {
        LoopbackServer server([&](const ServerRequest&) { return Raw(c.reply); });
        HttpRequest request = MarkedRequest(server.Url("/"));
        request.responseCookies.clear();
        EXPECT_EQ(HttpClient::Send(request), c.result) << c.name;
        EXPECT_EQ(request.statusText, c.status) << c.name;
        EXPECT_EQ(request.responseHeaders, c.headers == "-" ? "headers?" : c.headers) << c.name;
        EXPECT_EQ(request.responseCookies, "") << c.name;
    }
    // A header block of a megabyte: curl refuses it (its limit is far lower), with no crash.
    std::string big = "HTTP/1.1 200 OK\r\n";
    while (big.size() < (1u << 20))
        big += "X-Filler: " + std::string(90, 'f') + "\r\n";
    LoopbackServer server([&](const ServerRequest&) { return Raw(big + "Content-Length: 2\r\n\r\nok"); });
    HttpRequest request;
    request.url = server.Url("/");
    EXPECT_EQ(HttpClient::Send(request), "");
    EXPECT_EQ(request.statusText, kNoResponse);
}

TEST(HttpClientSend, BodyCap) {
    constexpr std::size_t kCap = 32u * 1024 * 1024;
    LoopbackServer server([&](const ServerRequest& r) {
        return ServerReply::Http(200, std::string(r.target == "/at" ? kCap : kCap + 1, 'b'));
    });
    HttpRequest at;
    at.url = server.Url("/at");
    EXPECT_EQ(HttpClient::Send(at).size(), kCap);
    EXPECT_EQ(at.statusText, "200 OK");

    HttpRequest past;
    past.url = server.Url("/past");
    EXPECT_EQ(HttpClient::Send(past).size(), kCap);
    EXPECT_EQ(past.responseBody.size(), kCap);
    EXPECT_EQ(past.statusText, "200 OK"); // the headers were read, so the status line wins
}

TEST(HttpClientSend, PumpRunsWhileWaitingAndMayNestAnotherSend) {
    LoopbackServer server([](const ServerRequest& r) {
        ServerReply reply = ServerReply::Http(200, "body of " + r.target);
        if (r.target == "/slow")
            reply.delay = std::chrono::milliseconds(300);
        return reply;
    });
    int calls = 0;
    Text nested;
    MessagePump::Install([&] {
        if (++calls == 3)
            nested = Get(server.Url("/nested"));
    });
    const Text outer = Get(server.Url("/slow"));
    MessagePump::Install(nullptr);
    EXPECT_EQ(outer, "body of /slow");
    EXPECT_EQ(nested, "body of /nested");
    EXPECT_GT(calls, 5); // it ran during the wait, not only between steps
}

TEST(HttpClientSend, LongHandlerInThePumpIsNoServerTimeout) {
    LoopbackServer server([](const ServerRequest&) {
        ServerReply reply = ServerReply::Http(200, "late but there");
        reply.delay = std::chrono::milliseconds(100);
        return reply;
    });
    bool slept = false;
    MessagePump::Install([&] {
        if (!std::exchange(slept, true))
            std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // a modal dialog, say
    });
    HttpRequest request;
    request.url = server.Url("/");
    request.timeoutSeconds = 1;
    const Text result = HttpClient::Send(request);
    MessagePump::Install(nullptr);
    EXPECT_EQ(result, "late but there");
}

TEST(HttpClientSend, CallsOnSeveralThreadsAtOnce) {
    // The interface thread and a worker fetch at the same time; each call has its own handles.
    LoopbackServer plain([](const ServerRequest& r) { return ServerReply::Http(200, "p" + r.target); });
    LoopbackServer secure([](const ServerRequest& r) { return ServerReply::Http(200, "s" + r.target); },
                          LoopbackServer::Transport::Tls);
    Text results[4];
    std::thread workers[4];
    for (int i = 0; i < 4; ++i) {
        workers[i] = std::thread([&, i] {
            for (int n = 0; n < 5; ++n) {
                LoopbackServer& server = i % 2 ? secure : plain;
                results[i] += Get(server.Url("/" + std::to_string(i)));
            }
        });
    }
    for (std::thread& t : workers)
        t.join();
    for (int i = 0; i < 4; ++i) {
        const std::string one = (i % 2 ? "s/" : "p/") + std::to_string(i);
        EXPECT_EQ(results[i], one + one + one + one + one);
    }
}

} // namespace
