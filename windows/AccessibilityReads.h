#pragma once
// The Accessibility reads the catalogue makes, with their failure conventions in one place:
// "AXWindows" counts only on success with a list; "AXTitle" and "AXMinimized" look only at the
// value left behind, whatever the error code says.

#include "platform/Accessibility.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace corvane {

// The process's window elements in the application's order; empty on any failure.
std::vector<AXUIElement> copyWindowElements(AccessibilityService& accessibility, pid_t pid);

// The window's title, or the empty string when it leaves none or something that is not a string.
std::string copyWindowTitle(AccessibilityService& accessibility, const AXUIElement& window);

// Whether the window says it is minimized; anything but a Bool true counts as not minimized.
bool copyWindowIsMinimized(AccessibilityService& accessibility, const AXUIElement& window);

} // namespace corvane
