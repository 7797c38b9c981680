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
        else if (fallbackIcons_)
            application.icon = fallbackIcons_->iconFor(window.windowClass, window.classInstance,
                                                       devicePixelRatio_);
        applications.push_back(std::move(application));
    }
    return applications;
}

std::optional<RunningApplication> X11Workspace::runningApplicationWithProcessIdentifier(pid_t pid) {
    for (auto& application : runningApplications()) {
        if (application.processIdentifier == pid)
            return application;
    }
    return std::nullopt;
}

bool X11Workspace::activateApplication(pid_t pid, std::uint32_t /*options*/) {
    const X11DesktopSnapshot& snapshot = reader_.snapshot();
    const auto windows = X11Accessibility::windowsOf(snapshot, pid);
    if (windows.empty())
        return false;
    X11Accessibility::activate(reader_.connection(), snapshot, *windows.front());
    return true;
}

pid_t X11ProcessInfo::processIdentifier() const {
    return getpid();
}

} // namespace corvane
