#pragma once
// The system log through NSLog: each line, as the core wrote it ("Corvane: ..."), goes to the
// unified log (Console.app) and, when Corvane runs from a terminal, to its standard error.
// macOS only.

#include "platform/SystemLog.h"

namespace corvane {

class MacSystemLog : public SystemLog {
  public:
    void log(std::string_view line) override;
};

} // namespace corvane
