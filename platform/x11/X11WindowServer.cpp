// The on-screen window list from the desktop snapshot (see X11WindowServer.h).

#include "platform/x11/X11WindowServer.h"

namespace corvane {

std::optional<std::vector<WindowListEntry>>
X11WindowServer::copyWindowList(std::uint32_t options, std::uint32_t /*relativeToWindow*/) {
    const X11DesktopSnapshot& snapshot = reader_.snapshot();
    if (!snapshot.hasWindowList)
        return std::nullopt;
    const bool onScreenOnly = options & kCGWindowListOptionOnScreenOnly;
    std::vector<WindowListEntry> entries;
    entries.reserve(snapshot.windows.size());
    for (const X11ClientWindow& window : snapshot.windows) {
        if (onScreenOnly && !window.isOnScreen())
            continue;
        WindowListEntry entry{
            {kCGWindowNumber, std::int64_t{window.id}},
            {kCGWindowLayer, std::int64_t{window.layer}},
            {kCGWindowOwnerName, window.ownerName},
            {kCGWindowIsOnscreen, window.isOnScreen()},
        };
        if (window.pid > 0)
            entry[kCGWindowOwnerPID] = std::int64_t{window.pid};
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace corvane
