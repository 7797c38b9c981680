#pragma once
// The window server's on-screen list on X11, front to back: most recently active first, then
// the real stacking (see X11ActivationHistory.h), in the same order as the Accessibility
// windows of each process, which are paired with these entries by position. Each entry:
// kCGWindowNumber = the client window id, kCGWindowLayer = 0 for normal and dialog windows (other
// types other layers), kCGWindowOwnerPID = the X-Resource client pid (else _NET_WM_PID; absent when
// neither is known), kCGWindowOwnerName = WM_CLASS's class, kCGWindowIsOnscreen = viewable, not
// _NET_WM_STATE_HIDDEN, on the current desktop or all. With kCGWindowListOptionOnScreenOnly only
// on-screen windows are listed. Nothing when the connection is gone. Uses the reader, which must
// outlive it.

#include "platform/WindowServer.h"
#include "platform/x11/X11DesktopSnapshot.h"

namespace corvane {

class X11WindowServer : public WindowServer {
  public:
    explicit X11WindowServer(X11DesktopReader& reader) : reader_(reader) {}
    std::optional<std::vector<WindowListEntry>>
    copyWindowList(std::uint32_t options, std::uint32_t relativeToWindow) override;
    // The reader's change events; the accessibility and workspace services read the same
    // snapshot, so they change with it.
    bool observeWindowListChanges(std::function<void()> handler) override {
        reader_.onChange = std::move(handler);
        return true;
    }

  private:
    X11DesktopReader& reader_;
};

} // namespace corvane
