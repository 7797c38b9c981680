// The system log on NSLog (see MacSystemLog.h).

#include "platform/macos/MacSystemLog.h"

#include "platform/macos/MacObjC.h"

namespace corvane {

void MacSystemLog::log(std::string_view line) {
    @autoreleasepool {
        // The line is an argument, never the format: a "%" in a window title stays text.
        NSLog(@"%@", toNSString(line));
    }
}

} // namespace corvane
