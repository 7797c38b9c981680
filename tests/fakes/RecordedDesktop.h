#pragma once
// A whole desktop on record: the window server's on-screen list, the running applications, each
// process's Accessibility windows (titles, minimized flags) and the own process. It answers as
// the platform would and writes every call into a log, so tests can check what was asked, and in
// what order. Activation and raising also change the desktop (active application, each process's
// main window, the last raised window), so whole-switch scenarios can assert the outcome.
//
//   RecordedDesktop desktop;                        // own pid 100, macOS 14 or later
//   desktop.addApp(200, "Editor");
//   desktop.addOnScreenWindow(200, 51, "Doc A");    // window-list entry + Accessibility window
//   desktop.addMinimizedWindow(200, "Doc C");
//   auto list = enumerateWindows(desktop.catalogue());
//   EXPECT_THAT(desktop.calls(), Contains("activateApplication 200 options=0"));

#include "platform/Accessibility.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"
#include "windows/WindowCatalogue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvane::testing {

struct AppTraits {
    ActivationPolicy activationPolicy = ActivationPolicy::regular;
    bool isHidden = false;
    bool hasIcon = true;
};

class RecordedDesktop : public WindowServer,
                        public AccessibilityService,
                        public Workspace,
                        public ProcessInfo {
  public:
    explicit RecordedDesktop(pid_t ownPid = 100) : ownPid_(ownPid) {}

    WindowCatalogue catalogue() { return WindowCatalogue{*this, *this, *this, *this}; }

    // ---- Running applications (in the order added; the same pid may be added twice).
    // Each gets its own 1x1 icon unless traits.hasIcon is false; iconOf() returns it.
    void addApp(pid_t pid, std::optional<std::string> name, AppTraits traits = {});
    void setHidden(pid_t pid, bool isHidden);
    // The process quits: gone from the running applications and from Accessibility (its
    // window-list entries stay, as a stale list would have them).
    void quitApp(pid_t pid);
    ImageRef iconOf(pid_t pid) const;

    // ---- Window server list, front to back in the order added.
    // A well-formed entry at layer 0, on screen.
    void addOnScreen(std::uint32_t number, pid_t pid, std::string ownerName,
                     std::int64_t layer = 0);
    void addWindowListEntry(WindowListEntry entry);
    void failWindowList() { windowListFails_ = true; }

    // ---- Accessibility windows of a process, in "AXWindows" order. Returns the element's id.
    std::uint64_t addAXWindow(pid_t pid, std::string title, bool isMinimized = false);
    // Raw answers for "AXTitle" and "AXMinimized" (missing values, wrong types, error codes).
    std::uint64_t addAXWindowAnswering(pid_t pid, AXCopyResult title, AXCopyResult minimized);
    // "AXWindows" of the process answers exactly this, whatever windows were added.
    void setAXWindowsAnswer(pid_t pid, AXCopyResult answer);
    void failAXWindows(pid_t pid, AXError error = kAXErrorCannotComplete);
    void retitleAXWindow(std::uint64_t window, std::string title);
    void closeAXWindow(std::uint64_t window);
    // Every Accessibility call fails, as without the user's permission.
    void denyAccessibility() { accessibilityDenied_ = true; }

    // ---- Conveniences joining the two: a window listed on screen (owner name = the app's name,
    // which must have been added) and its Accessibility window, or a minimized one.
    std::uint64_t addOnScreenWindow(pid_t pid, std::uint32_t number, std::string title);
    std::uint64_t addMinimizedWindow(pid_t pid, std::string title);

    // ---- Process.
    void setOwnPid(pid_t pid) { ownPid_ = pid; }
    void setMacOS14(bool isAtLeast14) { isAtLeastMacOS14_ = isAtLeast14; }

    // ---- What happened.
    // One line per call, e.g. "copyWindowList options=17 relative=0", "runningApplications",
    // "runningApplicationWithProcessIdentifier 200", "activateApplication 200 options=0",
    // "createApplication 200", "copy 200 AXWindows", "copy 200/3 AXTitle",
    // "set 200/3 AXMain true", "perform 200/3 AXRaise", where 200/3 is window element 3 of 200.
    const std::vector<std::string>& calls() const { return calls_; }
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;
    void clearCalls() { calls_.clear(); }
    // The benchmark turns the log off so that it measures the catalogue, not the fake.
    void setRecordingCalls(bool isRecording) { isRecording_ = isRecording; }

    std::optional<pid_t> activeApp() const { return activeApp_; }
    std::optional<std::uint64_t> mainWindowOf(pid_t pid) const;
    std::optional<std::uint64_t> lastRaisedWindow() const { return lastRaised_; }

    // WindowServer
    std::optional<std::vector<WindowListEntry>>
    copyWindowList(std::uint32_t options, std::uint32_t relativeToWindow) override;
    // AccessibilityService
    AXUIElement createApplication(pid_t pid) override;
    AXCopyResult copyAttributeValue(const AXUIElement& element,
                                    const std::string& attribute) override;
    AXError setAttributeValue(const AXUIElement& element, const std::string& attribute,
                              const AXValue& value) override;
    AXError performAction(const AXUIElement& element, const std::string& action) override;
    // Workspace
    std::vector<RunningApplication> runningApplications() override;
    std::optional<RunningApplication> runningApplicationWithProcessIdentifier(pid_t pid) override;
    bool activateApplication(pid_t pid, std::uint32_t options) override;
    // ProcessInfo
    pid_t processIdentifier() const override { return ownPid_; }
    bool isAtLeastMacOS14() const override { return isAtLeastMacOS14_; }

  private:
    struct AXWindow {
        pid_t pid = 0;
        AXCopyResult title;
        AXCopyResult minimized;
        bool isClosed = false;
    };
    struct AXProcess {
        std::vector<std::uint64_t> windows;
        std::optional<AXCopyResult> windowsAnswer; // overrides the list when set
        bool isGone = false;
    };

    void record(std::string line);
    static std::string describe(const AXUIElement& element);
    const AXWindow* liveWindow(const AXUIElement& element) const;
    AXCopyResult copyApplicationAttribute(pid_t pid, const std::string& attribute);
    const RunningApplication* findApp(pid_t pid) const;

    pid_t ownPid_;
    bool isAtLeastMacOS14_ = true;
    bool windowListFails_ = false;
    bool accessibilityDenied_ = false;
    bool isRecording_ = true;
    std::vector<RunningApplication> apps_;
    std::vector<WindowListEntry> windowList_;
    std::unordered_map<pid_t, AXProcess> axProcesses_;
    std::unordered_map<std::uint64_t, AXWindow> axWindows_;
    std::uint64_t nextWindowId_ = 1;
    std::vector<std::string> calls_;
    std::optional<pid_t> activeApp_;
    std::unordered_map<pid_t, std::uint64_t> mainWindows_;
    std::optional<std::uint64_t> lastRaised_;
};

} // namespace corvane::testing
