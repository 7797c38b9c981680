// AppDelegate, part 4 of 5: the login item, About and the maker's page.
#include "app/AppDelegate.h"

namespace corvane {

#ifndef CORVANE_MAKER_HOST
#define CORVANE_MAKER_HOST "tarrow.app"
#endif

std::optional<std::string> buildVersion() {
#ifdef CORVANE_VERSION
    if (std::string version = CORVANE_VERSION; !version.empty())
        return version;
#endif
    return std::nullopt;
}

std::string aboutInformativeText(const std::optional<std::string>& version) {
    return "Version " + version.value_or("?") +
           "\n\nKeyboard-driven window switcher.\nPress Option+Tab to switch windows.\n\n"
           "Made by Tarrow.";
}

std::string moreAppsURL() {
    return std::string("https://") + CORVANE_MAKER_HOST + "/our-apps/?ref=corvane";
}

void AppDelegate::toggleLoginItem(MenuItem& sender) {
    // The checkmark decides, not the service's present status: the user asks to undo what
    // the menu shows.
    const bool wasOn = sender.state() == ControlState::on;
    const auto failure =
        wasOn ? platform_.loginItems.unregisterItem() : platform_.loginItems.registerItem();
    if (failure) {
        platform_.systemLog.log(kLoginItemToggleFailedPrefix + *failure);
        return;
    }
    sender.setState(wasOn ? ControlState::off : ControlState::on);
}

void AppDelegate::showAbout() {
    platform_.alerts.runModal(Alert{
        .messageText = "Corvane",
        .informativeText = aboutInformativeText(buildVersion()),
        .style = AlertStyle::informational,
        .buttons = {"OK"},
    });
}

void AppDelegate::openMoreApps() {
    platform_.urlOpener.openURL(moreAppsURL());
}

} // namespace corvane
