#pragma once
// The running applications and the program's own process. Values are snapshots: a
// RunningApplication is plain data, read when the list was asked for.

#include "platform/Application.h"
#include "platform/Image.h"

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace corvane {

inline constexpr std::uint32_t NSApplicationActivateIgnoringOtherApps = 2;

struct RunningApplication {
    pid_t processIdentifier = 0;
    std::optional<std::string> localizedName;
    ImageRef icon; // null when the application reports none
    ActivationPolicy activationPolicy = ActivationPolicy::regular;
    bool isHidden = false;
};

class Workspace {
  public:
    virtual ~Workspace() = default;
    // In the platform's order; may list one process more than once.
    virtual std::vector<RunningApplication> runningApplications() = 0;
    virtual std::optional<RunningApplication>
    runningApplicationWithProcessIdentifier(pid_t pid) = 0;
    // Makes the application the active one; the answer says whether the request was made.
    virtual bool activateApplication(pid_t pid, std::uint32_t options) = 0;
};

class ProcessInfo {
  public:
    virtual ~ProcessInfo() = default;
    virtual pid_t processIdentifier() const = 0;
    // Whether the system counts as macOS 14.0 or later for activation options; a backend for
    // another system answers for the behaviour it offers.
    virtual bool isAtLeastMacOS14() const = 0;
};

} // namespace corvane
