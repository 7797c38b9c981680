// The line about a key combination held by another client (see X11GrabConflicts.h).

#include "platform/x11/X11GrabConflicts.h"

#include "platform/x11/X11KeyTranslation.h"
#include "platform/x11/X11Replies.h"
#include "platform/x11/X11Text.h"

#include <algorithm>
#include <cctype>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace corvane {

namespace {

// What the key does during a switch.
const char* actionOf(SwitchKeyRole role) {
    switch (role) {
    case SwitchKeyRole::chordAndStep:
    case SwitchKeyRole::step:
        return "step the selection";
    case SwitchKeyRole::choose:
        return "choose the selection";
    case SwitchKeyRole::cancel:
        return "cancel a switch";
    }
    return "";
}

// The key the conflict is about. A keymap change between the grab and its refusal can leave a
// keysym that is no switch key; the line then names the chord key rather than nothing.
const SwitchKey& switchKeyOf(const GrabConflict& conflict) {
    const SwitchKey* key = switchKeyForKeysym(conflict.keysym);
    return key != nullptr ? *key : kSwitchKeys[0];
}

// The four modifiers in one manager's notation, in Corvane's order: Control, Alt, Super, Shift.
struct ModifierNotation {
    const char *control, *alt, *super, *shift;
};

std::string modifiersIn(std::uint16_t modifiers, const ModifierNotation& notation) {
    std::string text;
    const std::pair<std::uint16_t, const char*> parts[] = {{kX11ControlMask, notation.control},
                                                           {kX11Mod1Mask, notation.alt},
                                                           {kX11Mod4Mask, notation.super},
                                                           {kX11ShiftMask, notation.shift}};
    for (const auto& [bit, name] : parts) {
        if (modifiers & bit)
            text += name;
    }
    return text;
}

std::string lowercase(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

// Where the binding is freed, for the managers Corvane is tested on; empty for others.
std::string whereToFree(const GrabConflict& conflict, std::string_view windowManager) {
    const std::string manager = lowercase(windowManager);
    const auto is = [&](std::string_view prefix) { return manager.rfind(prefix, 0) == 0; };
    const std::uint16_t m = conflict.modifiers;
    const std::string key = switchKeyOf(conflict).name;
    if (is("openbox")) {
        // Openbox reads the modifiers in any order, and its own rc.xml mixes orders ("A-S-Tab"
        // but "S-A-Right"): name both, so a search of the file finds the line.
        const std::string forward = modifiersIn(m, {"C-", "A-", "W-", "S-"});
        std::string reversed;
        for (std::size_t end = forward.size(); end >= 2; end -= 2)
            reversed += forward.substr(end - 2, 2);
        std::string where = "~/.config/openbox/rc.xml, <keybind key=\"" + forward + key + "\">";
        if (reversed != forward)
            where += " (or \"" + reversed + key + "\")";
        return where;
    }
    if (is("fluxbox"))
        return "~/.fluxbox/keys, the line \"" +
               modifiersIn(m, {"Control ", "Mod1 ", "Mod4 ", "Shift "}) + key + " :...\"";
    if (is("icewm"))
        return "~/.icewm/preferences (or ~/.icewm/keys), the setting that is \"" +
               modifiersIn(m, {"Ctrl+", "Alt+", "Super+", "Shift+"}) +
               (conflict.keysym == XKB_KEY_Escape ? "Esc" : key) + "\"";
    if (is("i3"))
        return "~/.config/i3/config, \"bindsym " +
               modifiersIn(m, {"Control+", "Mod1+", "Mod4+", "Shift+"}) + key +
               "\" (written with $mod where that is the modifier)";
    if (is("jwm"))
        return "~/.jwmrc, <Key mask=\"" + modifiersIn(m, {"C", "A", "4", "S"}) + "\" key=\"" + key +
               "\">";
    if (is("awesome")) {
        std::string list =
            modifiersIn(m, {"\"Control\", ", "\"Mod1\", ", "\"Mod4\", ", "\"Shift\", "});
        if (!list.empty())
            list.erase(list.size() - 2);
        return "~/.config/awesome/rc.lua, awful.key({ " + list + " }, \"" + key + "\", ...)";
    }
    if (is("metacity"))
        return "gsettings org.gnome.desktop.wm.keybindings, the entry holding '" +
               modifiersIn(m, {"<Control>", "<Alt>", "<Super>", "<Shift>"}) + key + "'";
    if (is("xfwm4"))
        return "xfconf channel xfce4-keyboard-shortcuts, the property /xfwm4/custom/" +
               modifiersIn(m, {"<Primary>", "<Alt>", "<Super>", "<Shift>"}) + key;
    return {};
}

} // namespace

std::string keyCombinationLabel(const GrabConflict& conflict) {
    return modifiersIn(conflict.modifiers, {"Ctrl+", "Alt+", "Super+", "Shift+"}) +
           switchKeyOf(conflict).name;
}

std::string grabConflictLine(const GrabConflict& conflict, std::string_view windowManager) {
    const std::string combination = keyCombinationLabel(conflict);
    std::string line = "Corvane: " + combination +
                       " is already grabbed by another program, most likely a binding of the "
                       "window manager";
    if (!windowManager.empty())
        line += ", " + std::string(windowManager);
    if (conflict.isChord) {
        line += "; Corvane cannot switch windows with it";
    } else {
        const SwitchKey& key = switchKeyOf(conflict);
        const std::string held =
            modifiersIn(conflict.modifiers, {"Ctrl+", "Alt+", "Super+", "Shift+"});
        line += "; " + std::string(key.name);
        if (!held.empty())
            line += " pressed with " + held.substr(0, held.size() - 1);
        line += " cannot " + std::string(actionOf(key.role));
    }
    const std::string where = whereToFree(conflict, windowManager);
    line += where.empty() ? "; free that binding in the window manager's settings"
                          : "; free that binding in " + where;
    return line;
}

std::string readWindowManagerName(X11Connection& connection) {
    if (connection.isLost())
        return {};
    xcb_connection_t* c = connection.xcb();
    xcb_ewmh_connection_t& e = connection.ewmh();
    xcb_window_t check = 0;
    if (auto reply =
            takeProperty(c, requestProperty(c, connection.root(), e._NET_SUPPORTING_WM_CHECK, 1)))
        xcb_ewmh_get_window_from_reply(&check, reply.get());
    if (check == 0)
        return {};
    PropertyReply name = takeProperty(c, requestProperty(c, check, e._NET_WM_NAME, 64));
    if (!name)
        return {};
    return sanitizedUtf8(bytesOf(*name), 128);
}

} // namespace corvane
