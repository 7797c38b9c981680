#pragma once
// A private X desktop for the chord-to-panel latency benchmark: Xvfb (found a free display with
// -displayfd), openbox with the end-to-end suite's configuration (no key bindings, so Alt+Tab
// reaches Corvane), several corvane-testclient processes holding the windows, and the corvane
// binary with a private $XDG_CONFIG_HOME, or instead of it the floor client (the least a switcher
// can do, to compare Corvane with). Every child runs in a session of its own and is ended
// by the destructor, or by endAllChildren() from a signal handler.

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace corvane::bench {

struct ChildProcess {
    std::string name;
    pid_t pid = -1;
    int stdoutFd = -1; // read end of the child's stdout, when captured
};

class BenchDesktop {
  public:
    struct Paths {
        std::string corvane;
        std::string testClient;
        std::string floorClient;
        std::string openboxConfig;
        std::string logDir; // each child's stderr (and stdout unless captured) goes here
    };

    explicit BenchDesktop(Paths paths);
    ~BenchDesktop();
    BenchDesktop(const BenchDesktop&) = delete;
    BenchDesktop& operator=(const BenchDesktop&) = delete;

    // Starts Xvfb at 1440x900 and openbox. Throws std::runtime_error on failure.
    void start();

    // Opens windowCount windows spread evenly over processCount test clients and waits until
    // the window manager lists every one of them.
    void openWindows(int windowCount, int processCount);

    // Waits until the window manager has stopped changing the root's properties (it goes on
    // focusing and stacking new windows for a while after listing them) for `quiet`.
    void waitUntilQuiet(std::chrono::milliseconds quiet, std::chrono::seconds limit);

    // Corvane and the floor client both grab Alt+Tab: at most one of them runs at a time.
    void startCorvane();
    void stopCorvane();
    void startFloor();
    void stopFloor();

    // The test clients' windows, in the order they were opened.
    const std::vector<std::uint32_t>& windowIds() const { return windowIds_; }

    const std::string& displayName() const { return display_; }
    pid_t corvanePid() const { return corvane_.pid; }
    std::string corvaneLogPath() const { return paths_.logDir + "/corvane.log"; }

    // Ends every child of every desktop; safe to call from a signal handler's path to exit.
    static void endAllChildren();

  private:
    ChildProcess spawn(const std::string& name, const std::vector<std::string>& argv,
                       bool captureStdout = false, int passFd = -1);
    void stop(ChildProcess& child);
    int managedWindowCount() const;

    Paths paths_;
    std::string stateDir_;
    std::string display_;
    std::vector<ChildProcess> children_;
    ChildProcess corvane_;
    ChildProcess floor_;
    std::vector<std::uint32_t> windowIds_;
};

} // namespace corvane::bench
