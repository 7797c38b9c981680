#pragma once
// Running applications, activation, the own process, URL opening and the activation policy, on
// AppKit (NSWorkspace, NSRunningApplication, NSProcessInfo, NSApplication).
// - MacWorkspace: NSWorkspace's runningApplications in its order. An application's icon is
//   drawn once per process at the size that fills a 48-point card on the main screen and kept
//   while the process runs. Activation asks NSRunningApplication to activate with the core's
//   options.
// - MacProcessInfo: getpid(); macOS 14 or later through isOperatingSystemAtLeastVersion:.
// - MacUrlOpener: NSWorkspace openURL:; false when the text is no URL or nothing opened it.
// - applyActivationPolicy: NSApp's activation policy (accessory: no Dock icon, no menu bar).
//   The bundle's LSUIElement already makes Corvane an accessory; this covers a run of the bare
//   executable.
// macOS only.

#include "platform/Alerts.h"
#include "platform/Workspace.h"

#include <map>
#include <memory>

namespace corvane {

class MacWorkspace : public Workspace {
  public:
    std::vector<RunningApplication> runningApplications() override;
    std::optional<RunningApplication> runningApplicationWithProcessIdentifier(pid_t pid) override;
    bool activateApplication(pid_t pid, std::uint32_t options) override;

  private:
    std::map<pid_t, ImageRef> icons_; // of the processes of the latest list
};

class MacProcessInfo : public ProcessInfo {
  public:
    pid_t processIdentifier() const override;
    bool isAtLeastMacOS14() const override;
};

class MacUrlOpener : public UrlOpener {
  public:
    bool openURL(const std::string& url) override;
};

void applyActivationPolicy(ActivationPolicy policy);

} // namespace corvane
