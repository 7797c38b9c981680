// How long one enumeration takes over a busy desktop: 1,000 windows of 100 applications, most
// on screen and interleaved front to back, some minimized, every tenth application hidden, with
// a share of titles in decomposed form so that window keys have real normalising to do.

#include "fakes/RecordedDesktop.h"
#include "windows/WindowCatalogue.h"

#include <benchmark/benchmark.h>
#include <string>

namespace corvane {
namespace {

constexpr int kApplications = 100;
constexpr int kWindowsPerApplication = 10;
constexpr int kOnScreenPerApplication = 7;

void buildDesktop(testing::RecordedDesktop& desktop) {
    desktop.addApp(100, "Corvane", {.activationPolicy = ActivationPolicy::accessory});
    for (int app = 0; app < kApplications; ++app) {
        const pid_t pid = 1000 + app;
        desktop.addApp(pid, "App " + std::to_string(app), {.isHidden = app % 10 == 9});
        for (int window = 0; window < kWindowsPerApplication; ++window) {
            std::string title = "Document " + std::to_string(window);
            if (window % 4 == 0)
                title += " \xE2\x80\x94 R"
                         "e\xCC\x81"
                         "sume\xCC\x81"; // decomposed accents
            desktop.addAXWindow(pid, title, window >= kOnScreenPerApplication);
        }
    }
    // The window list interleaves applications, as a real stacking order would, plus the
    // menu bar and the dock at other layers and Corvane's own panel.
    desktop.addOnScreen(1, 50, "Window Server", 25);
    desktop.addOnScreen(2, 100, "Corvane", 0);
    std::uint32_t number = 10;
    for (int depth = 0; depth < kOnScreenPerApplication; ++depth) {
        for (int app = 0; app < kApplications; ++app) {
            if (app % 10 != 9)
                desktop.addOnScreen(number++, 1000 + app, "App " + std::to_string(app));
        }
    }
    desktop.addOnScreen(3, 51, "Dock", 20);
}

void BM_EnumerateWindows(benchmark::State& state) {
    testing::RecordedDesktop desktop;
    buildDesktop(desktop);
    desktop.setRecordingCalls(false);
    std::size_t listed = 0;
    for (auto _ : state) {
        const auto list = enumerateWindows(desktop.catalogue());
        listed = list.size();
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["windows listed"] = static_cast<double>(listed);
}
BENCHMARK(BM_EnumerateWindows)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace corvane

BENCHMARK_MAIN();
