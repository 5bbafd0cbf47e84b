#include "tests/e2e/ProcessStats.h"

#include <fstream>
#include <sstream>
#include <string>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

namespace velk::test {
namespace {

// The number after "<key>:" in /proc/self/status.
std::int64_t StatusField(const std::string& key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, key.size() + 1, key + ":") == 0)
            return std::stoll(line.substr(key.size() + 1));
    }
    return -1;
}

} // namespace

std::int64_t ProcessStats::RssKb() { return StatusField("VmRSS"); }

std::int64_t ProcessStats::PeakRssKb() { return StatusField("VmHWM"); }

std::int64_t ProcessStats::ThreadCount() { return StatusField("Threads"); }

double ProcessStats::CpuMs() {
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return -1;
    auto ms = [](const timeval& t) { return double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double ProcessStats::MsSinceProcessStart() {
    std::ifstream in("/proc/self/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Field 2 (the command name) is in parentheses and may hold blanks: count from the last ')'.
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    // After the name come field 3 (state) onwards; the start time is field 22.
    for (int number = 3; number < 22 && fields >> field; ++number) {
    }
    unsigned long long startTicks = 0;
    if (!(fields >> startTicks))
        return -1;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double ticksPerSecond = double(sysconf(_SC_CLK_TCK));
    const double nowMs = double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
    return nowMs - double(startTicks) * 1000.0 / ticksPerSecond;
}

} // namespace velk::test
