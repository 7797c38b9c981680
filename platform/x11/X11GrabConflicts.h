#pragma once
// What Corvane tells the user when a key combination it needs is already grabbed by another
// client, nearly always the window manager's own binding: one line per combination, naming it,
// what it costs Corvane, the manager (the _NET_WM_NAME of its _NET_SUPPORTING_WM_CHECK window)
// and, for the managers Corvane is tested on (openbox, fluxbox, icewm, i3, jwm, awesome,
// metacity, xfwm4), where that binding is freed, written in that manager's own notation. Lock
// modifiers are left out: a grab is refused for all of their combinations alike.
//
// The line is pure text from plain values (unit-tested); reading the manager's name takes the
// connection.

#include "platform/x11/X11Connection.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

struct GrabConflict {
    std::uint32_t keysym = 0;    // a key of kSwitchKeys (X11KeyTranslation.h)
    std::uint16_t modifiers = 0; // Shift, Control, Mod1 and Mod4 bits only
    bool isChord = false;        // the chord, as opposed to a key of a switch under way
};

// "Alt+Shift+Tab", "Ctrl+Alt+Escape": how Corvane names the combination.
std::string keyCombinationLabel(const GrabConflict& conflict);
// The log line, windowManager empty when unknown.
std::string grabConflictLine(const GrabConflict& conflict, std::string_view windowManager);
// The running manager's name; empty when none announces itself.
std::string readWindowManagerName(X11Connection& connection);

} // namespace corvane
