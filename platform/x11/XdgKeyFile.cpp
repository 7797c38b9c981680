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

std::map<std::string, KeyFileGroup, std::less<>> keyFileGroups(std::string_view text) {
    std::map<std::string, KeyFileGroup, std::less<>> groups;
    KeyFileGroup* current = nullptr;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            current = line.size() >= 2 && line.back() == ']'
                          ? &groups[std::string(line.substr(1, line.size() - 2))]
                          : nullptr;
            continue;
        }
        const auto equals = line.find('=');
        if (current && equals != std::string_view::npos)
            current->emplace(trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1)));
    }
    return groups;
}

KeyFileGroup keyFileGroup(std::string_view text, std::string_view group) {
    auto groups = keyFileGroups(text);
    const auto found = groups.find(group);
    return found == groups.end() ? KeyFileGroup() : std::move(found->second);
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
