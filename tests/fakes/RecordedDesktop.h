#pragma once
// A whole desktop on record: the window server's on-screen list, the running applications, each
// process's Accessibility windows (titles, minimized flags) and the own process. It answers as
// the platform would and writes every call into `log`, so tests can check what was asked, and in
// what order. Activation and raising also change the desktop (the active application, the last
// raised window), so whole-switch scenarios can assert the outcome.
//
//   RecordedDesktop desktop;                        // own pid 100, macOS 14 or later
//   desktop.addApp(200, "Editor");
//   desktop.addOnScreenWindow(200, 51, "Doc A");    // window-list entry + Accessibility window
//   desktop.addAXWindow(200, "Doc C", true);        // minimized
//   auto list = enumerateWindows(desktop.catalogue());
//   EXPECT_THAT(desktop.log.calls, Contains("activateApplication 200 options=0"));
//
// Log lines: "copyWindowList options=17 relative=0", "runningApplications",
// "runningApplicationWithProcessIdentifier 200", "activateApplication 200 options=0",
// "createApplication 200", "copy 200 AXWindows", "copy 200/3 AXTitle", "set 200/3 AXMain true",
// "perform 200/3 AXRaise", where 200/3 is window element 3 of process 200.

#include "fakes/CallLog.h"
#include "platform/Accessibility.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"
#include "windows/WindowCatalogue.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvane::testing {

struct AppTraits {
    ActivationPolicy activationPolicy = ActivationPolicy::regular;
    bool isHidden = false, hasIcon = true;
};

class RecordedDesktop : public WindowServer,
                        public AccessibilityService,
                        public Workspace,
                        public ProcessInfo {
  public:
    explicit RecordedDesktop(pid_t ownPid = 100) : ownPid_(ownPid) {}

    WindowCatalogue catalogue() { return WindowCatalogue{*this, *this, *this, *this}; }

    // A running application (in the order added). Each gets its own 1x1 icon, whose pixel carries
    // the pid so that a mix-up shows, unless traits.hasIcon is false.
    void addApp(pid_t pid, std::optional<std::string> name, AppTraits traits = {});

    // Window-server entries, front to back in the order added; onScreenEntry is a well-formed
    // one, on screen.
    static WindowListEntry onScreenEntry(std::uint32_t number, pid_t pid, std::string ownerName,
                                         std::int64_t layer = 0);
    void addOnScreen(std::uint32_t number, pid_t pid, std::string ownerName,
                     std::int64_t layer = 0) {
        addWindowListEntry(onScreenEntry(number, pid, std::move(ownerName), layer));
    }
    void addWindowListEntry(WindowListEntry entry) { windowList_.push_back(std::move(entry)); }
    // Forgets every window-list entry and Accessibility window; the applications stay, so a test
    // can lay out a changed desktop afresh.
    void removeAllWindows();
    void failWindowList() { windowListFails_ = true; }

    // Accessibility windows of a process, in "AXWindows" order; each returns its element's id.
    std::uint64_t addAXWindow(pid_t pid, std::string title, bool isMinimized = false);
    // Raw answers for "AXTitle" and "AXMinimized": missing values, wrong types, error codes.
    std::uint64_t addAXWindowAnswering(pid_t pid, AXCopyResult title, AXCopyResult minimized);
    // "AXWindows" of the process answers exactly this, whatever windows were added.
    void setAXWindowsAnswer(pid_t pid, AXCopyResult answer) { windowsAnswers_[pid] = answer; }
    // The Accessibility window answers this title from now on.
    void retitleAXWindow(std::uint64_t window, std::string title);
    // Every Accessibility call fails, as without the user's permission.
    void denyAccessibility() { accessibilityDenied_ = true; }
    // A window listed on screen (owner name = the app's name) and its Accessibility window.
    std::uint64_t addOnScreenWindow(pid_t pid, std::uint32_t number, std::string title);

    // Reports changes as a window server that can tell does, when turned on before the app
    // asks; windowListChanged() then reports one.
    bool reportsChanges = false;
    void windowListChanged() {
        if (onChange_)
            onChange_();
    }
    bool observeWindowListChanges(std::function<void()> handler) override {
        if (reportsChanges)
            onChange_ = std::move(handler);
        return reportsChanges;
    }

    void setMacOS14(bool isAtLeast14) { isAtLeastMacOS14_ = isAtLeast14; }
    void setRecordingCalls(bool isRecording) { log.isRecording = isRecording; }

    CallLog log;
    // Window-list copies so far, counted whether or not calls are recorded.
    int windowListCopies = 0;
    std::optional<pid_t> activeApp;
    std::optional<std::uint64_t> lastRaisedWindow;

    std::optional<std::vector<WindowListEntry>> copyWindowList(std::uint32_t options,
                                                               std::uint32_t relativeTo) override;
    AXUIElement createApplication(pid_t pid) override;
    AXCopyResult copyAttributeValue(const AXUIElement& element,
                                    const std::string& attribute) override;
    AXError setAttributeValue(const AXUIElement& element, const std::string& attribute,
                              const AXValue& value) override;
    AXError performAction(const AXUIElement& element, const std::string& action) override;
    std::vector<RunningApplication> runningApplications() override;
    std::optional<RunningApplication> runningApplicationWithProcessIdentifier(pid_t pid) override;
    bool activateApplication(pid_t pid, std::uint32_t options) override;
    pid_t processIdentifier() const override { return ownPid_; }
    bool isAtLeastMacOS14() const override { return isAtLeastMacOS14_; }

  private:
    struct AXWindow {
        pid_t pid = 0;
        AXCopyResult title, minimized;
    };

    // The line is built only while recording: the benchmark must not pay for it.
    template <typename MakeLine> void record(MakeLine makeLine) {
        if (log.isRecording)
            log.record(makeLine());
    }
    const AXWindow* windowOf(const AXUIElement& element) const;
    const RunningApplication* findApp(pid_t pid) const;

    pid_t ownPid_;
    bool isAtLeastMacOS14_ = true, windowListFails_ = false, accessibilityDenied_ = false;
    std::vector<RunningApplication> apps_;
    std::vector<WindowListEntry> windowList_;
    std::unordered_map<pid_t, std::vector<std::uint64_t>> axWindowsOf_;
    std::unordered_map<pid_t, AXCopyResult> windowsAnswers_;
    std::unordered_map<std::uint64_t, AXWindow> axWindows_;
    std::uint64_t nextWindowId_ = 1;
    std::function<void()> onChange_;
};

} // namespace corvane::testing
