#pragma once
// The system log on Linux: each line goes to stderr with a local timestamp, and to syslog
// (facility user, ident "corvane"), which the journal picks up where there is one.

#include "platform/SystemLog.h"

namespace corvane {

class SyslogSystemLog : public SystemLog {
  public:
    SyslogSystemLog();
    ~SyslogSystemLog() override;
    SyslogSystemLog(const SyslogSystemLog&) = delete;
    SyslogSystemLog& operator=(const SyslogSystemLog&) = delete;

    void log(std::string_view line) override;
};

} // namespace corvane
