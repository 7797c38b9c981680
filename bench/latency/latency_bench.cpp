// Chord-to-panel latency of the real corvane binary, compared with a floor measured in the same
// run: on a private Xvfb desktop with openbox and 10, 100 and 1,000 client windows spread over
// several processes, first the floor client (corvane_latency_floor: grabs Alt+Tab and maps a
// window it made in advance), then Corvane, each timed from the chord's Tab press (sent through
// XTEST) to the panel's MapNotify and to its first paint (DamageNotify), over many switches.
// Corvane's medians are printed as ratios to the floor's. Further parts:
//   step  a Tab press while the panel is up, to the panel's next paint;
//   cpu   Corvane's CPU time per whole switch (chord, two Tabs, release, fade) at 20 windows,
//         from the kernel's per-thread run time (schedstat, ns) and /proc/<pid>/stat ticks;
//   rss   Corvane's resident memory over 1,000 switches at 100 windows;
//   idle  Corvane's wake-ups (context switches of all its threads) over a quiet period at 100
//         windows, then while one window's title changes ten times a second, with the CPU time
//         per title change.
//
// Options: --parts=latency,step,cpu,rss,idle (default all), --windows=10,100,1000,
// --switches=N (per figure; default 20), --cpu-switches=N (default 30), --rss-switches=N
// (default 1000), --idle-seconds=N (default 20).
// Environment: CORVANE_BIN, CORVANE_LATENCY_FLOOR (default: the build's own),
// CORVANE_LATENCY_LOGS (children's logs; default ./latency-logs). The desktop is the shared
// private one (tools/desktop/XvfbDesktop.h).
//
// Absolute times on a loaded machine vary from run to run; the ratios to the floor measured
// moments before on the same desktop are what to compare.

#include "PanelProbe.h"
#include "platform/x11/X11Replies.h"
#include "tools/desktop/XvfbDesktop.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <poll.h>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

namespace corvane::bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSwitchTimeout = std::chrono::seconds(5);

struct Options {
    std::set<std::string> parts{"latency", "step", "cpu", "rss", "idle"};
    std::vector<int> windows{10, 100, 1000};
    int switches = 20;
    int cpuSwitches = 30;
    int rssSwitches = 1000;
    int idleSeconds = 20;
    bool wants(const std::string& part) const { return parts.count(part) > 0; }
};

struct Latency {
    std::vector<double> mapped, painted;
    int missedPaints = 0;
};

struct Results {
    std::map<int, Latency> floor, corvane;
    std::map<int, std::vector<double>> steps;
    std::optional<double> cpuMsPerSwitch, tickMsPerSwitch;
    std::vector<std::pair<int, double>> rssMb; // switches done, VmRSS
    std::optional<long> idleWakeups, titleWakeups;
    std::optional<double> cpuMsPerTitle;
};

Options options;
Results results;

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

double median(const std::vector<double>& values) {
    return percentile(values, 0.5);
}

int processesFor(int windows) {
    if (windows <= 20)
        return 2;
    if (windows <= 100)
        return 4;
    return 10;
}

std::string logDir() {
    return envOr("CORVANE_LATENCY_LOGS", "latency-logs");
}

// A private desktop, the test clients' windows in the order they were opened, and Corvane.
struct Desktop {
    std::unique_ptr<XvfbDesktop> x;
    std::vector<std::uint32_t> windows;
    pid_t corvane = 0;

    void startCorvane() {
        corvane = x->run("corvane", {envOr("CORVANE_BIN", CORVANE_LATENCY_CORVANE)});
    }
};

[[noreturn]] void giveUp(const std::string& why) {
    std::fprintf(stderr, "corvane_latency_bench: %s\n", why.c_str());
    XvfbDesktop::endAllChildren();
    std::exit(1);
}

// The kernel's counters for every thread of a process.
struct ProcessCounters {
    long long runNs = 0;      // schedstat: time on a CPU
    long contextSwitches = 0; // voluntary and involuntary: each is a wake-up or a preemption
    long long ticks = 0;      // /proc/<pid>/stat utime + stime, whole process
    double rssMb = 0;
};

ProcessCounters countersOf(pid_t pid) {
    ProcessCounters counters;
    const std::string base = "/proc/" + std::to_string(pid);
    if (DIR* tasks = opendir((base + "/task").c_str())) {
        while (dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.')
                continue;
            const std::string task = base + "/task/" + entry->d_name;
            long long run = 0;
            std::ifstream(task + "/schedstat") >> run;
            counters.runNs += run;
            std::ifstream status(task + "/status");
            for (std::string line; std::getline(status, line);) {
                if (line.find("ctxt_switches:") != std::string::npos)
                    counters.contextSwitches += std::atol(line.c_str() + line.find(':') + 1);
            }
        }
        closedir(tasks);
    }
    std::ifstream statFile(base + "/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), {});
    // Fields after the command's closing parenthesis; utime and stime are the 14th and 15th.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i >= 14)
            counters.ticks += std::atoll(field.c_str());
    }
    std::ifstream status(base + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            counters.rssMb = std::atof(line.c_str() + 6) / 1024.0;
    }
    return counters;
}

