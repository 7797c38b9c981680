#include "windows/AccessibilityReads.h"
#include "windows/UnicodeText.h"
#include "windows/WindowCatalogue.h"

#include <string>
#include <vector>

namespace corvane {

namespace {

void activateApplication(const WindowCatalogue& catalogue, pid_t pid) {
    // The process may have quit since the list was made; the Accessibility steps still run.
    if (!catalogue.workspace.runningApplicationWithProcessIdentifier(pid))
        return;
    // From macOS 14 on, asking to ignore other applications is deprecated and does nothing.
    const std::uint32_t options =
        catalogue.processInfo.isAtLeastMacOS14() ? 0 : NSApplicationActivateIgnoringOtherApps;
    catalogue.workspace.activateApplication(pid, options);
}

} // namespace

void activateWindow(const WindowCatalogue& catalogue, const WindowInfo& info) {
    activateApplication(catalogue, info.pid);

    AccessibilityService& accessibility = catalogue.accessibility;
    const std::vector<AXUIElement> windows = copyWindowElements(accessibility, info.pid);
    if (windows.empty())
        return;

    // The wanted title is normalised once, not once per window compared. Windows that share
    // the title (two terminals, two "New Tab" windows, untitled ones) are told apart by their
    // order among themselves, as the enumeration counted them.
    const std::string wanted = normalizedNFC(info.windowTitle);
    int sameTitled = 0;
    for (const AXUIElement& window : windows) {
        if (normalizedNFC(copyWindowTitle(accessibility, window)) != wanted)
            continue;
        if (sameTitled++ != info.titleOccurrence)
            continue;
        accessibility.setAttributeValue(window, kAXMainAttribute, AXValue{true});
        accessibility.performAction(window, kAXRaiseAction);
        return;
    }
    // The title changed or the window closed since the list was made: bring the application's
    // front window forward, without claiming it is the one asked for.
    accessibility.performAction(windows.front(), kAXRaiseAction);
}

} // namespace corvane
