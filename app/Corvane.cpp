#include "app/Corvane.h"

#include "app/AppDelegate.h"

#include <memory>

namespace corvane {
namespace {

// Held for the life of the process: the application object does not own its delegate, and the
// event tap's callback reaches the AppDelegate through a pointer it does not retain.
std::shared_ptr<AppDelegate> processDelegate;

} // namespace

int runCorvane(Platform& platform) {
    processDelegate = std::make_shared<AppDelegate>(platform);
    platform.application.setDelegate(processDelegate.get());
    platform.application.run();
    // The run loop has ended and the process is on its way out. Let the delegate go now, while
    // the services it holds things of (the tap, the timer, the status item) still exist: left
    // to static destruction it would outlive the platform objects main() owns.
    platform.application.setDelegate(nullptr);
    processDelegate.reset();
    return 0;
}

} // namespace corvane
