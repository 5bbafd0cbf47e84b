#include <chrono>
#include <string>

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/LoopbackServer.h"

using velk::test::LoopbackServer;
using velk::test::ServerReply;
using velk::test::ServerRequest;

namespace {

struct ProbeRun {
    bool finished = false;
    int exitCode = -1;
    std::string output;
};

// Runs the probe against the server; a probe still running after `limit` is killed.
ProbeRun RunProbe(const char* mode, const LoopbackServer& server, int limitMs) {
    QTemporaryDir folder;
    QProcess probe;
    probe.setProcessChannelMode(QProcess::SeparateChannels);
    probe.setReadChannel(QProcess::StandardOutput);
    probe.start(QStringLiteral(VELK_ENDING_PROBE),
                {QString::fromUtf8(mode), QString::fromStdString(server.HostPort()), folder.path()});
    ProbeRun run;
    if (!probe.waitForStarted(10000))
        return run;
    run.finished = probe.waitForFinished(limitMs);
    if (!run.finished) {
        probe.kill();
        probe.waitForFinished();
    }
    run.output = probe.readAllStandardOutput().toStdString();
    const std::string errors = probe.readAllStandardError().toStdString();
    if (errors.find("Sanitizer") != std::string::npos)
        ADD_FAILURE() << errors;
    run.exitCode = probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1;
    return run;
}

TEST(Ending, CloseWhileWorkersHangOnAServerEndsWithZero) {
    // Every request waits far longer than the program may take to end (the HTTP routines give up
    // after 30 s, so a program that waited for its workers would not end within 20 s).
    LoopbackServer server([](const ServerRequest&) {
        ServerReply reply = ServerReply::Http(200, "late");
        reply.delay = std::chrono::minutes(5);
        return reply;
    });
    const ProbeRun run = RunProbe("workers", server, 20000);
    ASSERT_TRUE(run.finished) << "the program waited for its workers";
    EXPECT_EQ(run.exitCode, 0) << run.output; // 3: the exit clean-up did not run
    EXPECT_NE(run.output.find("run returned: 0\n"), std::string::npos) << run.output;
    // The workers had reached the server: eight downloads and the hot-search request.
    EXPECT_EQ(server.Requests().size(), 9u);
    server.Stop();
}

TEST(Ending, ANoticeIsShownItsAddressOpenedAndTheProgramEndsWithZero) {
    LoopbackServer server([](const ServerRequest&) {
        return ServerReply::Http(
            200, "\xE7\x89\x88\xE6\x9C\xAC\xE8\xBF\x87\xE6\x97\xA7 {{https://maker.test/new}}");
    });
    const ProbeRun run = RunProbe("notice", server, 60000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output, "caption: 信息：\n"
                          "text: 版本过旧 {{https://maker.test/new}}\n"
                          "buttons: 1\n"
                          "window shown: no\n"
                          "open: https://maker.test/new\n"
                          "run returned: 0\n");
    // The notice request alone: no medal refresh, no worker.
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target.rfind("/velk1.txt?", 0), 0u) << requests[0].target;
}

TEST(Ending, AnAnswerOfZeroLetsTheStartGoOn) {
    LoopbackServer server([](const ServerRequest& r) {
        if (r.target.rfind("/velk1.txt?", 0) == 0)
            return ServerReply::Http(200, "0");
        ServerReply reply = ServerReply::Http(200, "late");
        reply.delay = std::chrono::minutes(5);
        return reply;
    });
    const ProbeRun run = RunProbe("notice", server, 20000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output, "step: medals\nrun returned: 0\n");
    server.Stop();
}

} // namespace
