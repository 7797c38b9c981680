#pragma once
// The order in which Corvane has seen windows become active, and the front-to-back order of the
// window list built from it.
//
// On macOS front to back is the order of use, because activating raises. X11 managers differ:
// a tiling one (i3) focuses without restacking, and others leave their stacking list behind the
// real stacking. So Corvane keeps its own history of _NET_ACTIVE_WINDOW as the manager
// announces it: the root's property changes are selected on Corvane's connection, each change is
// answered by a read of the property (collected without waiting while events drain, and at the
// latest when the history is asked for), and the window active when Corvane started counts as
// the first entry. Windows leave the history when destroyed or no longer listed, so it never
// holds more than the window list. A manager without _NET_ACTIVE_WINDOW leaves it empty.
//
// Registers itself as a listener on the connection, which must outlive it.

#include "platform/x11/X11Connection.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <unordered_set>
#include <vector>

namespace corvane {

class X11ActivationHistory : public X11EventListener {
  public:
    explicit X11ActivationHistory(X11Connection& connection);
    ~X11ActivationHistory() override;
    X11ActivationHistory(const X11ActivationHistory&) = delete;
    X11ActivationHistory& operator=(const X11ActivationHistory&) = delete;

    // Most recently active first, once each; waits for reads still outstanding.
    const std::vector<xcb_window_t>& mostRecentFirst();
    void keepOnly(const std::unordered_set<xcb_window_t>& listed);

    void handleX11Event(const xcb_generic_event_t& event) override;

  private:
    void requestActiveWindow();
    void collect(bool wait);
    void noteActive(xcb_window_t window);

    X11Connection& connection_;
    std::deque<xcb_get_property_cookie_t> pending_;
    std::vector<xcb_window_t> recent_;
};

// The front-to-back order of a window list, as indices into it: the windows seen active, most
// recent first, then the others by their frame's place on the root, top first. stackPosition
// is each window's frame position among the root's children (bottom 0); when any is unknown,
// the others keep the list's own order (the manager's stacking list, reversed), the last resort.
// activationRank is each window's place in the history (0 most recent), nothing when never seen.
std::vector<std::size_t>
frontToBackOrder(const std::vector<std::optional<std::size_t>>& stackPosition,
                 const std::vector<std::optional<std::size_t>>& activationRank);

} // namespace corvane
