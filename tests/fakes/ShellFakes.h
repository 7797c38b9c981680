#pragma once
// Fakes of the services the application shell uses around the switcher: the application object,
// the Accessibility trust check, alerts, opening addresses, the status bar and the login item.
// Given a CallLog, they write the calls whose order matters into it.

#include "fakes/CallLog.h"
#include "platform/AccessibilityTrust.h"
#include "platform/Alerts.h"
#include "platform/Application.h"
#include "platform/LoginItem.h"
#include "platform/StatusBar.h"

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane::testing {

// run() tells the delegate that launching finished, runs onRunLoop (what happens "inside" the
// loop) and returns; terminate() tells the delegate the application is ending.
class FakeApplication : public Application, Recording {
  public:
    using Recording::Recording;
    void setDelegate(ApplicationDelegate* newDelegate) override { delegate = newDelegate; }
    void setActivationPolicy(ActivationPolicy policy) override {
        record("setActivationPolicy(" + std::to_string(static_cast<int>(policy)) + ")");
    }
    void run() override {
        if (delegate)
            delegate->applicationDidFinishLaunching();
        if (onRunLoop)
            onRunLoop();
    }
    void terminate() override {
        ++terminateCount;
        if (delegate)
            delegate->applicationWillTerminate();
    }

    ApplicationDelegate* delegate = nullptr;
    int terminateCount = 0;
    std::function<void()> onRunLoop;
};

// `trusted` plays the user's answer in the system settings.
class FakeAccessibilityTrust : public AccessibilityTrust, Recording {
  public:
    using Recording::Recording;
    bool isProcessTrusted() override {
        record(trusted ? "isProcessTrusted -> true" : "isProcessTrusted -> false");
        return trusted;
    }
    std::optional<std::string> accessibilitySettingsURL() const override { return settingsURL; }

    bool trusted = true;
    std::optional<std::string> settingsURL = std::string("x-apple.systempreferences:privacy");
};

// Records every alert and answers `answer`; whileShowing plays what happens while it is open.
class FakeAlerts : public AlertPresenter, Recording {
  public:
    using Recording::Recording;
    long runModal(const Alert& alert) override {
        record("runModal(" + alert.messageText + ")");
        shown.push_back(alert);
        if (whileShowing)
            whileShowing();
        return answer;
    }

    std::vector<Alert> shown;
    long answer = NSAlertFirstButtonReturn;
    std::function<void()> whileShowing;
};

class FakeUrlOpener : public UrlOpener, Recording {
  public:
    using Recording::Recording;
    bool openURL(const std::string& url) override {
        record("openURL(" + url + ")");
        return succeeds;
    }

    bool succeeds = true;
};

// Keeps the item Corvane made, with verbs to find menu items by title and choose them.
class FakeStatusBar : public StatusBar, Recording {
  public:
    struct Item : StatusItem {
        bool hasButton() const override { return true; }
        void setImage(const StatusIcon&) override {}
        void setMenu(std::shared_ptr<Menu> newMenu) override { menu = std::move(newMenu); }
        std::shared_ptr<Menu> menu;
    };

    using Recording::Recording;
    std::shared_ptr<StatusItem> statusItemWithLength(double) override {
        record("statusItemWithLength");
        item = std::make_shared<Item>();
        return item;
    }

    // The item of the menu or of a submenu with this title; throws when there is none, so a test
    // that names a missing item fails plainly.
    std::shared_ptr<MenuItem> menuItem(const std::string& title) const {
        if (auto found = item && item->menu ? find(*item->menu, title) : nullptr)
            return found;
        throw std::logic_error("no menu item titled " + title);
    }
    void choose(const std::string& title) const { menuItem(title)->performAction(); }
    ControlState stateOf(const std::string& title) const { return menuItem(title)->state(); }

    std::shared_ptr<Item> item;

  private:
    static std::shared_ptr<MenuItem> find(const Menu& menu, const std::string& title) {
        for (const auto& entry : menu.items()) {
            if (!entry->isSeparatorItem() && entry->title() == title)
                return entry;
            if (auto found = entry->submenu() ? find(*entry->submenu(), title) : nullptr)
                return found;
        }
        return nullptr;
    }
};

// Register and unregister succeed (changing the status) unless `failure` is set.
class FakeLoginItem : public LoginItemService {
  public:
    LoginItemStatus status() override { return currentStatus; }
    std::optional<std::string> registerItem() override {
        return change("register", LoginItemStatus::enabled);
    }
    std::optional<std::string> unregisterItem() override {
        return change("unregister", LoginItemStatus::notRegistered);
    }

    LoginItemStatus currentStatus = LoginItemStatus::notRegistered;
    std::optional<std::string> failure;
    CallLog log;

  private:
    std::optional<std::string> change(const char* call, LoginItemStatus to) {
        log.record(call);
        if (!failure)
            currentStatus = to;
        return failure;
    }
};

} // namespace corvane::testing
