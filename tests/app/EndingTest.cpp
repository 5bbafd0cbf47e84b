#include <chrono>

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/LoopbackServer.h"

using velk::test::LoopbackServer;
using velk::test::ServerReply;
using velk::test::ServerRequest;

namespace {

TEST(Ending, CloseWhileWorkersHangOnAServerEndsWithZero) {
    // Every request waits far longer than the test allows the program to take.
    LoopbackServer server([](const ServerRequest&) {
        ServerReply reply = ServerReply::Http(200, "late");
        reply.delay = std::chrono::minutes(5);
        return reply;
    });
    QTemporaryDir folder;
    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedChannels);
    probe.start(QStringLiteral(VELK_ENDING_PROBE),
                {QString::fromStdString(server.HostPort()), folder.path()});
    ASSERT_TRUE(probe.waitForStarted(10000));
    const bool finished = probe.waitForFinished(20000);
    if (!finished)
        probe.kill();
    ASSERT_TRUE(finished) << "the program waited for its workers";
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe.exitCode(), 0);
    // The workers had reached the server: eight downloads and the hot-search request.
    EXPECT_EQ(server.Requests().size(), 9u);
    server.Stop();
}

} // namespace
