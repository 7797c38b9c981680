#pragma once
// The login-item service for tests: a status, and register/unregister calls that succeed
// (changing the status) or fail with a given description.

#include "platform/LoginItem.h"

#include <optional>
#include <string>
#include <vector>

namespace corvane::testing {

class FakeLoginItem : public LoginItemService {
  public:
    LoginItemStatus status() override {
        calls.emplace_back("status");
        return currentStatus;
    }
    std::optional<std::string> registerItem() override {
        calls.emplace_back("register");
        if (failure)
            return failure;
        currentStatus = LoginItemStatus::enabled;
        return std::nullopt;
    }
    std::optional<std::string> unregisterItem() override {
        calls.emplace_back("unregister");
        if (failure)
            return failure;
        currentStatus = LoginItemStatus::notRegistered;
        return std::nullopt;
    }

    void failWith(std::string description) { failure = std::move(description); }
    void succeed() { failure.reset(); }

    LoginItemStatus currentStatus = LoginItemStatus::notRegistered;
    std::optional<std::string> failure;
    std::vector<std::string> calls;
};

} // namespace corvane::testing
