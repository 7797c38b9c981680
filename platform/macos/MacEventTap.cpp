// The Core Graphics event tap (see MacEventTap.h).

#include "platform/macos/MacEventTap.h"

#include "platform/macos/MacPlatformMapping.h"

#include <ApplicationServices/ApplicationServices.h>
#include <CoreFoundation/CoreFoundation.h>

namespace corvane {

namespace {

class MacRunLoopSource : public RunLoopSource {
  public:
    explicit MacRunLoopSource(CFRunLoopSourceRef source) : source_(source) {}
    ~MacRunLoopSource() override {
        CFRunLoopSourceInvalidate(source_);
        CFRelease(source_);
    }
    void addToMainRunLoop() override {
        CFRunLoopAddSource(CFRunLoopGetMain(), source_, kCFRunLoopCommonModes);
    }

  private:
    CFRunLoopSourceRef source_;
};

class MacEventTap : public EventTap {
  public:
    MacEventTap(EventTapCallback callback, void* userInfo)
        : callback_(callback), userInfo_(userInfo) {}

    ~MacEventTap() override {
        if (port_ == nullptr)
            return;
        CGEventTapEnable(port_, false);
        CFMachPortInvalidate(port_);
        CFRelease(port_);
    }

    bool create(std::uint64_t eventMask) {
        port_ =
            CGEventTapCreate(kCGSessionEventTap, kCGHeadInsertEventTap, kCGEventTapOptionDefault,
                             static_cast<CGEventMask>(eventMask), &MacEventTap::handle, this);
        return port_ != nullptr;
    }

    void enable(bool enabled) override {
        isEnabled_ = enabled;
        CGEventTapEnable(port_, enabled);
    }
    bool isEnabled() const override { return isEnabled_; }
    void setInterest(const TapInterest&) override {}

    std::unique_ptr<RunLoopSource> createRunLoopSource() override {
        CFRunLoopSourceRef source = CFMachPortCreateRunLoopSource(kCFAllocatorDefault, port_, 0);
        if (source == nullptr)
            return nullptr;
        return std::make_unique<MacRunLoopSource>(source);
    }

  private:
    static CGEventRef handle(CGEventTapProxy, CGEventType type, CGEventRef event, void* refcon) {
        auto* tap = static_cast<MacEventTap*>(refcon);
        TapEvent tapEvent;
        // The disabled notices carry no usable event.
        if (type != kCGEventTapDisabledByTimeout && type != kCGEventTapDisabledByUserInput &&
            event != nullptr) {
            tapEvent.keyCode = CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode);
            tapEvent.flags = CGEventGetFlags(event);
        }
        const TapDispatch dispatch =
            dispatchTapEvent(static_cast<std::uint32_t>(type), tapEvent, tap->callback_,
                             tap->userInfo_, tap->isEnabled_);
        if (dispatch.reenableTap)
            CGEventTapEnable(tap->port_, true);
        return dispatch.swallow ? nullptr : event;
    }

    EventTapCallback callback_;
    void* userInfo_;
    CFMachPortRef port_ = nullptr;
    bool isEnabled_ = false;
};

} // namespace

std::unique_ptr<EventTap> MacEventTapService::createTap(std::uint64_t eventMask,
                                                        EventTapCallback callback, void* userInfo) {
    auto tap = std::make_unique<MacEventTap>(callback, userInfo);
    // Refused without the Accessibility (or Input Monitoring) permission; the core logs it.
    if (!tap->create(eventMask))
        return nullptr;
    return tap;
}

} // namespace corvane
