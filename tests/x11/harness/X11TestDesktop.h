#pragma once
// A private X desktop for Corvane's X11 integration tests and benchmark: an Xvfb server on a
// free, explicitly numbered display (so Xvfb's lock file guards it), openbox when asked (with a
// configuration that leaves Alt+Tab and Super+Tab free), corvane-testclient processes, Corvane's
// backend on its own connection, and a "helper" connection that plays other programs (odd
// properties, competing grabs, typing through XTEST). Every wait polls against a deadline, so
// nothing hangs; the destructor ends every process it started.

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

struct xkb_context;
struct xkb_keymap;

namespace corvane::testing {

class X11TestDesktop {
  public:
    // Null when Xvfb or openbox cannot be started; failure then says why. The screen is
    // 1440×900 per head, heads side by side. Xvfb's heads are one screen to the X clients:
    // neither Xinerama nor RandR monitors reach Qt 6.4 as screens under Xvfb, so tests that
    // need monitors say where they are.
    static std::unique_ptr<X11TestDesktop> create(bool withWindowManager, std::string& failure,
                                                  int heads = 1);
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
    void stop(Client& client);
    // Ends the X server, as a crash or logout would; every connection to it breaks.
    void stopServer();

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

    // XTEST typing, by keysym at level 0.
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

    std::string display_;
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
    xkb_context* xkbContext_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    std::map<xcb_window_t, xcb_window_t> frames_; // client -> outermost frame
};

const WindowInfo* findTitle(const std::vector<WindowInfo>& list, const std::string& title);
// The lines of a text file (the test client's key record), empty when it does not exist.
std::vector<std::string> readLines(const std::string& path);

} // namespace corvane::testing
