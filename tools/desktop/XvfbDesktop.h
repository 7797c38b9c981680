#pragma once
// Corvane's private X desktop, one harness with one procedure whatever drives it: a shared tool,
// like tools/testclient, for tests, benchmarks and the demo. This C++ side serves the X11
// integration tests (tests/x11, whose fixture X11TestDesktop adds Corvane's X11 backend on top),
// the Qt panel on a real server (tests/qt/xcb, through that fixture), the enumeration benchmark
// (bench/x11) and the latency benchmark (bench/latency); its Python twin
// tools/desktop/desktop.py serves the end-to-end suite (tests/e2e), the program tests
// (tests/x11/program_test.py) and the demo (tools/demo). Both start a desktop the same way:
// - Xvfb on an explicit display number from 200 to 999, skipped when /tmp/.X<n>-lock or its
//   socket exists; the server is ready when it accepts a connection and the lock file names
//   it, and a number taken meanwhile (the server exits) means the next one. Never -displayfd:
//   Xvfb takes no lock file then, so two servers started at once can bind one number, each
//   unlinking the other's socket.
// - Children (window manager, clients, Corvane) in sessions of their own, ended with the
//   harness even when it is killed (PR_SET_PDEATHSIG), with a private HOME and XDG folders.
// - The window manager is up once it lists (_NET_CLIENT_LIST) a probe window it is asked to
//   map, withdrawn and mapped again every 300 ms until then: managers name themselves on the
//   root before they manage, drop a map request made in between, and not all of them adopt a
//   window mapped before they came. The probe is destroyed and unlisted before anything else.
// - A client prints its window ids, then "ready"; it counts as launched once the manager lists
//   them in _NET_CLIENT_LIST_STACKING.
// Here the manager is openbox with tools/desktop/openbox-rc.xml (no key bindings at all, so
// Alt+Tab and Super+Tab are Corvane's); the Python side runs each manager of its matrix with the
// stock configuration less Alt+Tab. A "helper" connection plays other programs on the display.
// Corvane itself is not here: the program runs as a child, and the tests' fixture holds its
// backend. Every wait polls against a deadline, so nothing hangs.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

namespace corvane {

class XvfbDesktop {
  public:
    // Null when Xvfb or openbox cannot be started; failure then says why. The screen is
    // 1440×900 per head, heads side by side. Xvfb's heads are one screen to the X clients:
    // neither Xinerama nor RandR monitors reach Qt 6.4 as screens under Xvfb, so tests that
    // need monitors say where they are. Children's output goes to logDir/<name>.log, or nowhere.
    static std::unique_ptr<XvfbDesktop> create(bool withWindowManager, std::string& failure,
                                               int heads = 1, const std::string& logDir = {});
    virtual ~XvfbDesktop();
    XvfbDesktop(const XvfbDesktop&) = delete;
    XvfbDesktop& operator=(const XvfbDesktop&) = delete;

    const std::string& display() const { return display_; }

    struct Client {
        pid_t pid = 0;
        std::vector<std::uint32_t> windows; // in the order they were created
    };
    // Runs corvane-testclient and waits until its windows are mapped and, under openbox,
    // managed. Null pid on failure.
    Client launch(const std::vector<std::string>& arguments,
                  std::chrono::milliseconds timeout = std::chrono::seconds(20));
    void stop(Client& client) {
        stop(client.pid);
        client = {};
    }
    // Runs any program on the desktop (the corvane binary, a benchmark's floor client).
    pid_t run(const std::string& name, const std::vector<std::string>& command);
    void stop(pid_t& pid);
    // Ends the X server, as a crash or logout would; every connection to it breaks.
    void stopServer();
    // Ends every child of every desktop at once; safe on a signal handler's way out.
    static void endAllChildren();

    // Waits until the window manager lists every window (on the helper connection).
    bool waitUntilManaged(const std::vector<std::uint32_t>& windows,
                          std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // The helper connection: another program on the same display.
    xcb_connection_t* helper() const { return helper_; }
    xcb_ewmh_connection_t& helperEwmh() { return helperEwmh_; }
    xcb_window_t root() const;
    xcb_atom_t atom(const char* name);
    // Returns once the server has handled every request the helper made.
    void syncHelper();

  protected:
    XvfbDesktop() = default;
    // Starts the server and, if asked, openbox; false with failure set when either does not.
    bool start(bool withWindowManager, std::string& failure, int heads, const std::string& logDir);

  private:
    bool startXvfb(int heads);
    bool listsClient(xcb_window_t window); // in _NET_CLIENT_LIST
    pid_t spawn(const std::string& name, const std::vector<std::string>& command,
                int stdoutFd = -1);

    std::string display_;
    std::string stateDir_; // the children's HOME and XDG folders
    std::string logDir_;
    pid_t server_ = 0;
    pid_t windowManager_ = 0;
    std::vector<pid_t> clients_;
    xcb_connection_t* helper_ = nullptr;
    xcb_ewmh_connection_t helperEwmh_{};
};

// Polls the condition every 10 ms until it holds (true) or the timeout passes (false).
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

} // namespace corvane
