#pragma once
// The world of one X11 integration test: a private Xvfb (with openbox when asked), Corvane's
// backend on its own connection, a second "helper" connection that plays other programs
// (setting odd properties, holding grabs, typing through XTEST), and polling helpers that drain
// Corvane's connection while they wait.

#include "fakes/FakeSystemLog.h"
#include "harness/XvfbSession.h"
#include "platform/x11/X11Accessibility.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11DesktopSnapshot.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/X11Workspace.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

struct xkb_context;
struct xkb_keymap;

namespace corvane::testing {

class X11TestDesktop {
  public:
    // Empty optional's message says why the desktop could not be set up.
    static std::unique_ptr<X11TestDesktop> create(bool withWindowManager, std::string& failure);
    ~X11TestDesktop();

    XvfbSession& session() { return *session_; }
    X11Connection& connection() { return *connection_; }
    X11DesktopReader& reader() { return *reader_; }
    X11WindowServer& windowServer() { return *windowServer_; }
    X11Accessibility& accessibility() { return *accessibility_; }
    X11Workspace& workspace() { return *workspace_; }
    X11ProcessInfo& processInfo() { return processInfo_; }
    FakeSystemLog& log() { return log_; }

    // The helper connection: another program on the same display.
    xcb_connection_t* helper() const { return helper_; }
    xcb_ewmh_connection_t& helperEwmh() { return helperEwmh_; }
    xcb_window_t root() const;

    // Drains Corvane's connection until the condition holds or the timeout passes.
    bool pumpUntil(const std::function<bool()>& condition,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until the window manager lists every window (on the helper connection).
    bool waitUntilManaged(const std::vector<std::uint32_t>& windows);
    xcb_window_t activeWindow();
    std::uint32_t currentDesktop();
    bool isViewable(xcb_window_t window);
    void setProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, int format,
                     const void* data, std::uint32_t count);
    xcb_atom_t atom(const char* name);

    // XTEST typing on the helper connection.
    std::uint8_t keycodeFor(std::uint32_t keysym);
    void press(std::uint32_t keysym);
    void release(std::uint32_t keysym);
    void tap(std::uint32_t keysym);
    void syncHelper();

  private:
    X11TestDesktop() = default;

    std::unique_ptr<XvfbSession> session_;
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
};

// The lines of a text file (the test client's key record), empty when it does not exist.
std::vector<std::string> readLines(const std::string& path);

} // namespace corvane::testing
