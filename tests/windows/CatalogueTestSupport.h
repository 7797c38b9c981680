#pragma once
#include "windows/WindowInfo.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace corvane::testing {

// A record without its icon, so whole lists compare in one expectation.
struct Row {
    CGWindowID windowID;
    std::string appName;
    std::string windowTitle;
    pid_t pid;
    bool isMinimized;
    bool operator==(const Row&) const = default;
};

inline void PrintTo(const Row& row, std::ostream* out) {
    *out << "{" << row.windowID << ", \"" << row.appName << "\", \"" << row.windowTitle << "\", "
         << row.pid << ", " << (row.isMinimized ? "minimized" : "on screen") << "}";
}

inline std::vector<Row> rows(const std::vector<WindowInfo>& records) {
    std::vector<Row> result;
    for (const WindowInfo& info : records)
        result.push_back(
            Row{info.windowID, info.appName, info.windowTitle, info.pid, info.isMinimized});
    return result;
}

inline std::vector<std::string> titles(const std::vector<WindowInfo>& records) {
    std::vector<std::string> result;
    for (const WindowInfo& info : records)
        result.push_back(info.windowTitle);
    return result;
}

} // namespace corvane::testing
