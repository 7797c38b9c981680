#pragma once
// Corvane's private X desktop, one harness with one procedure whatever drives it. This C++ side
// serves the X11 integration tests (tests/x11), the Qt panel on a real server (tests/qt/xcb),
// the enumeration benchmark (bench/x11) and the latency benchmark (bench/latency); its Python
// twin tests/e2e/desktop.py serves the end-to-end suite and the program tests
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
// Here the manager is openbox with tests/x11/data/openbox-rc.xml (no key bindings at all, so
// Alt+Tab and Super+Tab are Corvane's); the Python side runs each manager of its matrix with the
// stock configuration less Alt+Tab. This side also holds Corvane's backend on its own
// connection and a "helper" connection that plays other programs (odd properties, competing
// grabs, typing through XTEST). Every wait polls against a deadline, so nothing hangs.

#include "fakes/FakeSystemLog.h"
#include "platform/x11/X11Accessibility.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11DesktopSnapshot.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/X11Workspace.h"
#include "windows/WindowCatalogue.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

namespace corvane::testing {

class X11TestDesktop {
  public:
    // Null when Xvfb or openbox cannot be started; failure then says why. The screen is
    // 1440×900 per head, heads side by side. Xvfb's heads are one screen to the X clients:
    // neither Xinerama nor RandR monitors reach Qt 6.4 as screens under Xvfb, so tests that
    // need monitors say where they are. Children's output goes to logDir/<name>.log, or nowhere.
    static std::unique_ptr<X11TestDesktop> create(bool withWindowManager, std::string& failure,
                                                  int heads = 1, const std::string& logDir = {});
    ~X11TestDesktop();
    X11TestDesktop(const X11TestDesktop&) = delete;
    X11TestDesktop& operator=(const X11TestDesktop&) = delete;

    const std::string& display() const { return display_; }
    X11Connection& connection() { return *connection_; }
    X11DesktopReader& reader() { return *reader_; }
    X11WindowServer& windowServer() { return *windowServer_; }
    X11Accessibility& accessibility() { return *accessibility_; }
    X11Workspace& workspace() { return *workspace_; }
    X11ProcessInfo& processInfo() { return processInfo_; }
    FakeSystemLog& log() { return log_; }
    WindowCatalogue catalogue() {
        return {*windowServer_, *accessibility_, *workspace_, processInfo_};
    }
    // Drains first, as every switch starts a new burst that reads the desktop afresh.
    std::vector<WindowInfo> enumerate();

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

    // Drains Corvane's connection until the condition holds or the timeout passes.
    bool pumpUntil(const std::function<bool()>& condition,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until the window manager lists every window (on the helper connection).
    bool waitUntilManaged(const std::vector<std::uint32_t>& windows,
                          std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // The helper connection: another program on the same display.
    xcb_connection_t* helper() const { return helper_; }
    xcb_ewmh_connection_t& helperEwmh() { return helperEwmh_; }
    xcb_window_t root() const;
    xcb_atom_t atom(const char* name);
    xcb_window_t activeWindow();
    std::uint32_t currentDesktop();
    bool isViewable(xcb_window_t window);
    void setProperty(xcb_window_t window, const char* property, xcb_atom_t type, int format,
                     const void* data, std::size_t count);
    void syncHelper();
    // Plays an EWMH window manager on the helper connection where none runs, for arrangements
    // a real one would not hold still: every window is reparented into a frame `depth` levels
    // deep (icewm puts the client in a container in the frame), _NET_CLIENT_LIST_STACKING lists
    // them as given and the root announces _NET_ACTIVE_WINDOW support. Nobody acts on requests.
    void playWindowManager(const std::vector<xcb_window_t>& windows, int depth);
    // Restacks the windows' outermost frames, bottom to top.
    void stackFrames(const std::vector<xcb_window_t>& bottomToTop);
    void announceActive(xcb_window_t window);
    // From now on the helper hears what is sent to the root's substructure, as managers do
    // (any number of clients may listen; only one may redirect).
    void listenToRoot();
    // The client messages sent to the root since the last call, as (type, window), once every
    // request Corvane made so far has been handled.
    std::vector<std::pair<xcb_atom_t, xcb_window_t>> rootMessages();

    // A keycode that has no symbol (0 when there is none), and a keymap change that gives it
    // one; every client is told of the new mapping.
    std::uint8_t spareKeycode();
    void bindKeycode(std::uint8_t keycode, std::uint32_t keysym);

    // XTEST typing, by the keysym in a key's first column of the core keyboard mapping.
    std::uint8_t keycodeFor(std::uint32_t keysym);
    void press(std::uint32_t keysym) { fakeKey(XCB_KEY_PRESS, keysym); }
    void release(std::uint32_t keysym) { fakeKey(XCB_KEY_RELEASE, keysym); }
    void tap(std::uint32_t keysym) {
        press(keysym);
        release(keysym);
    }

  private:
    X11TestDesktop() = default;
    void fakeKey(std::uint8_t type, std::uint32_t keysym);
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
    FakeSystemLog log_;
    std::unique_ptr<X11Connection> connection_;
    std::unique_ptr<X11DesktopReader> reader_;
    std::unique_ptr<X11WindowServer> windowServer_;
    std::unique_ptr<X11Accessibility> accessibility_;
    std::unique_ptr<X11Workspace> workspace_;
    X11ProcessInfo processInfo_;
    xcb_connection_t* helper_ = nullptr;
    xcb_ewmh_connection_t helperEwmh_{};
    std::map<xcb_window_t, xcb_window_t> frames_; // client -> outermost frame
};

const WindowInfo* findTitle(const std::vector<WindowInfo>& list, const std::string& title);
// The lines of a text file (the test client's key record), empty when it does not exist.
std::vector<std::string> readLines(const std::string& path);

} // namespace corvane::testing
