// Chord-to-panel latency of the real corvane binary: on a private Xvfb desktop with openbox and
// 10, 100 and 1,000 client windows spread over several processes, the time from the chord's
// Tab press (sent through XTEST) to the panel's MapNotify and to its first paint, over many
// switches. Google Benchmark reports each window count (manual time = time to mapped; the
// counter to_paint_ms = time to first paint; median and p95 aggregates); a summary table with
// medians, 95th percentiles and the orientation figures follows.
//
// Environment: CORVANE_BIN, CORVANE_TESTCLIENT (default: the build's own), CORVANE_LATENCY_LOGS
// (children's logs; default ./latency-logs), CORVANE_LATENCY_SWITCHES (default 30).

#include "BenchDesktop.h"
#include "PanelProbe.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace corvane::bench {
namespace {

// Medians of the time to mapped, measured by others on this kind of machine under Xvfb with
// openbox, quoted for orientation only: they were not measured by this program.
struct QuotedFigures {
    int windows;
    double alttabMs;
    double rofiMs;
    double goalMs;
    const char* goal;
};
constexpr QuotedFigures kQuoted[] = {
    {10, 2.4, 24, 2.4, "no slower than alttab"},
    {100, 11, 31, 11.0 / 3, "a third of alttab"},
    {1000, 358, 373, 20, "under 20 ms"},
};

struct Samples {
    std::vector<double> mapped;
    std::vector<double> painted;
    int missedPaints = 0;
};

std::map<int, Samples> samplesByWindows;

std::string envOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    // Nearest rank: the smallest value with at least p of the samples at or below it.
    auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

double p95(const std::vector<double>& values) {
    return percentile(values, 0.95);
}

int processesFor(int windows) {
    if (windows <= 10)
        return 2;
    if (windows <= 100)
        return 4;
    return 10;
}

// One desktop at a time: the benchmark runs every repetition of one window count in a row,
// so the desktop for a count is built at its first repetition and replaced at the next count.
struct World {
    int windows = 0;
    std::unique_ptr<BenchDesktop> desktop;
    std::unique_ptr<PanelProbe> probe;
};
World world;

BenchDesktop::Paths paths() {
    return {envOr("CORVANE_BIN", CORVANE_LATENCY_CORVANE),
            envOr("CORVANE_TESTCLIENT", CORVANE_LATENCY_TESTCLIENT), CORVANE_LATENCY_OPENBOX_RC,
            envOr("CORVANE_LATENCY_LOGS", "latency-logs")};
}

bool enter(int windows, std::string& error) {
    if (world.windows == windows)
        return true;
    world.probe.reset();
    world.desktop.reset();
    world.windows = 0;
    try {
        auto began = std::chrono::steady_clock::now();
        auto desktop = std::make_unique<BenchDesktop>(paths());
        desktop->start();
        desktop->openWindows(windows, processesFor(windows));
        desktop->startCorvane();
        auto probe = std::make_unique<PanelProbe>(desktop->displayName());
        if (!probe->waitUntilSwitching(std::chrono::seconds(30))) {
            error = "Corvane never showed its panel; see " + desktop->corvaneLogPath();
            return false;
        }
        // Two more switches outside the figures: caches, fonts and the panel's first layout.
        for (int i = 0; i < 2; ++i)
            probe->measureSwitch(std::chrono::seconds(5));
        std::fprintf(
            stderr, "desktop with %d windows over %d processes ready in %.1f s\n", windows,
            processesFor(windows),
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
        world.desktop = std::move(desktop);
        world.probe = std::move(probe);
        world.windows = windows;
        return true;
    } catch (const std::exception& failure) {
        error = failure.what();
        return false;
    }
}

// A failed setup or switch ends the whole run: Google Benchmark cannot aggregate repetitions
// that skipped, and figures from a desktop that stopped switching would mean nothing.
[[noreturn]] void giveUp(const std::string& why) {
    std::fprintf(stderr, "corvane_latency_bench: %s\n", why.c_str());
    world.probe.reset();
    world.desktop.reset();
    std::exit(1);
}

void BM_ChordToPanel(benchmark::State& state) {
    int windows = static_cast<int>(state.range(0));
    std::string error;
    if (!enter(windows, error))
        giveUp(error);
    Samples& samples = samplesByWindows[windows];
    for (auto _ : state) {
        auto timing = world.probe->measureSwitch(std::chrono::seconds(5));
        if (!timing)
            giveUp("the panel did not appear within 5 s of the chord; see " +
                   world.desktop->corvaneLogPath());
        state.SetIterationTime(timing->toMappedMs / 1000.0);
        samples.mapped.push_back(timing->toMappedMs);
        if (timing->toPaintedMs) {
            samples.painted.push_back(*timing->toPaintedMs);
            state.counters["to_paint_ms"] = *timing->toPaintedMs;
        } else {
            ++samples.missedPaints;
        }
    }
    state.counters["windows"] = windows;
}

void printTable() {
    std::printf("\nChord-to-panel latency of corvane (Xvfb 1440x900, openbox), in ms\n");
    std::printf("%8s %8s | %9s %9s | %9s %9s | %14s %14s | %8s  %s\n", "windows", "switches",
                "map med", "map p95", "paint med", "paint p95", "alttab med [q]", "rofi med [q]",
                "vs alttab", "goal");
    for (const QuotedFigures& quoted : kQuoted) {
        auto found = samplesByWindows.find(quoted.windows);
        if (found == samplesByWindows.end() || found->second.mapped.empty())
            continue;
        const Samples& s = found->second;
        double mappedMedian = percentile(s.mapped, 0.5);
        std::printf("%8d %8zu | %9.2f %9.2f | %9.2f %9.2f | %14.1f %14.1f | %7.2fx  %s: %s\n",
                    quoted.windows, s.mapped.size(), mappedMedian, p95(s.mapped),
                    percentile(s.painted, 0.5), p95(s.painted), quoted.alttabMs, quoted.rofiMs,
                    mappedMedian / quoted.alttabMs, quoted.goal,
                    mappedMedian <= quoted.goalMs ? "met" : "NOT met");
        if (s.missedPaints > 0)
            std::printf("%8s %d switches showed no paint within 5 s\n", "", s.missedPaints);
    }
    std::printf("[q] quoted orientation figures (time to mapped, medians) measured elsewhere on "
                "this kind of machine; not measured by this program.\n");
}

void endChildrenAndExit(int signal) {
    BenchDesktop::endAllChildren();
    _exit(128 + signal);
}

} // namespace
} // namespace corvane::bench

int main(int argc, char** argv) {
    using namespace corvane::bench;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, endChildrenAndExit);

    int switches = std::max(1, std::atoi(envOr("CORVANE_LATENCY_SWITCHES", "30").c_str()));
    benchmark::RegisterBenchmark("ChordToPanel", BM_ChordToPanel)
        ->Arg(10)
        ->Arg(100)
        ->Arg(1000)
        ->Iterations(1)
        ->Repetitions(switches)
        ->ComputeStatistics("p95", p95)
        ->ReportAggregatesOnly(true)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    world.probe.reset();
    world.desktop.reset();
    printTable();
    return 0;
}
