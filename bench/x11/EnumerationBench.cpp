// How long Corvane's window enumeration takes on the X11 backend with 10, 100 and 1,000 client
// windows (spread over ten processes, each with a 48-pixel icon) on Xvfb under openbox, and how
// many request/reply stages it needs. Goal: 1,000 windows under 10 ms, stages constant. The
// window cache is warm after the first iteration; BM_ReadDesktopCold shows the first switch.
//
//   build/<dir>/bench/x11/corvane_x11_enumeration_bench

#include "harness/X11TestDesktop.h"
#include "windows/WindowCatalogue.h"

#include <benchmark/benchmark.h>
#include <map>
#include <memory>

namespace corvane::testing {
namespace {

constexpr int kProcesses = 10;

X11TestDesktop* desktopWith(int windows) {
    static std::map<int, std::unique_ptr<X11TestDesktop>> desktops;
    auto& desktop = desktops[windows];
    if (desktop)
        return desktop.get();
    std::string failure;
    desktop = X11TestDesktop::create(true, failure);
    if (!desktop)
        return nullptr;
    std::vector<std::uint32_t> all;
    for (int process = 0; process < kProcesses; ++process) {
        const std::string name = "app" + std::to_string(process);
        auto client = desktop->launch({"--class", name + ",App" + std::to_string(process), "--icon",
                                       "48", "--count", std::to_string(windows / kProcesses),
                                       "--window", name + " window {n}"},
                                      std::chrono::seconds(60));
        all.insert(all.end(), client.windows.begin(), client.windows.end());
    }
    if (static_cast<int>(all.size()) != windows || !desktop->waitUntilManaged(all)) {
        desktop.reset();
        return nullptr;
    }
    return desktop.get();
}

void BM_EnumerateWindows(benchmark::State& state) {
    const int windows = static_cast<int>(state.range(0));
    X11TestDesktop* desktop = desktopWith(windows);
    if (desktop == nullptr) {
        state.SkipWithError("could not set up Xvfb, openbox and the test clients");
        return;
    }
    const WindowCatalogue catalogue{desktop->windowServer(), desktop->accessibility(),
                                    desktop->workspace(), desktop->processInfo()};
    std::size_t listed = 0;
    for (auto _ : state) {
        desktop->connection().drain(); // each switch starts a new burst: only the cache stays
        auto list = enumerateWindows(catalogue);
        listed = list.size();
        benchmark::DoNotOptimize(list);
    }
    state.counters["windows"] = static_cast<double>(listed);
    state.counters["stages"] = desktop->reader().lastRoundTrips();
}
BENCHMARK(BM_EnumerateWindows)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The X side alone: one snapshot of the desktop, without icons and without the catalogue's work.
// Warm: the window cache is current, as at every switch but the first.
void BM_ReadDesktop(benchmark::State& state) {
    X11TestDesktop* desktop = desktopWith(static_cast<int>(state.range(0)));
    if (desktop == nullptr) {
        state.SkipWithError("could not set up Xvfb, openbox and the test clients");
        return;
    }
    for (auto _ : state) {
        desktop->connection().drain();
        benchmark::DoNotOptimize(desktop->reader().snapshot().windows.size());
    }
    state.counters["read"] = static_cast<double>(desktop->reader().lastWindowsRead());
}
BENCHMARK(BM_ReadDesktop)->Arg(1000)->Unit(benchmark::kMillisecond);

// Cold: a reader with an empty cache, as at the first switch after Corvane starts.
void BM_ReadDesktopCold(benchmark::State& state) {
    X11TestDesktop* desktop = desktopWith(static_cast<int>(state.range(0)));
    if (desktop == nullptr) {
        state.SkipWithError("could not set up Xvfb, openbox and the test clients");
        return;
    }
    int stages = 0;
    for (auto _ : state) {
        X11DesktopReader reader(desktop->connection());
        benchmark::DoNotOptimize(reader.snapshot().windows.size());
        stages = reader.lastRoundTrips();
    }
    desktop->connection().drain(); // the cold readers' events, so that they do not pile up
    state.counters["stages"] = stages;
}
BENCHMARK(BM_ReadDesktopCold)->Arg(1000)->Unit(benchmark::kMillisecond);

// A busy desktop: ten windows change their titles before each switch.
void BM_EnumerateAfterTitleChanges(benchmark::State& state) {
    X11TestDesktop* desktop = desktopWith(static_cast<int>(state.range(0)));
    if (desktop == nullptr) {
        state.SkipWithError("could not set up Xvfb, openbox and the test clients");
        return;
    }
    const WindowCatalogue catalogue{desktop->windowServer(), desktop->accessibility(),
                                    desktop->workspace(), desktop->processInfo()};
    const auto ids = desktop->reader().snapshot().windows;
    const xcb_atom_t netWmName = desktop->atom("_NET_WM_NAME");
    const xcb_atom_t utf8 = desktop->atom("UTF8_STRING");
    std::size_t round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t n = 0; n < 10 && n < ids.size(); ++n) {
            const std::string title = "changed " + std::to_string(round++);
            xcb_change_property(desktop->helper(), XCB_PROP_MODE_REPLACE, ids[n].id, netWmName,
                                utf8, 8, static_cast<std::uint32_t>(title.size()), title.data());
        }
        desktop->syncHelper();
        state.ResumeTiming();
        desktop->connection().drain();
        benchmark::DoNotOptimize(enumerateWindows(catalogue));
    }
    state.counters["read"] = static_cast<double>(desktop->reader().lastWindowsRead());
}
BENCHMARK(BM_EnumerateAfterTitleChanges)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace corvane::testing

BENCHMARK_MAIN();
