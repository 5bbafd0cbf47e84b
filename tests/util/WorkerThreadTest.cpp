#include "util/WorkerThread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace velk;

namespace {

// What a routine received, collected under a lock and waited for by the test.
struct Received {
    std::int32_t value = 0;
    bool present[4] = {};
    std::string texts[4];
};

std::mutex g_mutex;
std::condition_variable g_changed;
std::vector<Received> g_received;

void Record(std::int32_t value, const char* t1, const char* t2, const char* t3, const char* t4) {
    Received r;
    r.value = value;
    const char* all[4] = {t1, t2, t3, t4};
    for (int i = 0; i < 4; ++i) {
        r.present[i] = all[i] != nullptr;
        if (all[i])
            r.texts[i] = all[i];
    }
    std::lock_guard lock(g_mutex);
    g_received.push_back(r);
    g_changed.notify_all();
}

std::vector<Received> WaitFor(std::size_t count) {
    std::unique_lock lock(g_mutex);
    g_changed.wait_for(lock, std::chrono::seconds(10), [&] { return g_received.size() >= count; });
    auto result = g_received;
    g_received.clear();
    return result;
}

TEST(WorkerThread, PassesIntegerAndTexts) {
    EXPECT_NE(WorkerThread::StartWithArguments(Record, -1, "a", "\xD6\xD0", "c", "d"), 0u);
    auto got = WaitFor(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].value, -1);
    const char* expected[4] = {"a", "\xD6\xD0", "c", "d"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(got[0].present[i]);
        EXPECT_EQ(got[0].texts[i], expected[i]);
    }
}

TEST(WorkerThread, EmptyOrOmittedTextsArriveAsNull) {
    WorkerThread::StartWithArguments(Record, 2147483647);
    WorkerThread::StartWithArguments(Record, -2147483647 - 1, "", "", "", "");
    auto got = WaitFor(2);
    ASSERT_EQ(got.size(), 2u);
    for (const auto& r : got) {
        EXPECT_TRUE(r.value == 2147483647 || r.value == -2147483647 - 1);
        for (bool p : r.present)
            EXPECT_FALSE(p);
    }
}

TEST(WorkerThread, ReturnsBeforeABlockingRoutineEnds) {
    static std::atomic<bool> release{false};
    static std::atomic<bool> finished{false};
    auto blocker = [](std::int32_t, const char*, const char*, const char*, const char*) {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        finished = true;
    };
    WorkerThread::StartWithArguments(blocker, 0, "x");
    EXPECT_FALSE(finished); // the starter is back while the routine still waits
    release = true;
    for (int i = 0; i < 10000 && !finished; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(finished);
}

TEST(WorkerThread, ManyStartsWithCallerTextsFreedAtOnce) {
    constexpr int kStarts = 64;
    for (int i = 0; i < kStarts; ++i) {
        auto code = std::make_unique<std::string>("code" + std::to_string(i));
        auto row = std::make_unique<std::string>(std::to_string(i));
        WorkerThread::StartWithArguments(Record, i, *code, *row);
        code->assign("XXXXXXXX"); // changed, then freed right after the start
        code.reset();
        row.reset();
    }
    auto got = WaitFor(kStarts);
    ASSERT_EQ(got.size(), static_cast<std::size_t>(kStarts));
    std::vector<bool> seen(kStarts);
    for (const auto& r : got) {
        ASSERT_GE(r.value, 0);
        ASSERT_LT(r.value, kStarts);
        EXPECT_EQ(r.texts[0], "code" + std::to_string(r.value));
        EXPECT_EQ(r.texts[1], std::to_string(r.value));
        EXPECT_FALSE(r.present[2]);
        seen[r.value] = true;
    }
    for (bool s : seen)
        EXPECT_TRUE(s);
}

TEST(WorkerThread, StartHandsOverItsParameter) {
    static std::atomic<std::uintptr_t> got{0};
    ThreadHandle id = 0;
    EXPECT_NE(WorkerThread::Start([](std::uintptr_t p) { got = p + 1; }, 41, &id), 0u);
    EXPECT_NE(id, 0u);
    for (int i = 0; i < 10000 && got == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(got, 42u);
}

TEST(WorkerThread, NoRoutineCallsNothing) {
    ThreadArgumentBlock block; // routine absent
    WorkerThread::RunWithArguments(block);
    EXPECT_EQ(WorkerThread::Start(nullptr), 0u);
}

} // namespace
