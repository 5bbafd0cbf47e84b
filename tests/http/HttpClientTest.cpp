#include "http/HttpClient.h"

#include <gtest/gtest.h>

#include "tests/support/LoopbackServer.h"

using namespace velk;
using velk::test::LoopbackServer;
using velk::test::ServerReply;
using velk::test::ServerRequest;

namespace {

TEST(HttpClientSend, PlainGetReturnsBodyAndStatus) {
    LoopbackServer server([](const ServerRequest&) { return ServerReply::Http(200, "banomedals({});"); });
    HttpRequest request;
    request.url = server.Url("/feed?x=1");
    EXPECT_EQ(HttpClient::Send(request), "banomedals({});");
    EXPECT_EQ(request.statusText, "200 OK");
    EXPECT_EQ(request.responseHeaders.substr(0, 17), "HTTP/1.1 200 OK\r\n");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].raw.substr(0, requests[0].raw.find("\r\n")), "GET /feed?x=1 HTTP/1.1");
}

} // namespace
