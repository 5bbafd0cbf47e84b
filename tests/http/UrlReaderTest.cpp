#include "http/UrlReader.h"

#include <gtest/gtest.h>

#include "tests/support/LoopbackServer.h"

using namespace velk;
using velk::test::LoopbackServer;
using velk::test::ServerReply;
using velk::test::ServerRequest;

namespace {

TEST(UrlReader, PlainGetReturnsBodyWhateverTheStatus) {
    LoopbackServer server([](const ServerRequest& r) {
        if (r.target == "/missing.png")
            return ServerReply::Http(404, std::string("not\0here", 8));
        return ServerReply::Http(200, "PNGDATA");
    });
    EXPECT_EQ(ToText(UrlReader::Read(server.Url("/flag.png"))), "PNGDATA");
    EXPECT_EQ(ToText(UrlReader::Read(server.Url("/missing.png"))), std::string("not\0here", 8));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].raw.substr(0, requests[0].raw.find("\r\n")), "GET /flag.png HTTP/1.0");
    EXPECT_EQ(requests[0].Header("Accept"), "*/*");
    EXPECT_EQ(requests[0].Header("Pragma"), "no-cache");
}

TEST(UrlReader, FailuresGiveEmptyBytes) {
    LoopbackServer server([](const ServerRequest&) {
        ServerReply reply;
        reply.closeWithoutReply = true;
        return reply;
    });
    EXPECT_TRUE(UrlReader::Read(server.Url("/x")).empty());
    EXPECT_TRUE(UrlReader::Read("http://127.0.0.1:" + std::to_string(velk::test::UnusedPort()) + "/x").empty());
    EXPECT_TRUE(UrlReader::Read("").empty());
    EXPECT_TRUE(UrlReader::Read("file:///etc/passwd").empty());
    EXPECT_TRUE(UrlReader::Read("not a url").empty());
}

TEST(UrlReader, BodyCapIsAFailure) {
    constexpr std::size_t kCap = 32u * 1024 * 1024;
    LoopbackServer server([&](const ServerRequest& r) {
        return ServerReply::Http(200, std::string(r.target == "/at" ? kCap : kCap + 1, 'b'));
    });
    EXPECT_EQ(UrlReader::Read(server.Url("/at")).size(), kCap);
    EXPECT_TRUE(UrlReader::Read(server.Url("/past")).empty());
}

} // namespace
