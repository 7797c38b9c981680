// How long Corvane's window enumeration takes on the X11 backend with 10, 100 and 1,000 client
// windows (spread over ten processes, each with a 48-pixel icon) on Xvfb under openbox, and how
// many request/reply stages it needs. Goal: 1,000 windows under 10 ms, stages constant. The
// window cache is warm after the first iteration; BM_ReadDesktopCold shows the first switch.
//
//   build/<dir>/bench/x11/corvane_x11_enumeration_bench

#include "platform/SystemLog.h"
#include "tools/desktop/X11Backend.h"
#include "tools/desktop/XvfbDesktop.h"

#include <benchmark/benchmark.h>
#include <map>
#include <memory>

namespace corvane::bench {
namespace {

constexpr int kProcesses = 10;

// The backend logs only what goes wrong, and a benchmark that fails says so itself.
class QuietLog : public SystemLog {
  public:
    void log(std::string_view) override {}
};

// The private desktop with its clients' windows, and Corvane's backend on it.
struct Desktop {
    std::unique_ptr<XvfbDesktop> x;
    QuietLog log;
    std::unique_ptr<X11Backend> backend; // declared last: closed before the desktop ends
};

Desktop* desktopWith(int windows) {
    static std::map<int, std::unique_ptr<Desktop>> desktops;
    auto& desktop = desktops[windows];
    if (desktop)
        return desktop.get();
    desktop = std::make_unique<Desktop>();
    std::string failure;
    desktop->x = XvfbDesktop::create(true, failure);
    auto connection =
        desktop->x ? X11Connection::open(desktop->log, desktop->x->display().c_str()) : nullptr;
    if (!connection) {
        desktop.reset();
        return nullptr;
    }
    desktop->backend = std::make_unique<X11Backend>(std::move(connection));
    std::vector<std::uint32_t> all;
    for (int process = 0; process < kProcesses; ++process) {
        const std::string name = "app" + std::to_string(process);
        auto client = desktop->x->launch(
            {"--class", name + ",App" + std::to_string(process), "--icon", "48", "--count",
             std::to_string(windows / kProcesses), "--window", name + " window {n}"},
            std::chrono::seconds(60));
        all.insert(all.end(), client.windows.begin(), client.windows.end());
    }
    if (static_cast<int>(all.size()) != windows || !desktop->x->waitUntilManaged(all)) {
        desktop.reset();
        return nullptr;
    }
    return desktop.get();
}

void BM_EnumerateWindows(benchmark::State& state) {
    const int windows = static_cast<int>(state.range(0));
    Desktop* desktop = desktopWith(windows);
    if (desktop == nullptr) {
        state.SkipWithError("could not set up Xvfb, openbox and the test clients");
        return;
    }
    const WindowCatalogue catalogue = desktop->backend->catalogue();
    std::size_t listed = 0;
    for (auto _ : state) {
        desktop->backend->connection
            ->drain(); // each switch starts a new burst: only the cache stays
        auto list = enumerateWindows(catalogue);
        listed = list.size();
        benchmark::DoNotOptimize(list);
    }
    state.counters["windows"] = static_cast<double>(listed);
    state.counters["stages"] = desktop->backend->reader.lastRoundTrips();
}
BENCHMARK(BM_EnumerateWindows)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The X side alone: one snapshot of the desktop, without icons and without the catalogue's work.
// Warm: the window cache is current, as at every switch but the first.
void BM_ReadDesktop(benchmark::State& state) {
    Desktop* desktop = desktopWith(static_cast<int>(state.range(0)));
    if (desktop == nullptr) {
        state.SkipWithError("could not set up Xvfb, openbox and the test clients");
        return;
    }
    for (auto _ : state) {
        desktop->backend->connection->drain();
        benchmark::DoNotOptimize(desktop->backend->reader.snapshot().windows.size());
    }
    state.counters["read"] = static_cast<double>(desktop->backend->reader.lastWindowsRead());
}
BENCHMARK(BM_ReadDesktop)->Arg(1000)->Unit(benchmark::kMillisecond);

// Cold: a reader with an empty cache, as at the first switch after Corvane starts.
void BM_ReadDesktopCold(benchmark::State& state) {
    Desktop* desktop = desktopWith(static_cast<int>(state.range(0)));
    if (desktop == nullptr) {
        state.SkipWithError("could not set up Xvfb, openbox and the test clients");
        return;
    }
    int stages = 0;
    for (auto _ : state) {
        X11DesktopReader reader(*desktop->backend->connection);
        benchmark::DoNotOptimize(reader.snapshot().windows.size());
        stages = reader.lastRoundTrips();
    }
    desktop->backend->connection->drain(); // the cold readers' events, so that they do not pile up
    state.counters["stages"] = stages;
}
BENCHMARK(BM_ReadDesktopCold)->Arg(1000)->Unit(benchmark::kMillisecond);

// A busy desktop: ten windows change their titles before each switch.
void BM_EnumerateAfterTitleChanges(benchmark::State& state) {
    Desktop* desktop = desktopWith(static_cast<int>(state.range(0)));
    if (desktop == nullptr) {
        state.SkipWithError("could not set up Xvfb, openbox and the test clients");
        return;
    }
    const WindowCatalogue catalogue = desktop->backend->catalogue();
    const auto ids = desktop->backend->reader.snapshot().windows;
    const xcb_atom_t netWmName = desktop->x->atom("_NET_WM_NAME");
    const xcb_atom_t utf8 = desktop->x->atom("UTF8_STRING");
    std::size_t round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t n = 0; n < 10 && n < ids.size(); ++n) {
            const std::string title = "changed " + std::to_string(round++);
            xcb_change_property(desktop->x->helper(), XCB_PROP_MODE_REPLACE, ids[n].id, netWmName,
                                utf8, 8, static_cast<std::uint32_t>(title.size()), title.data());
        }
        desktop->x->syncHelper();
        state.ResumeTiming();
        desktop->backend->connection->drain();
        benchmark::DoNotOptimize(enumerateWindows(catalogue));
    }
    state.counters["read"] = static_cast<double>(desktop->backend->reader.lastWindowsRead());
}
BENCHMARK(BM_EnumerateAfterTitleChanges)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace corvane::bench

BENCHMARK_MAIN();
