#pragma once
// One Corvane per display, by the ICCCM manager-selection convention. The running instance owns
// the selection CORVANE_S<screen> through a small unmapped window of its own that carries
// _NET_WM_PID, and announces it with a MANAGER client message on the root window. A second start
// finds the owner, logs that Corvane is already running (with the owner's pid) and steps aside;
// a selection without an owner (its Corvane has ended, which releases it) is simply taken. When
// another client takes the selection from the running instance, one log line is written and
// onLost is called once (the program hooks it to terminate, which releases the grabs).
// Not covered: taking over from a running instance on request; whoever sets the selection owner
// takes over, as the convention has it.

#include "platform/x11/X11Connection.h"

#include <functional>
#include <memory>
#include <xcb/xcb.h>

namespace corvane {

class X11InstanceSelection : private X11EventListener {
  public:
    // The selection, owned; null, with the log line, when another Corvane holds it. Call before
    // the keyboard is grabbed, so that a second instance never competes for the chord.
    static std::unique_ptr<X11InstanceSelection> claim(X11Connection& connection);
    ~X11InstanceSelection() override;
    X11InstanceSelection(const X11InstanceSelection&) = delete;
    X11InstanceSelection& operator=(const X11InstanceSelection&) = delete;

    std::function<void()> onLost;

  private:
    X11InstanceSelection(X11Connection& connection, xcb_atom_t selection, xcb_window_t window);
    void handleX11Event(const xcb_generic_event_t& event) override;

    X11Connection& connection_;
    xcb_atom_t selection_;
    xcb_window_t window_;
    bool isLost_ = false;
};

} // namespace corvane