std::unique_ptr<PanelProbe> readyProbe(Desktop& desktop, const std::string& who,
                                       const std::string& log) {
    auto probe = std::make_unique<PanelProbe>(desktop.x->display());
    if (!probe->waitUntilSwitching(std::chrono::seconds(30)))
        giveUp(who + " never showed its panel; see " + log);
    // Two more switches outside the figures: caches, fonts and the panel's first layout.
    for (int i = 0; i < 2; ++i)
        probe->measureSwitch(kSwitchTimeout);
    return probe;
}

void measureLatency(PanelProbe& probe, Latency& latency, const std::string& who) {
    for (int i = 0; i < options.switches; ++i) {
        auto timing = probe.measureSwitch(kSwitchTimeout);
        if (!timing)
            giveUp(who + ": the panel did not appear within 5 s of the chord");
        latency.mapped.push_back(timing->toMappedMs);
        if (timing->toPaintedMs)
            latency.painted.push_back(*timing->toPaintedMs);
        else
            ++latency.missedPaints;
    }
}

// Opens `windows` windows spread evenly over several test clients.
void openWindows(Desktop& desktop, int windows) {
    const int processes = processesFor(windows);
    for (int p = 0; p < processes; ++p) {
        const int count = windows / processes + (p < windows % processes ? 1 : 0);
        const std::string app = "app" + std::to_string(p);
        auto client = desktop.x->launch({"--class", app + ",App" + std::to_string(p), "--icon",
                                         "32", "--count", std::to_string(count), "--window",
                                         "Document {n} of " + app},
                                        std::chrono::seconds(120));
        if (client.pid == 0)
            throw std::runtime_error(app + "'s windows were not all managed within 120 s");
        desktop.windows.insert(desktop.windows.end(), client.windows.begin(), client.windows.end());
    }
}

// Waits until the root's properties have not changed for `quiet`: openbox goes on focusing and
// stacking new windows for a while after it lists them.
void waitUntilQuiet(const std::string& display, std::chrono::milliseconds quiet,
                    std::chrono::milliseconds limit) {
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root,
                                 XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    const auto deadline = Clock::now() + limit;
    for (auto quietSince = Clock::now();
         Clock::now() - quietSince < quiet && Clock::now() < deadline;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            quietSince = Clock::now();
            std::free(event);
        }
        pollfd descriptor{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&descriptor, 1, 50);
    }
    xcb_disconnect(c);
}

std::unique_ptr<Desktop> desktopWith(int windows) {
    auto began = Clock::now();
    std::unique_ptr<Desktop> desktop;
    // On a loaded machine openbox now and then quits as it starts, leaving nothing managed; a
    // fresh desktop does not have the problem.
    for (int attempt = 1;; ++attempt) {
        try {
            desktop = std::make_unique<Desktop>();
            std::string failure;
            desktop->x = XvfbDesktop::create(true, failure, 1, logDir());
            if (!desktop->x)
                throw std::runtime_error(failure);
            openWindows(*desktop, windows);
            waitUntilQuiet(desktop->x->display(), std::chrono::seconds(1),
                           std::chrono::seconds(60));
            break;
        } catch (const std::exception& failure) {
            desktop.reset();
            if (attempt == 3)
                throw;
            std::fprintf(stderr, "desktop with %d windows failed (%s); trying again\n", windows,
                         failure.what());
        }
    }
    std::fprintf(stderr, "desktop with %d windows over %d processes ready in %.1f s\n", windows,
                 processesFor(windows),
                 std::chrono::duration<double>(Clock::now() - began).count());
    return desktop;
}

// Corvane and the floor client both grab Alt+Tab: the floor runs first, alone.
void measureFloor(Desktop& desktop, int windows) {
    pid_t floor = desktop.x->run("floor", {envOr("CORVANE_LATENCY_FLOOR", CORVANE_LATENCY_FLOOR)});
    {
        auto probe = readyProbe(desktop, "the floor client", logDir() + "/floor.log");
        measureLatency(*probe, results.floor[windows], "floor");
    }
    desktop.x->stop(floor);
}

