#pragma once
// The system log. Each call writes one line, as given (callers include the "Corvane: "
// prefix), with the backend adding its own timestamp.

#include <string_view>

namespace corvane {

class SystemLog {
  public:
    virtual ~SystemLog() = default;
    virtual void log(std::string_view line) = 0;
};

} // namespace corvane
