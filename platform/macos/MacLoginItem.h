#pragma once
// Launching Corvane at login through ServiceManagement: SMAppService's mainAppService, the
// application bundle itself as a login item (macOS 13 and later). Statuses and errors are
// mapped by loginItemStatusFromSystem and loginItemFailureText. macOS only.

#include "platform/LoginItem.h"

namespace corvane {

class MacLoginItem : public LoginItemService {
  public:
    LoginItemStatus status() override;
    std::optional<std::string> registerItem() override;
    std::optional<std::string> unregisterItem() override;
};

} // namespace corvane
