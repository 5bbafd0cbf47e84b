#include "http/HttpHeaders.h"

#include <gtest/gtest.h>

#include "http/HttpClient.h"

using namespace velk;

namespace {

const Text kUserAgent = "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)";
const Text kAccept = "Accept: text/html, application/xhtml+xml, */*";
const Text kAcceptEncoding = "Accept-Encoding: gbk, GB2312";
const Text kAcceptLanguage = "Accept-Language: zh-cn";
const Text kCacheControl = "Cache-Control: no-cache";
const Text kFormType = "Content-Type: application/x-www-form-urlencoded";

Text Lines(std::initializer_list<Text> lines) {
    Text out;
    for (const Text& line : lines)
        out += (out.empty() ? "" : "\r\n") + line;
    return out;
}

TEST(HttpHeadersBuild, DefaultsForGetAndPost) {
    EXPECT_EQ(HttpHeaders::BuildHeaderBlock("", kHttpGet, "", true, true),
              Lines({kUserAgent, kAccept, kAcceptEncoding, kAcceptLanguage, kCacheControl}));
    EXPECT_EQ(HttpHeaders::BuildHeaderBlock("", kHttpPost, "", true, true),
              Lines({kUserAgent, kAccept, kAcceptEncoding, kAcceptLanguage, kFormType, kCacheControl}));
    // Only POST gets the form type; an unknown method number is no POST.
    EXPECT_EQ(HttpHeaders::BuildHeaderBlock("", 8, "", true, true),
              HttpHeaders::BuildHeaderBlock("", kHttpGet, "", true, true));
    EXPECT_EQ(HttpHeaders::BuildHeaderBlock("", kHttpGet, "", false, true), "");
}

TEST(HttpHeadersBuild, HotSearchBlockGetsOnlyAcceptEncodingAndLosesKeepAlive) {
    const Text userAgent = "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
                           "Chrome/69.0.3497.100 Safari/537.3";
    const Text caller = Lines({"Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8",
                               "Accept-Language: zh-CN,zh;q=0.9", "Cache-Control: no-cache",
                               "Connection: keep-alive", "Host: s.weibo.com", "Pragma: no-cache",
                               "Upgrade-Insecure-Requests: 1", userAgent});
    EXPECT_EQ(HttpHeaders::BuildHeaderBlock(caller, kHttpGet, "", true, true),
              Lines({"Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8",
                     "Accept-Language: zh-CN,zh;q=0.9", "Cache-Control: no-cache", "Host: s.weibo.com",
                     "Pragma: no-cache", "Upgrade-Insecure-Requests: 1", userAgent, kAcceptEncoding}));
}

TEST(HttpHeadersBuild, CallerLinesAndCookies) {
    struct Case {
        const char* name;
        Text headers;
        std::int32_t method;
        Text cookies;
        bool defaults;
        bool normalise;
        Text expected;
    };
    const Case cases[] = {
        {"lower-case caller line suppresses the default and is capitalised", "accept-encoding: x", kHttpGet, "",
         true, true, Lines({"Accept-Encoding: x", kUserAgent, kAccept, kAcceptLanguage, kCacheControl})},
        {"presence is a substring search: a value naming a header counts", "X-Note: Accept: yes", kHttpGet, "",
         true, true, Lines({"X-Note: Accept: yes", kUserAgent, kAcceptEncoding, kAcceptLanguage, kCacheControl})},
        {"Content-Type without a blank counts for POST", "content-type:text/plain", kHttpPost, "", true, true,
         Lines({"Content-Type:text/plain", kUserAgent, kAccept, kAcceptEncoding, kAcceptLanguage, kCacheControl})},
        {"Keep-Alive with a capital K stays", "Connection: Keep-Alive", kHttpGet, "", false, true,
         "Connection: Keep-Alive"},
        {"keep-alive before another line goes", "Connection: keep-alive\r\nX: 1", kHttpGet, "", false, true, "X: 1"},
        {"keep-alive that ends the block stays", "X: 1\r\nConnection: keep-alive", kHttpGet, "", false, true,
         "X: 1\r\nConnection: keep-alive"},
        {"cookie text becomes a Cookie line", "X: 1", kHttpGet, "a=1; b=2", false, true, "X: 1\r\nCookie: a=1; b=2\r\n"},
        {"cookie text that is a Cookie line goes as it is", "X: 1", kHttpGet, "cookie: a=1", false, true,
         "X: 1\r\ncookie: a=1\r\n"},
        {"a Set-Cookie line in the block keeps the cookies out", "X: Set-Cookie: z", kHttpGet, "a=1", false, true,
         "X: Set-Cookie: z"},
        {"without normalising the final CRLF stays and an empty line precedes the cookies", "x-a: 1", kHttpGet,
         "a=1", false, false, "x-a: 1\r\n\r\nCookie: a=1\r\n"},
        {"cookies alone", "", kHttpGet, "a=1", false, true, "\r\nCookie: a=1\r\n"},
        {"lines without a colon and empty lines go", "junk\r\n\r\nX: 1", kHttpGet, "", false, true, "X: 1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HttpHeaders::BuildHeaderBlock(c.headers, c.method, c.cookies, c.defaults, c.normalise), c.expected)
            << c.name;
}

TEST(HttpHeadersNormalise, CapitalisesEachHyphenatedWordOnly) {
    const std::pair<Text, Text> cases[] = {
        {"user-agent: a", "User-Agent: a"},
        {"ACCEPT: a", "ACCEPT: a"},
        {"content-TYPE: a", "Content-TYPE: a"},
        {"x-: a", "X-: a"},           // a trailing hyphen survives through the rest of the line
        {"-x: a", "-X: a"},
        {"a--b: c", "A--B: c"},
        {": a", ": a"},
        {"host: \xd6\xd0: x", "Host: \xd6\xd0: x"}, // only the name is touched
        {"no colon", ""},
        {"a: 1\r\n\r\nb: 2\r\n", "A: 1\r\nB: 2"},
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(HttpHeaders::NormaliseHeaderNames(in), out) << in;
    EXPECT_EQ(HttpHeaders::CapitaliseFirst("\xe1x"), "\xe1x");
}

TEST(HttpHeadersValue, FirstLineStartingWithTheName) {
    const Text block = "Connection-Id: 7\r\nConnection: close\r\nX: 1, X: 2";
    EXPECT_EQ(HttpHeaders::GetHeaderValue(block, "Connection"), ""); // Connection-Id matches first
    EXPECT_EQ(HttpHeaders::GetHeaderValue(block, "X"), "2");          // after the last "X: " of the line
    EXPECT_EQ(HttpHeaders::GetHeaderValue(block, "connection"), "");
    EXPECT_EQ(HttpHeaders::GetHeaderValue("Connection: keep-alive", "Connection"), "keep-alive");
}

} // namespace
