// The core fuzzer at length: plays random whole switches (1,000,000 by default), prints each
// distinct broken invariant once with its seed and a minimal replayable sequence, and the speed
// in sequences per second.
//
//   corvane_fuzz_bench [count] [--seed N] [--replay 'steps']

#include "fuzz/CoreFuzzer.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>

using namespace corvane::testing::fuzz;

int main(int argc, char** argv) {
    std::size_t count = 1'000'000;
    std::uint64_t seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--replay" && value) {
            const auto failure = replay(value);
            if (failure)
                std::printf("replay: %s, after step %zu\n", failure->invariant.c_str(),
                            failure->step);
            else
                std::printf("replay: every invariant held\n");
            return failure ? 1 : 0;
        }
        if (arg == "--seed" && value) {
            seed = std::stoull(value);
            ++i;
        } else {
            count = std::stoull(std::string(arg));
        }
    }

    std::map<std::string, std::size_t> found; // invariant -> sequences that broke it
    Sequence played;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < count; ++i) {
        const auto failure = fuzzOne(seed + i, played);
        if (failure && found[failure->invariant]++ == 0)
            std::printf("%s\n", report(seed + i, *failure, played).c_str());
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu sequences in %.1f s: %.0f sequences per second\n", count, seconds,
                static_cast<double>(count) / seconds);
    for (const auto& [invariant, sequences] : found)
        std::printf("  %zu sequences: %s\n", sequences, invariant.c_str());
    return found.empty() ? 0 : 1;
}
