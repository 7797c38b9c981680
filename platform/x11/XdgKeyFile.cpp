// Freedesktop key files (see XdgKeyFile.h).

#include "platform/x11/XdgKeyFile.h"

namespace corvane {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::map<std::string, std::string, std::less<>> keyFileGroup(std::string_view text,
                                                             std::string_view group) {
    std::map<std::string, std::string, std::less<>> keys;
    bool inGroup = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inGroup = line.size() == group.size() + 2 && line.back() == ']' &&
                      line.substr(1, group.size()) == group;
            continue;
        }
        const auto equals = line.find('=');
        if (inGroup && equals != std::string_view::npos)
            keys.emplace(trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1)));
    }
    return keys;
}

std::vector<std::string> splitKeyFileList(std::string_view value, char separator) {
    std::vector<std::string> parts;
    while (!value.empty()) {
        const auto end = value.find(separator);
        if (end != 0)
            parts.emplace_back(value.substr(0, end));
        value.remove_prefix(end == std::string_view::npos ? value.size() : end + 1);
    }
    return parts;
}

} // namespace corvane
