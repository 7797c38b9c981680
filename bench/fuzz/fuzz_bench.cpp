// The core fuzzer at length: plays random whole switches (1,000,000 by default) with every
// generator feature on, prints each distinct broken invariant once with its seed and a minimal
// replayable sequence, and the speed in sequences per second.
//
//   corvane_fuzz_bench [count] [--seed N] [--without feature,...] [--replay 'steps']
//
// Features: quickEvents unseenModifiers keysAfterHeldCommit chordOverFadingPanel sharedTitles.

#include "fuzz/CoreFuzzer.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>

using namespace corvane::testing::fuzz;

namespace {

bool leaveOut(Features& features, std::string_view name) {
    const std::map<std::string_view, bool Features::*> named{
        {"quickEvents", &Features::quickEvents},
        {"unseenModifiers", &Features::unseenModifiers},
        {"keysAfterHeldCommit", &Features::keysAfterHeldCommit},
        {"chordOverFadingPanel", &Features::chordOverFadingPanel},
        {"sharedTitles", &Features::sharedTitles}};
    const auto found = named.find(name);
    if (found == named.end())
        return false;
    features.*(found->second) = false;
    return true;
}

int replayText(const char* text) {
    std::string error;
    const auto sequence = parse(text, error);
    if (!sequence) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    const auto failure = replay(*sequence);
    if (!failure) {
        std::printf("replay: every invariant held\n");
        return 0;
    }
    std::printf("replay: %s, after step %zu\n", failure->invariant.c_str(), failure->step);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t count = 1'000'000;
    std::uint64_t seed = 1;
    Features features;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--replay" && value)
            return replayText(value);
        if (arg == "--seed" && value) {
            seed = std::stoull(value);
            ++i;
        } else if (arg == "--without" && value) {
            for (std::string_view names = value;;) {
                const auto comma = names.find(',');
                if (!leaveOut(features, names.substr(0, comma))) {
                    std::fprintf(stderr, "unknown feature in %s\n", value);
                    return 2;
                }
                if (comma == std::string_view::npos)
                    break;
                names.remove_prefix(comma + 1);
            }
            ++i;
        } else {
            count = std::stoull(std::string(arg));
        }
    }

    std::map<std::string, std::size_t> found; // invariant -> sequences that broke it
    Sequence played;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < count; ++i) {
        const auto failure = fuzzOne(seed + i, features, played);
        if (!failure)
            continue;
        if (found[failure->invariant]++ == 0)
            std::printf("%s\n", findingOf(seed + i, *failure, played).describe().c_str());
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu sequences in %.1f s: %.0f sequences per second\n", count, seconds,
                static_cast<double>(count) / seconds);
    for (const auto& [invariant, sequences] : found)
        std::printf("  %zu sequences: %s\n", sequences, invariant.c_str());
    return found.empty() ? 0 : 1;
}
