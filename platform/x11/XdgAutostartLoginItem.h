#pragma once
// Launch at login on Linux desktops: an XDG autostart entry, $XDG_CONFIG_HOME/autostart/
// corvane.desktop (~/.config when XDG_CONFIG_HOME is unset or relative). The entry is written
// atomically (a temporary file in the same folder, then a rename), its Exec line quotes the
// absolute path by the Desktop Entry rules and involves no shell. It counts as enabled when it
// is present and neither Hidden=true nor X-GNOME-Autostart-enabled=false; unregistering removes
// it. Plain files only, no X connection: the object owns nothing but two paths.

#include "platform/LoginItem.h"

#include <optional>
#include <string>
#include <string_view>

namespace corvane {

class XdgAutostartLoginItem : public LoginItemService {
  public:
    XdgAutostartLoginItem(std::string executablePath, std::string configHome);

    LoginItemStatus status() override;
    std::optional<std::string> registerItem() override;
    std::optional<std::string> unregisterItem() override;

    const std::string& entryPath() const { return entryPath_; }

    // $XDG_CONFIG_HOME when absolute, else $HOME/.config; empty when neither is known.
    static std::string defaultConfigHome();
    // The running program's absolute path (from /proc/self/exe); empty when unknown.
    static std::string currentExecutablePath();

  private:
    std::string executablePath_;
    std::string directory_;
    std::string entryPath_;
};

// One argument of an Exec key, quoted and escaped so that a launcher reads back exactly
// `argument`; nothing when the argument cannot be written (a control character, not UTF-8).
std::optional<std::string> quotedExecArgument(std::string_view argument);

// The whole entry for the given (already quoted) Exec value.
std::string autostartEntryText(std::string_view quotedExec);

// Whether an entry's text leaves it enabled: Hidden=true or X-GNOME-Autostart-enabled=false in
// the [Desktop Entry] group turn it off.
bool autostartEntryIsEnabled(std::string_view text);

} // namespace corvane
