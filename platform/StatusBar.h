#pragma once
// The status item in the menu bar (a tray icon on other desktops) and its menu, as plain data.
// Corvane builds the menu once; afterwards only item states change. The backend draws the menu
// from this data and calls an item's action when the user chooses it.
//
// Ownership: menus and items are shared (the core keeps items it updates, the backend keeps the
// menu it shows). An item's action is owned by the item; it must hold its target weakly.

#include "platform/PropertyValue.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

enum class ControlState { mixed = -1, off = 0, on = 1 };

class Menu;

class MenuItem {
  public:
    static std::shared_ptr<MenuItem> separatorItem();
    MenuItem(std::string title, std::string actionName, std::string keyEquivalent);

    const std::string& title() const { return title_; }
    // The selector the item sends, e.g. "toggleMouseHover:"; empty for none.
    const std::string& actionName() const { return actionName_; }
    // "q" alone means Command-Q: no modifier mask is set, so the default Command applies.
    const std::string& keyEquivalent() const { return keyEquivalent_; }
    bool isSeparatorItem() const { return isSeparator_; }

    bool isEnabled() const { return isEnabled_; }
    void setEnabled(bool enabled);
    ControlState state() const { return state_; }
    void setState(ControlState state);
    // An item that stands for a setting shows its state as a checkmark; the others (About,
    // Quit) leave no room for one. Set once, when the menu is built.
    bool showsState() const { return showsState_; }
    void setShowsState(bool showsState) { showsState_ = showsState; }

    const PropertyValue& representedObject() const { return representedObject_; }
    void setRepresentedObject(PropertyValue value) { representedObject_ = std::move(value); }

    const std::shared_ptr<Menu>& submenu() const { return submenu_; }
    void setSubmenu(std::shared_ptr<Menu> submenu) { submenu_ = std::move(submenu); }

    // Called with the item itself as the sender when the user chooses it.
    std::function<void(MenuItem& sender)> onAction;
    // Called after the state or enabling changed, so a backend can redraw.
    std::function<void()> onChanged;

    // What the backend calls when the user chooses the item.
    void performAction();

  private:
    std::string title_;
    std::string actionName_;
    std::string keyEquivalent_;
    bool isSeparator_ = false;
    bool isEnabled_ = true;
    ControlState state_ = ControlState::off;
    bool showsState_ = false;
    PropertyValue representedObject_;
    std::shared_ptr<Menu> submenu_;
};

class Menu {
  public:
    explicit Menu(std::string title = {}) : title_(std::move(title)) {}
    const std::string& title() const { return title_; }
    const std::vector<std::shared_ptr<MenuItem>>& items() const { return items_; }
    void addItem(std::shared_ptr<MenuItem> item) { items_.push_back(std::move(item)); }

  private:
    std::string title_;
    std::vector<std::shared_ptr<MenuItem>> items_;
};

// A named system symbol, drawn by the backend from an equivalent icon of its own.
struct StatusIcon {
    std::string symbolName;
    std::string accessibilityDescription;
    bool isTemplate = false; // drawn in the menu bar's own colours
};

inline constexpr double NSSquareStatusItemLength = -2;

class StatusItem {
  public:
    virtual ~StatusItem() = default;
    // False where the item has no button to carry an image (the image step is then skipped).
    virtual bool hasButton() const = 0;
    virtual void setImage(const StatusIcon& icon) = 0;
    virtual void setMenu(std::shared_ptr<Menu> menu) = 0;
};

class StatusBar {
  public:
    virtual ~StatusBar() = default;
    // The item lives as long as the returned pointer. Never null; on a desktop without a tray the
    // item exists but nobody sees it (the backend logs that once).
    virtual std::shared_ptr<StatusItem> statusItemWithLength(double length) = 0;
};

} // namespace corvane
