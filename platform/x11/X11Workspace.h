#pragma once
// Running applications, the own process and the trust check on X11.
// - X11Workspace: one regular, never hidden application per process that owns client windows,
//   in the order of each process's front-most window; its name is WM_CLASS's class of that
//   window and its icon the _NET_WM_ICON size that best fills a 48-point card at the screen's
//   device pixel ratio (setDevicePixelRatio, 1 until told). The look-up by pid reads no icon
//   (it leaves it null): it lies on the commit path. Activating an application sends nothing
//   and says whether it has a window to activate: on X11 that is the window's own "AXRaise".
//   Uses the reader.
// - X11ProcessInfo: getpid(); activation options as on macOS 14 and later (none are needed).
// - X11AccessibilityTrust: trusted when the connection offers XKB, which interception needs;
//   there is no settings page to open.

#include "platform/AccessibilityTrust.h"
#include "platform/Workspace.h"
#include "platform/x11/X11DesktopSnapshot.h"

namespace corvane {

class X11Workspace : public Workspace {
  public:
    explicit X11Workspace(X11DesktopReader& reader) : reader_(reader) {}

    std::vector<RunningApplication> runningApplications() override;
    std::optional<RunningApplication> runningApplicationWithProcessIdentifier(pid_t pid) override;
    bool activateApplication(pid_t pid, std::uint32_t options) override;

    void setDevicePixelRatio(double ratio) { devicePixelRatio_ = ratio; }

  private:
    X11DesktopReader& reader_;
    double devicePixelRatio_ = 1.0;
};

class X11ProcessInfo : public ProcessInfo {
  public:
    pid_t processIdentifier() const override;
    bool isAtLeastMacOS14() const override { return true; }
};

class X11AccessibilityTrust : public AccessibilityTrust {
  public:
    explicit X11AccessibilityTrust(X11Connection& connection) : connection_(connection) {}
    bool isProcessTrusted() override { return connection_.hasXkb() && !connection_.isLost(); }
    std::optional<std::string> accessibilitySettingsURL() const override { return std::nullopt; }

  private:
    X11Connection& connection_;
};

} // namespace corvane
