#include "platform/StatusBar.h"

namespace corvane {

std::shared_ptr<MenuItem> MenuItem::separatorItem() {
    auto item = std::make_shared<MenuItem>(std::string{}, std::string{}, std::string{});
    item->isSeparator_ = true;
    item->isEnabled_ = false;
    return item;
}

MenuItem::MenuItem(std::string title, std::string actionName, std::string keyEquivalent)
    : title_(std::move(title)), actionName_(std::move(actionName)),
      keyEquivalent_(std::move(keyEquivalent)) {}

void MenuItem::setEnabled(bool enabled) {
    isEnabled_ = enabled;
    if (onChanged)
        onChanged();
}

void MenuItem::setState(ControlState state) {
    state_ = state;
    if (onChanged)
        onChanged();
}

void MenuItem::performAction() {
    if (isEnabled_ && onAction)
        onAction(*this);
}

} // namespace corvane