void measureRss(PanelProbe& probe, pid_t pid) {
    results.rssMb.emplace_back(0, countersOf(pid).rssMb);
    for (int i = 1; i <= options.rssSwitches; ++i) {
        if (!probe.measureSwitch(kSwitchTimeout))
            giveUp("rss: the panel did not appear within 5 s of the chord");
        if (i % std::max(1, options.rssSwitches / 4) == 0)
            results.rssMb.emplace_back(i, countersOf(pid).rssMb);
    }
}

// Changes the title of one test client window ten times a second from a connection of its own.
void changeTitlesFor(Desktop& desktop, int seconds, const std::function<void()>& started) {
    xcb_connection_t* c = xcb_connect(desktop.x->display().c_str(), nullptr);
    const xcb_atom_t netWmName = internAtom(c, "_NET_WM_NAME"), utf8 = internAtom(c, "UTF8_STRING");
    const xcb_window_t window = desktop.windows.front();
    started();
    auto next = Clock::now();
    for (int i = 0; i < seconds * 10; ++i) {
        const std::string title = "Retitled document " + std::to_string(i);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, netWmName, utf8, 8,
                            std::uint32_t(title.size()), title.data());
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            std::uint32_t(title.size()), title.data());
        xcb_flush(c);
        next += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(next);
    }
    xcb_disconnect(c);
}

