#include "windows/WindowInfo.h"

#include "windows/UnicodeText.h"

namespace corvane {

std::string windowKey(pid_t pid, std::string_view title) {
    std::string key;
    key.reserve(12 + title.size());
    key += std::to_string(pid);
    key += ':';
    key += normalizedNFC(title);
    return key;
}

} // namespace corvane
