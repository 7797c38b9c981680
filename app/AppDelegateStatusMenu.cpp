// AppDelegate, part 3 of 5: the status item, its menu and the preference toggles.
#include "app/AppDelegate.h"

namespace corvane {
namespace {

inline constexpr const char* kMenuHeaderTitle = "ZudedaVedudida";
inline constexpr const char* kStatusSymbolName = "rectangle.3.offgrid";

ControlState stateFor(bool on) {
    return on ? ControlState::on : ControlState::off;
}

} // namespace

void AppDelegate::setupStatusItem() {
    statusItem = platform_.statusBar.statusItemWithLength(NSSquareStatusItemLength);
    if (statusItem->hasButton()) {
        statusItem->setImage(StatusIcon{
            .symbolName = kStatusSymbolName,
            .accessibilityDescription = kMenuHeaderTitle,
            .isTemplate = true,
        });
    }

    std::weak_ptr<AppDelegate> weakSelf = weak_from_this();
    // Binds a menu item to one of the delegate's actions; the item holds the delegate weakly.
    auto target = [weakSelf](void (AppDelegate::*action)(MenuItem&)) {
        return [weakSelf, action](MenuItem& sender) {
            if (auto self = weakSelf.lock())
                (self.get()->*action)(sender);
        };
    };
    auto targetNoSender = [weakSelf](void (AppDelegate::*action)()) {
        return [weakSelf, action](MenuItem&) {
            if (auto self = weakSelf.lock())
                (self.get()->*action)();
        };
    };

    auto menu = std::make_shared<Menu>();

    auto header = std::make_shared<MenuItem>(kMenuHeaderTitle, "", "");
    header->setEnabled(false);
    menu->addItem(header);
    menu->addItem(MenuItem::separatorItem());

    auto hotkeyItem = std::make_shared<MenuItem>("Hotkey", "", "");
    menu->addItem(hotkeyItem);
    menu->addItem(MenuItem::separatorItem());

    auto hoverItem =
        std::make_shared<MenuItem>("Keep open on mouse hover", "toggleMouseHover:", "");
    hoverItem->onAction = target(&AppDelegate::toggleMouseHover);
    hoverItem->setShowsState(true);
    hoverItem->setState(stateFor(isMouseHoverKeepOpen()));
    menu->addItem(hoverItem);
    menu->addItem(MenuItem::separatorItem());

    auto loginItem = std::make_shared<MenuItem>("Launch at Login", "toggleLoginItem:", "");
    loginItem->onAction = target(&AppDelegate::toggleLoginItem);
    loginItem->setShowsState(true);
    loginItem->setState(stateFor(platform_.loginItems.status() == LoginItemStatus::enabled));
    menu->addItem(loginItem);
    menu->addItem(MenuItem::separatorItem());

    auto moreItem = std::make_shared<MenuItem>("More from Tarrow", "openMoreApps", "");
    moreItem->onAction = targetNoSender(&AppDelegate::openMoreApps);
    menu->addItem(moreItem);
    menu->addItem(MenuItem::separatorItem());

    auto aboutItem = std::make_shared<MenuItem>("About", "showAbout", "");
    aboutItem->onAction = targetNoSender(&AppDelegate::showAbout);
    menu->addItem(aboutItem);
    menu->addItem(MenuItem::separatorItem());

    // No target: the application object terminates, which lets applicationWillTerminate run.
    auto quitItem = std::make_shared<MenuItem>("Quit", "terminate:", "q");
    Application* application = &platform_.application;
    quitItem->onAction = [application](MenuItem&) { application->terminate(); };
    menu->addItem(quitItem);

    auto hotkeyMenu = std::make_shared<Menu>("Hotkey");
    for (HotkeyMode mode : HotkeyMode::allCases()) {
        auto item = std::make_shared<MenuItem>(std::string(mode.title()), "selectHotkey:", "");
        item->onAction = target(&AppDelegate::selectHotkey);
        item->setRepresentedObject(std::string(mode.rawValue()));
        item->setShowsState(true);
        item->setState(stateFor(HotkeyMode::current(platform_.preferences) == mode));
        hotkeyMenu->addItem(item);
        hotkeyMenuItems[mode] = item;
    }
    hotkeyItem->setSubmenu(hotkeyMenu);

    mouseHoverMenuItem = hoverItem;
    statusItem->setMenu(menu);
}

void AppDelegate::selectHotkey(MenuItem& sender) {
    const auto rawValue = stringValue(sender.representedObject());
    if (!rawValue)
        return;
    const auto mode = HotkeyMode::fromRawValue(*rawValue);
    if (!mode)
        return;
    platform_.preferences.setObject(kHotkeyModePreferenceKey, std::string(mode->rawValue()));
    refreshHotkeyChecks();
    // The chord's modifier is read afresh at every event; a key-grabbing tap needs telling now
    // so the new chord is grabbed before its first press.
    syncTapInterest();
}

void AppDelegate::refreshHotkeyChecks() {
    for (auto& [mode, item] : hotkeyMenuItems)
        item->setState(stateFor(HotkeyMode::current(platform_.preferences) == mode));
}

void AppDelegate::toggleMouseHover(MenuItem& sender) {
    const bool keepOpen = isMouseHoverKeepOpen();
    platform_.preferences.setObject(kMouseHoverKeepOpenPreferenceKey, !keepOpen);
    sender.setState(stateFor(isMouseHoverKeepOpen()));
}

} // namespace corvane
