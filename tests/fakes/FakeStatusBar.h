#pragma once
// The status bar for tests: keeps the item Corvane made, its image and its menu, with verbs to
// find menu items by title and choose them as the user would.

#include "fakes/CallLog.h"
#include "platform/StatusBar.h"

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace corvane::testing {

class FakeStatusItem : public StatusItem {
  public:
    bool hasButton() const override { return withButton; }
    void setImage(const StatusIcon& icon) override { image = icon; }
    void setMenu(std::shared_ptr<Menu> newMenu) override { menu = std::move(newMenu); }

    bool withButton = true;
    std::optional<StatusIcon> image;
    std::shared_ptr<Menu> menu;
};

class FakeStatusBar : public StatusBar {
  public:
    explicit FakeStatusBar(CallLog* log = nullptr) : log_(log) {}

    std::shared_ptr<StatusItem> statusItemWithLength(double length) override {
        if (log_)
            log_->record("statusItemWithLength");
        requestedLength = length;
        item = std::make_shared<FakeStatusItem>();
        item->withButton = itemsHaveButtons;
        return item;
    }

    // The item of the menu (or of a submenu) with this title; throws when there is none, so
    // a test that names a missing item fails plainly.
    std::shared_ptr<MenuItem> menuItem(const std::string& title) const {
        if (!item || !item->menu)
            throw std::logic_error("no status menu");
        if (auto found = find(*item->menu, title))
            return found;
        throw std::logic_error("no menu item titled " + title);
    }
    void choose(const std::string& title) const { menuItem(title)->performAction(); }
    ControlState stateOf(const std::string& title) const { return menuItem(title)->state(); }

    bool itemsHaveButtons = true;
    std::shared_ptr<FakeStatusItem> item;
    std::optional<double> requestedLength;

  private:
    static std::shared_ptr<MenuItem> find(const Menu& menu, const std::string& title) {
        for (const auto& entry : menu.items()) {
            if (!entry->isSeparatorItem() && entry->title() == title)
                return entry;
            if (entry->submenu()) {
                if (auto found = find(*entry->submenu(), title))
                    return found;
            }
        }
        return nullptr;
    }
    CallLog* log_;
};

} // namespace corvane::testing
