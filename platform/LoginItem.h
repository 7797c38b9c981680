#pragma once
// Launching Corvane at login: whether it is registered, and registering or unregistering it.

#include <optional>
#include <string>

namespace corvane {

enum class LoginItemStatus { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

class LoginItemService {
  public:
    virtual ~LoginItemService() = default;
    virtual LoginItemStatus status() = 0;
    // Each answers nothing on success, or the description of what went wrong.
    virtual std::optional<std::string> registerItem() = 0;
    virtual std::optional<std::string> unregisterItem() = 0;
};

} // namespace corvane
