// stderr + syslog logging (see SyslogSystemLog.h).

#include "platform/x11/SyslogSystemLog.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <syslog.h>

namespace corvane {

SyslogSystemLog::SyslogSystemLog() {
    openlog("corvane", LOG_PID, LOG_USER);
}

SyslogSystemLog::~SyslogSystemLog() {
    closelog();
}

void SyslogSystemLog::log(std::string_view line) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::string text(line);
    std::fprintf(stderr, "%s.%03d %s\n", stamp, static_cast<int>(millis), text.c_str());
    std::fflush(stderr);
    syslog(LOG_NOTICE, "%s", text.c_str());
}

} // namespace corvane
