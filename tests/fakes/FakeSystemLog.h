#pragma once
#include "platform/SystemLog.h"

#include <string>
#include <string_view>
#include <vector>

namespace corvane::testing {

class FakeSystemLog : public SystemLog {
  public:
    void log(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

} // namespace corvane::testing
