#include "http/ResponseDecoder.h"

#include <gtest/gtest.h>

#include "http/HttpClient.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/RealData.h"
#include "util/Encoding.h"

using namespace velk;
using velk::test::LoopbackServer;
using velk::test::ServerReply;
using velk::test::ServerRequest;

namespace {

const Text kZhongWenUtf8 = "\xe4\xb8\xad\xe6\x96\x87"; // 中文
const Text kZhongWenGbk = "\xd6\xd0\xce\xc4";
const Text kTraditionalBig5 = "\xa4\xa4\xa4\xe5\xb4\xfa\xb8\xd5"; // 中文測試
const Text kTraditionalGbk = "\xd6\xd0\xce\xc4\x9c\x79\xd4\x87";

// What Send hands the decoder: the body up to its first zero, and the whole body.
Text Decode(const Text& body) {
    Text result = body.substr(0, body.find('\0'));
    ResponseDecoder::DecodeResponseText(result, ToBytes(body));
    return result;
}

TEST(ResponseDecoder, DeclaredCharsets) {
    const Text padding(1100, ' ');
    struct Case {
        const char* name;
        Text body;
        Text expected;
    };
    const Case cases[] = {
        {"utf-8 quoted", "<meta charset=\"utf-8\">" + kZhongWenUtf8, "<meta charset=\"utf-8\">" + kZhongWenGbk},
        {"utf-8 unquoted", "<meta charset=utf-8>" + kZhongWenUtf8, "<meta charset=utf-8>" + kZhongWenGbk},
        {"capitals", "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=UTF-8\">" + kZhongWenUtf8,
         "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=UTF-8\">" + kZhongWenGbk},
        {"gbk as it came", "<meta charset=\"gbk\">" + kZhongWenGbk, "<meta charset=\"gbk\">" + kZhongWenGbk},
        {"gb2312 as it came", "<meta charset=gb2312>" + kZhongWenGbk, "<meta charset=gb2312>" + kZhongWenGbk},
        {"GBK read as code page 936", "<meta charset=GBK>" + kZhongWenGbk, "<meta charset=GBK>" + kZhongWenGbk},
        {"big5", "<meta charset=\"big5\" />" + kTraditionalBig5, "<meta charset=\"big5\" />" + kTraditionalGbk},
        {"meta after byte 1024", padding + "<meta charset=utf-8>" + kZhongWenUtf8,
         padding + "<meta charset=utf-8>" + kZhongWenUtf8},
        {"meta split across a line break", "<meta\r\ncharset=utf-8>" + kZhongWenUtf8,
         "<meta\r\ncharset=utf-8>" + kZhongWenUtf8},
        {"charset iconv does not know", "<meta charset=x-no-such-set>" + kZhongWenUtf8,
         "<meta charset=x-no-such-set>" + kZhongWenUtf8},
        {"no meta: JSONP", "banomedals({\"n\":\"" + kZhongWenUtf8 + "\"});",
         "banomedals({\"n\":\"" + kZhongWenUtf8 + "\"});"},
        {"decoded text ends at a zero byte", "<meta charset=utf-8>" + kZhongWenUtf8 + std::string(1, '\0') + "tail",
         "<meta charset=utf-8>" + kZhongWenGbk},
        {"no zero byte: as far as the result went", std::string("x\0<meta charset=utf-8>", 22), "x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Decode(c.body), c.expected) << c.name;
}

// Twelve real pages served as they are; what Send returns for each.
TEST(ResponseDecoder, RealPagesThroughSend) {
    if (!velk::test::HasRealData())
        GTEST_SKIP() << "no real data";
    enum class Expect { AsItCame, FromUtf8, FromDeclared };
    struct Case {
        const char* file;
        Expect expect;
        const char* declared;
    };
    const Case cases[] = {
        {"gbk__8.baidu.com-app-index.html", Expect::AsItCame, ""},
        {"gb2312__bbs.sjtu.edu.cn-article-not-found.html", Expect::AsItCame, ""},
        {"gb2312__news.baidu.com-licence.html", Expect::AsItCame, ""},
        {"gb2312__servo-test-server-gb2313.html", Expect::AsItCame, ""},
        {"GB2312-uppercase__www.people.com.cn.html", Expect::AsItCame, ""},
        {"utf-8-BOM-no-meta__www.sjtu.edu.cn.html", Expect::AsItCame, ""}, // meta only past byte 1024
        {"utf-8__trust.baidu.com.html", Expect::FromUtf8, ""},
        {"utf-8-unquoted__lingxi.baidu.com.html", Expect::FromUtf8, ""},
        {"UTF-8-uppercase__passport.baidu.com-app.html", Expect::FromUtf8, ""},
        {"utf-8-declared-but-invalid-bytes__news.baidu.com-guoji.html", Expect::FromUtf8, ""},
        {"big5__servo-test-server-big5.html", Expect::FromDeclared, "BIG5"},
        {"Big5-declared-but-utf8-bytes__ash-big5-code-table.html", Expect::FromDeclared, "BIG5"}, // the meta wins
    };
    const auto dir = velk::test::RealDataDir() / "charset";
    LoopbackServer server([&](const ServerRequest& r) {
        return ServerReply::Http(200, velk::test::ReadFileBytes(dir / r.target.substr(1)),
                                 "Content-Type: text/html\r\n");
    });
    for (const Case& c : cases) {
        const std::string page = velk::test::ReadFileBytes(dir / c.file);
        ASSERT_FALSE(page.empty()) << c.file;
        Text expected = page;
        if (c.expect == Expect::FromUtf8) {
            expected = Utf8ToAnsiText(page);
        } else if (c.expect == Expect::FromDeclared) {
            ASSERT_TRUE(CharsetToAnsi(page, c.declared, expected)) << c.file;
        }
        HttpRequest request;
        request.url = server.Url(std::string("/") + c.file);
        const Text result = HttpClient::Send(request);
        EXPECT_EQ(result.size(), expected.size()) << c.file;
        EXPECT_TRUE(result == expected) << c.file;
        EXPECT_EQ(request.responseBody.size(), page.size()) << c.file;
    }
    // Spot checks that the oracle above is not itself wrong: known characters in code page 936.
    HttpRequest big5;
    big5.url = server.Url("/big5__servo-test-server-big5.html");
    EXPECT_NE(HttpClient::Send(big5).find(kTraditionalGbk), std::string::npos);
    HttpRequest lying;
    lying.url = server.Url("/Big5-declared-but-utf8-bytes__ash-big5-code-table.html");
    const std::string lyingPage = velk::test::ReadFileBytes(dir / "Big5-declared-but-utf8-bytes__ash-big5-code-table.html");
    EXPECT_NE(HttpClient::Send(lying), Utf8ToAnsiText(lyingPage));
}

} // namespace
