// Running applications from the desktop snapshot (see X11Workspace.h).

#include "platform/x11/X11Workspace.h"

#include "platform/x11/X11Accessibility.h"
#include "platform/x11/X11Icon.h"

#include <set>
#include <unistd.h>

namespace corvane {

std::vector<RunningApplication> X11Workspace::runningApplications() {
    const X11DesktopSnapshot& snapshot = reader_.snapshot();
    const auto& icons = reader_.icons(iconTargetPixels(devicePixelRatio_));
    std::vector<RunningApplication> applications;
    std::set<pid_t> listed;
    for (const X11ClientWindow& window : snapshot.windows) {
        if (window.pid <= 0 || !listed.insert(window.pid).second)
            continue;
        RunningApplication application;
        application.processIdentifier = window.pid;
        application.localizedName = window.ownerName;
        if (auto icon = icons.find(window.pid); icon != icons.end())
            application.icon = icon->second;
        applications.push_back(std::move(application));
    }
    return applications;
}

// On the commit path: answered from the snapshot alone, without reading any icon.
std::optional<RunningApplication> X11Workspace::runningApplicationWithProcessIdentifier(pid_t pid) {
    if (pid <= 0)
        return std::nullopt;
    for (const X11ClientWindow& window : reader_.snapshot().windows) {
        if (window.pid != pid)
            continue;
        RunningApplication application;
        application.processIdentifier = pid;
        application.localizedName = window.ownerName;
        return application;
    }
    return std::nullopt;
}

// An X11 application has no activation of its own: its window's "AXRaise" activates it, and
// a request here for some other window of it would add a focus change for keys to race.
bool X11Workspace::activateApplication(pid_t pid, std::uint32_t /*options*/) {
    return !X11Accessibility::windowsOf(reader_.snapshot(), pid).empty();
}

pid_t X11ProcessInfo::processIdentifier() const {
    return getpid();
}

} // namespace corvane
