#pragma once
// The X11 tests' desktop: the shared private desktop (tools/desktop/XvfbDesktop.h: Xvfb,
// openbox, test clients, the helper connection) with Corvane's X11 backend on a connection of
// its own (tools/desktop/X11Backend.h) logging to a FakeSystemLog, for the X11 integration tests
// (tests/x11) and the Qt panel on a real server (tests/qt/xcb). The helper connection also plays
// other programs here: odd properties, competing grabs, a stand-in window manager, typing
// through XTEST.

#include "fakes/FakeSystemLog.h"
#include "tools/desktop/X11Backend.h"
#include "tools/desktop/XvfbDesktop.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace corvane::testing {

class X11TestDesktop : public XvfbDesktop {
  public:
    // Null when the desktop cannot be started (see XvfbDesktop::create) or Corvane cannot
    // connect to it; failure then says why.
    static std::unique_ptr<X11TestDesktop> create(bool withWindowManager, std::string& failure,
                                                  int heads = 1, const std::string& logDir = {});

    X11Connection& connection() { return *backend_->connection; }
    X11DesktopReader& reader() { return backend_->reader; }
    X11WindowServer& windowServer() { return backend_->windowServer; }
    X11Accessibility& accessibility() { return backend_->accessibility; }
    X11Workspace& workspace() { return backend_->workspace; }
    FakeSystemLog& log() { return log_; }
    WindowCatalogue catalogue() { return backend_->catalogue(); }
    // Drains first, as every switch starts a new burst that reads the desktop afresh.
    std::vector<WindowInfo> enumerate();

    // Drains Corvane's connection until the condition holds or the timeout passes.
    bool pumpUntil(const std::function<bool()>& condition,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // On the helper connection.
    xcb_window_t activeWindow();
    std::uint32_t currentDesktop();
    bool isViewable(xcb_window_t window);
    void setProperty(xcb_window_t window, const char* property, xcb_atom_t type, int format,
                     const void* data, std::size_t count);
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

    FakeSystemLog log_;
    std::unique_ptr<X11Backend> backend_;         // closed before the desktop ends
    std::map<xcb_window_t, xcb_window_t> frames_; // client -> outermost frame
};

const WindowInfo* findTitle(const std::vector<WindowInfo>& list, const std::string& title);

} // namespace corvane::testing
