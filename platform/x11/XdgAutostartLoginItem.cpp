// XDG autostart entry as Corvane's login item (see XdgAutostartLoginItem.h).

#include "platform/x11/XdgAutostartLoginItem.h"

#include "platform/x11/X11Text.h"
#include "platform/x11/XdgKeyFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

std::string errorText(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

std::optional<std::string> makeDirectories(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/')
            continue;
        std::string prefix = path.substr(0, at);
        if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
            return errorText("cannot create " + prefix, errno);
    }
    return std::nullopt;
}

std::optional<std::string> writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t written = write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return errorText("cannot write the autostart entry", errno);
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return std::nullopt;
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(std::string executablePath, std::string configHome)
    : executablePath_(std::move(executablePath)), directory_(std::move(configHome) + "/autostart"),
      entryPath_(directory_ + "/corvane.desktop") {}

std::string XdgAutostartLoginItem::defaultConfigHome() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/')
        return config;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return std::string(home) + "/.config";
    return {};
}

std::string XdgAutostartLoginItem::currentExecutablePath() {
    char buffer[4096];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer)
        return {};
    return std::string(buffer, static_cast<std::size_t>(length));
}

LoginItemStatus XdgAutostartLoginItem::status() {
    int fd = open(entryPath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return LoginItemStatus::notRegistered;
    std::string text;
    char buffer[4096];
    ssize_t count;
    while ((count = read(fd, buffer, sizeof buffer)) > 0 && text.size() < (1 << 20))
        text.append(buffer, static_cast<std::size_t>(count));
    close(fd);
    return autostartEntryIsEnabled(text) ? LoginItemStatus::enabled
                                         : LoginItemStatus::notRegistered;
}

std::optional<std::string> XdgAutostartLoginItem::registerItem() {
    if (executablePath_.empty() || executablePath_.front() != '/')
        return "the program's absolute path is unknown";
    if (directory_.front() != '/')
        return "no configuration folder (set XDG_CONFIG_HOME or HOME)";
    auto quoted = quotedExecArgument(executablePath_);
    if (!quoted)
        return "the program's path cannot be written in a desktop entry";
    if (auto failure = makeDirectories(directory_))
        return failure;
    std::string temporary = entryPath_ + ".XXXXXX";
    int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return errorText("cannot create " + temporary, errno);
    auto failure = writeAll(fd, autostartEntryText(*quoted));
    if (!failure && (fchmod(fd, 0644) != 0 || fsync(fd) != 0))
        failure = errorText("cannot write the autostart entry", errno);
    close(fd);
    if (!failure && rename(temporary.c_str(), entryPath_.c_str()) != 0)
        failure = errorText("cannot move the autostart entry into place", errno);
    if (failure)
        unlink(temporary.c_str());
    return failure;
}

std::optional<std::string> XdgAutostartLoginItem::unregisterItem() {
    if (unlink(entryPath_.c_str()) != 0 && errno != ENOENT)
        return errorText("cannot remove " + entryPath_, errno);
    return std::nullopt;
}

std::optional<std::string> quotedExecArgument(std::string_view argument) {
    if (sanitizedUtf8(argument, argument.size()) != argument)
        return std::nullopt; // not UTF-8, or a control character a launcher would mangle
    // Inside double quotes, the Exec rules want ", `, $ and \ preceded by a backslash; the
    // string-value rules then double every backslash; % would start a field code.
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$')
            quoted += "\\\\";
        else if (c == '\\')
            quoted += "\\\\\\";
        else if (c == '%')
            quoted += '%';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string autostartEntryText(std::string_view quotedExec) {
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Corvane\n"
                       "Comment=Switch between windows with the keyboard\n"
                       "Exec=";
    text.append(quotedExec);
    text += "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    return text;
}

bool autostartEntryIsEnabled(std::string_view text) {
    const auto keys = keyFileGroup(text, "Desktop Entry");
    auto is = [&keys](std::string_view key, std::string_view value) {
        const auto found = keys.find(key);
        return found != keys.end() && found->second == value;
    };
    return !is("Hidden", "true") && !is("X-GNOME-Autostart-enabled", "false");
}

} // namespace corvane
