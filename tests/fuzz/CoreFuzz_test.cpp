// The core fuzzer's short run: random whole switches through the tap, the run loop and the
// recorded desktop, every switch invariant checked after every step. A failure prints its seed
// and a minimal sequence; CORVANE_FUZZ_REPLAY set to that sequence replays it alone, and
// CORVANE_FUZZ_SEQUENCES and CORVANE_FUZZ_SEED change the run.
#include "fuzz/CoreFuzzer.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace corvane::testing::fuzz {
namespace {

#ifndef CORVANE_FUZZ_SEQUENCES_DEFAULT
#define CORVANE_FUZZ_SEQUENCES_DEFAULT 20000
#endif

std::uint64_t fromEnvironment(const char* name, std::uint64_t fallback) {
    const char* value = std::getenv(name);
    return value ? std::stoull(value) : fallback;
}

TEST(CoreFuzz, RandomSwitchesKeepEveryInvariant) {
    if (const char* steps = std::getenv("CORVANE_FUZZ_REPLAY")) {
        const auto failure = replay(steps);
        EXPECT_FALSE(failure) << failure->invariant << " after step " << failure->step;
        return;
    }
    const auto finding =
        fuzzSeeds(fromEnvironment("CORVANE_FUZZ_SEED", 1),
                  fromEnvironment("CORVANE_FUZZ_SEQUENCES", CORVANE_FUZZ_SEQUENCES_DEFAULT));
    EXPECT_FALSE(finding) << *finding;
}

} // namespace
} // namespace corvane::testing::fuzz
