#pragma once
// Figures of the running process, read from /proc and getrusage: what the probe and the soak
// report about memory, processor time and thread count. Linux only; a figure that cannot be read
// comes back as -1.

#include <cstdint>

namespace velk::test {

class ProcessStats {
public:
    // Resident set size now and its peak so far (VmRSS, VmHWM), in KiB.
    static std::int64_t RssKb();
    static std::int64_t PeakRssKb();
    // Threads of the process now.
    static std::int64_t ThreadCount();
    // User plus system processor time used so far, in milliseconds.
    static double CpuMs();
    // Milliseconds since the kernel started this process (10 ms steps: the clock tick of
    // /proc/self/stat), so that start-up before main() counts too.
    static double MsSinceProcessStart();
};

} // namespace velk::test
