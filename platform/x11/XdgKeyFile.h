#pragma once
// Reading the freedesktop key files Corvane looks at (desktop entries, icon themes' index.theme):
// one group's keys and their raw values. Localised keys ("Name[fr]") are keys like any other;
// values are not unescaped (Corvane reads only Hidden, Icon, StartupWMClass and the icon theme
// keys, which hold no escapes). Comments, blank lines and lines without '=' are skipped; of a
// key given twice the first counts.

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

using KeyFileGroup = std::map<std::string, std::string, std::less<>>;

KeyFileGroup keyFileGroup(std::string_view text, std::string_view group);
// Every group by name, read in one pass (an icon theme's index has hundreds).
std::map<std::string, KeyFileGroup, std::less<>> keyFileGroups(std::string_view text);

// A list value split at the separator, empty parts dropped ("a,b," is a and b).
std::vector<std::string> splitKeyFileList(std::string_view value, char separator);

} // namespace corvane
