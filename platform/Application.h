#pragma once
// The application object: the process's run loop and its delegate callbacks. The platform owns
// it for the life of the process; it does not own the delegate, which the process entry keeps.

namespace corvane {

enum class ActivationPolicy { regular = 0, accessory = 1, prohibited = 2 };

class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;
    virtual void applicationDidFinishLaunching() = 0;
    virtual void applicationWillTerminate() = 0;
};

class Application {
  public:
    virtual ~Application() = default;
    virtual void setDelegate(ApplicationDelegate* delegate) = 0;
    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    // Tells the delegate that launching finished, then runs the main run loop until terminate.
    virtual void run() = 0;
    // Tells the delegate the application will terminate, then ends the run loop.
    virtual void terminate() = 0;
};

} // namespace corvane
