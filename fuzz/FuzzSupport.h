#pragma once
// Helpers shared by the fuzz targets: a check that stops the run with a message libFuzzer keeps
// next to the crash input, and the pickers for the numeric arguments of the routines under test.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <fuzzer/FuzzedDataProvider.h>

namespace velk::fuzz {

// A broken property is reported like a crash, so the input that shows it is saved.
inline void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

// Mostly a small position or length near the texts the fuzzer builds, now and then any int32
// (the extremes are where sign and overflow faults sit).
inline std::int32_t ConsumeSmallOrAny(FuzzedDataProvider& in, std::int32_t bound) {
    if (in.ConsumeIntegralInRange<std::uint8_t>(0, 7) == 0)
        return in.ConsumeIntegral<std::int32_t>();
    return in.ConsumeIntegralInRange<std::int32_t>(-bound, bound);
}

} // namespace velk::fuzz
