#pragma once
// The process entry of Corvane, shared by every platform's main(): makes the one AppDelegate,
// keeps it for the life of the process, hands it to the application object and runs it.

#include "app/Platform.h"

namespace corvane {

// Returns 0 when the application's run loop has ended.
int runCorvane(Platform& platform);

} // namespace corvane
