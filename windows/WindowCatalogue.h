#pragma once
// The window catalogue: the list of switchable windows across applications, and the raising of
// one of them. Both run synchronously on the main thread against the services given; nothing is
// cached between calls, and no failure is reported: a failed platform call only shortens the
// list, or leaves the activation at whatever steps did succeed.

#include "platform/Accessibility.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"
#include "windows/WindowInfo.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace corvane {

// The services the catalogue calls. It only uses them for the length of one call and owns none.
struct WindowCatalogue {
    WindowServer& windowServer;
    AccessibilityService& accessibility;
    Workspace& workspace;
    const ProcessInfo& processInfo;
};

// The other processes' on-screen windows at the normal layer, front to back, titled from their
// owners' Accessibility windows by position; then the minimized windows of regular applications
// and every window of hidden ones, in running-application order. Never lists the own process.
std::vector<WindowInfo> enumerateWindows(const WindowCatalogue& catalogue);

// One title per Accessibility window of the process, in the application's order (minimized
// windows included); empty when its window list cannot be read or is empty.
std::vector<std::string> axWindowTitles(AccessibilityService& accessibility, pid_t pid);

// Activates the record's application and makes its window main and raises it: the Accessibility
// window with the record's title whose occurrence among the windows so titled is the record's
// titleOccurrence. When there is no such window any more, the first window is raised without
// being made main.
void activateWindow(const WindowCatalogue& catalogue, const WindowInfo& info);

} // namespace corvane