void measureIdle(Desktop& desktop, pid_t pid) {
    // Whatever the last switch started (fade, dismiss timer) ends first.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ProcessCounters before = countersOf(pid);
    std::this_thread::sleep_for(std::chrono::seconds(options.idleSeconds));
    ProcessCounters quiet = countersOf(pid);
    results.idleWakeups = quiet.contextSwitches - before.contextSwitches;

    ProcessCounters titlesBefore;
    changeTitlesFor(desktop, options.idleSeconds, [&] { titlesBefore = countersOf(pid); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ProcessCounters titles = countersOf(pid);
    results.titleWakeups = titles.contextSwitches - titlesBefore.contextSwitches;
    results.cpuMsPerTitle =
        double(titles.runNs - titlesBefore.runNs) / 1e6 / (options.idleSeconds * 10);
}

void measureCpu() {
    auto desktop = desktopWith(20);
    desktop->startCorvane();
    auto probe = readyProbe(*desktop, "Corvane", logDir() + "/corvane.log");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ProcessCounters before = countersOf(desktop->corvane);
    for (int i = 0; i < options.cpuSwitches; ++i) {
        if (!probe->measureSwitch(kSwitchTimeout, {2, true}))
            giveUp("cpu: the panel did not appear within 5 s of the chord");
        // The fade-out runs on after the panel is unmapped (without a compositor it hides at
        // the fade's first step).
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
    ProcessCounters after = countersOf(desktop->corvane);
    results.cpuMsPerSwitch = double(after.runNs - before.runNs) / 1e6 / options.cpuSwitches;
    results.tickMsPerSwitch = double(after.ticks - before.ticks) * 1000.0 /
                              double(sysconf(_SC_CLK_TCK)) / options.cpuSwitches;
}

void measureDesktop(int windows) {
    auto desktop = desktopWith(windows);
    if (options.wants("latency"))
        measureFloor(*desktop, windows);
    desktop->startCorvane();
    auto probe = readyProbe(*desktop, "Corvane", logDir() + "/corvane.log");
    if (options.wants("latency"))
        measureLatency(*probe, results.corvane[windows], "Corvane");
    if (options.wants("step")) {
        // The chord selects the second card; the timed step is between two cards in the middle
        // of the first row, on screen whatever the panel's width.
        const int perRow = windows <= 9 ? windows : (windows + 1) / 2;
        const int stepsBefore = std::max(0, perRow / 2 - 2);
        for (int i = 0; i < options.switches; ++i) {
            auto timing = probe->measureSwitch(kSwitchTimeout, {1, false, stepsBefore});
            if (timing && !timing->stepToPaintedMs.empty() && timing->stepToPaintedMs[0])
                results.steps[windows].push_back(*timing->stepToPaintedMs[0]);
        }
    }
    if (windows == 100 && options.wants("rss"))
        measureRss(*probe, desktop->corvane);
    if (windows == 100 && options.wants("idle"))
        measureIdle(*desktop, desktop->corvane);
}

double allowedRatio(int windows) {
    return windows <= 100 ? 2.0 : 10.0;
}

void printResults() {
    if (!results.corvane.empty()) {
        std::printf("\nChord to panel (Xvfb 1440x900, openbox), medians in ms, %d switches each; "
                    "ratio = Corvane / floor\n",
                    options.switches);
        std::printf("%8s | %9s %9s | %9s %9s | %9s %9s | %6s\n", "windows", "floor map", "paint",
                    "corvane", "paint", "map x", "paint x", "goal");
        for (const auto& [windows, corvane] : results.corvane) {
            const Latency& floor = results.floor[windows];
            double mapRatio = median(corvane.mapped) / median(floor.mapped);
            double paintRatio = median(corvane.painted) / median(floor.painted);
            bool met = mapRatio <= allowedRatio(windows) && paintRatio <= allowedRatio(windows);
            std::printf("%8d | %9.2f %9.2f | %9.2f %9.2f | %8.2fx %8.2fx | <=%.0fx %s\n", windows,
                        median(floor.mapped), median(floor.painted), median(corvane.mapped),
                        median(corvane.painted), mapRatio, paintRatio, allowedRatio(windows),
                        met ? "met" : "NOT met");
            if (corvane.missedPaints + floor.missedPaints > 0)
                std::printf("%8s switches without a paint within 5 s: floor %d, Corvane %d\n", "",
                            floor.missedPaints, corvane.missedPaints);
        }
    }
    for (const auto& [windows, steps] : results.steps) {
        std::printf("Tab step to repainted panel at %d windows: median %.2f ms, p95 %.2f ms "
                    "(%zu steps)%s\n",
                    windows, median(steps), percentile(steps, 0.95), steps.size(),
                    windows == 100
                        ? (median(steps) <= 1.0 ? "; goal <= 1 ms met" : "; goal <= 1 ms NOT met")
                        : "");
    }
    if (results.cpuMsPerSwitch) {
        std::printf("CPU per whole switch at 20 windows (%d switches): %.2f ms run time "
                    "(%.1f ms in stat ticks); goal <= 2 ms %s\n",
                    options.cpuSwitches, *results.cpuMsPerSwitch, *results.tickMsPerSwitch,
                    *results.cpuMsPerSwitch <= 2 ? "met" : "NOT met");
    }
    if (!results.rssMb.empty()) {
        std::printf("RSS at 100 windows:");
        for (const auto& [switches, mb] : results.rssMb)
            std::printf(" %.1f MB after %d switches;", mb, switches);
        std::printf(" goal <= 40 MB %s\n", results.rssMb.back().second <= 40 ? "met" : "NOT met");
    }
    if (results.idleWakeups) {
        std::printf("Idle at 100 windows over %d s: %ld wake-ups with nothing changing; %ld while "
                    "a title changes 10 times a second, %.3f ms CPU per title change\n",
                    options.idleSeconds, *results.idleWakeups, *results.titleWakeups,
                    *results.cpuMsPerTitle);
    }
}

void endChildrenAndExit(int signal) {
    XvfbDesktop::endAllChildren();
    _exit(128 + signal);
}

template <typename T>
std::vector<T> splitList(const std::string& text, T (*convert)(const std::string&)) {
    std::vector<T> values;
    std::istringstream stream(text);
    for (std::string item; std::getline(stream, item, ',');) {
        if (!item.empty())
            values.push_back(convert(item));
    }
    return values;
}

int toInt(const std::string& text) {
    return std::stoi(text);
}

std::string toString(const std::string& text) {
    return text;
}

bool parse(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : arg.substr(eq + 1);
        try {
            if (name == "--parts") {
                auto parts = splitList(value, toString);
                options.parts = {parts.begin(), parts.end()};
            } else if (name == "--windows") {
                options.windows = splitList(value, toInt);
            } else if (name == "--switches") {
                options.switches = std::max(1, toInt(value));
            } else if (name == "--cpu-switches") {
                options.cpuSwitches = std::max(1, toInt(value));
            } else if (name == "--rss-switches") {
                options.rssSwitches = std::max(1, toInt(value));
            } else if (name == "--idle-seconds") {
                options.idleSeconds = std::max(1, toInt(value));
            } else {
                return false;
            }
        } catch (const std::exception&) {
            return false;
        }
    }
    return true;
}

} // namespace
} // namespace corvane::bench

int main(int argc, char** argv) {
    using namespace corvane::bench;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, endChildrenAndExit);
    if (!parse(argc, argv)) {
        std::fprintf(stderr,
                     "usage: %s [--parts=latency,step,cpu,rss,idle] "
                     "[--windows=10,100,1000] [--switches=N] [--cpu-switches=N] "
                     "[--rss-switches=N] [--idle-seconds=N]\n",
                     argv[0]);
        return 2;
    }
    try {
        std::vector<int> desktops;
        if (options.wants("latency") || options.wants("step"))
            desktops = options.windows;
        if ((options.wants("rss") || options.wants("idle")) &&
            std::find(desktops.begin(), desktops.end(), 100) == desktops.end())
            desktops.push_back(100);
        for (int windows : desktops)
            measureDesktop(windows);
        if (options.wants("cpu"))
            measureCpu();
    } catch (const std::exception& failure) {
        giveUp(failure.what());
    }
    printResults();
    return 0;
}
