#pragma once
// A private X desktop for Corvane's integration tests and benchmarks: an Xvfb server on a free,
// explicitly numbered display (so Xvfb's lock file guards it), optionally openbox with a test
// configuration that leaves Alt+Tab and Super+Tab free, and corvane-testclient processes.
// Every wait polls with short sleeps against a deadline, so nothing hangs; the destructor stops
// every process it started.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace corvane::testing {

class XvfbSession {
  public:
    // Null when Xvfb cannot be started (not installed, no free display within the deadline).
    static std::unique_ptr<XvfbSession> start(const std::string& screen = "1440x900x24");
    ~XvfbSession();
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    const std::string& display() const { return display_; }

    // Starts openbox with tests/x11/data/openbox-rc.xml (two desktops, no key bindings) and
    // waits until it announces itself through _NET_SUPPORTING_WM_CHECK.
    bool startWindowManager();
    // Ends the X server, as a crash or logout would; every connection to it breaks.
    void stopServer() { stop(server_); }
    void stopWindowManager();

    struct Client {
        pid_t pid = 0;
        std::vector<std::uint32_t> windows; // in the order they were created
    };
    // Runs corvane-testclient with the given arguments and waits until its windows are mapped
    // (and, under a window manager, managed). Null pid on failure.
    Client launchClient(const std::vector<std::string>& arguments,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    void stopClient(Client& client);

    // Runs a program on this display and returns its exit status (-1 when it could not run or
    // did not finish within the timeout, in which case it is killed).
    int run(const std::vector<std::string>& arguments,
            std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Polls the condition every few milliseconds until it holds or the timeout passes.
    static bool waitUntil(const std::function<bool()>& condition,
                          std::chrono::milliseconds timeout = std::chrono::seconds(5));

  private:
    XvfbSession() = default;
    pid_t spawn(const std::vector<std::string>& arguments, int stdoutFd);
    static void stop(pid_t& pid);

    std::string display_;
    pid_t server_ = 0;
    pid_t windowManager_ = 0;
    std::vector<pid_t> clients_;
};

// A path to the test client, the test data folder.
std::string testClientPath();
std::string x11TestDataPath(const std::string& name);

} // namespace corvane::testing
