#pragma once
// One switchable window as the catalogue saw it when the switch began: a plain value, copied
// wherever it goes. Strings are held by value; the icon is shared with every other record of the
// same application and lives as long as the last record that holds it. A record holds no
// Accessibility element and no application object, so it can outlive the window it names.

#include "platform/Image.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace corvane {

using CGWindowID = std::uint32_t;

struct WindowInfo {
    // The window server's number for an on-screen window; 0 for a window found only through
    // Accessibility (minimized, or any window of a hidden application).
    CGWindowID windowID = 0;
    // The window list's owner name (on screen), or the application's localized name (may be
    // empty for Accessibility-found windows).
    std::string appName;
    // "AXTitle" as the application gives it; may be empty.
    std::string windowTitle;
    // The owning application's icon; null when it has none or is not a running application.
    ImageRef appIcon;
    pid_t pid = 0;
    // True exactly when windowID is 0.
    bool isMinimized = false;
    // Which of its process's Accessibility windows with this title (canonically equal, empty
    // titles included) the record stands for, counting from 0 in "AXWindows" order: two windows
    // that share a title share the window key, and only this tells them apart when raising.
    int titleOccurrence = 0;

    friend bool operator==(const WindowInfo&, const WindowInfo&) = default;
};

// The window key tells two windows apart by process and title: the decimal pid, a colon, and the
// title, e.g. "412:Inbox" or "412:" for an untitled window. The title is put into canonical
// (NFC) form, so keys built from precomposed and decomposed spellings of one title are equal.
std::string windowKey(pid_t pid, std::string_view title);
inline std::string windowKey(const WindowInfo& info) {
    return windowKey(info.pid, info.windowTitle);
}

} // namespace corvane
