// The Accessibility API (see MacAccessibility.h).

#include "platform/macos/MacAccessibility.h"

#include "platform/macos/MacCoreFoundation.h"
#include "platform/macos/MacPlatformMapping.h"

// After Corvane's headers: the SDK defines kAXWindowsAttribute, kAXRaiseAction and the like (and
// kCGNullWindowID) as macros, which would rewrite the core's constants of the same names.
#include <ApplicationServices/ApplicationServices.h>
#include <CoreFoundation/CoreFoundation.h>

namespace corvane {

namespace {

// A Core Foundation object owned for the length of one call; null when it could not be had.
template <typename Ref> class Owned {
  public:
    explicit Owned(Ref ref) : ref_(ref) {}
    ~Owned() {
        if (ref_ != nullptr)
            CFRelease(ref_);
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Ref get() const { return ref_; }

  private:
    Ref ref_;
};

Owned<CFStringRef> cfString(const std::string& text) {
    return Owned<CFStringRef>(
        CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
                                static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false));
}

// The element a handle names: a fresh application element, or a window element from the table.
Owned<AXUIElementRef> elementFor(const AXUIElement& handle, const MacAXElementTable& windows) {
    if (handle.window == 0)
        return Owned<AXUIElementRef>(handle.pid > 0 ? AXUIElementCreateApplication(handle.pid)
                                                    : nullptr);
    const CFValue found = windows.find(handle);
    return Owned<AXUIElementRef>(found != nullptr ? static_cast<AXUIElementRef>(CFRetain(found))
                                                  : nullptr);
}

} // namespace

MacAccessibility::MacAccessibility() : windows_(retainCFValue, releaseCFValue) {}

AXCopyResult MacAccessibility::copyAttributeValue(const AXUIElement& handle,
                                                  const std::string& attribute) {
    const Owned<AXUIElementRef> element = elementFor(handle, windows_);
    const Owned<CFStringRef> name = cfString(attribute);
    if (element.get() == nullptr || name.get() == nullptr)
        return {kAXErrorFailure, std::nullopt};
    CFTypeRef value = nullptr;
    const AXError error =
        axErrorFromSystem(AXUIElementCopyAttributeValue(element.get(), name.get(), &value));
    if (value == nullptr)
        return {error, std::nullopt};
    AXCopyResult result{error, axValueFromCF(CoreFoundationReader{}, value, handle.pid, windows_)};
    CFRelease(value);
    return result;
}

AXError MacAccessibility::setAttributeValue(const AXUIElement& handle, const std::string& attribute,
                                            const AXValue& value) {
    const bool* flag = std::get_if<bool>(&value);
    if (flag == nullptr)
        return kAXErrorIllegalArgument;
    const Owned<AXUIElementRef> element = elementFor(handle, windows_);
    const Owned<CFStringRef> name = cfString(attribute);
    if (element.get() == nullptr || name.get() == nullptr)
        return kAXErrorFailure;
    return axErrorFromSystem(AXUIElementSetAttributeValue(
        element.get(), name.get(), *flag ? kCFBooleanTrue : kCFBooleanFalse));
}

AXError MacAccessibility::performAction(const AXUIElement& handle, const std::string& action) {
    const Owned<AXUIElementRef> element = elementFor(handle, windows_);
    const Owned<CFStringRef> name = cfString(action);
    if (element.get() == nullptr || name.get() == nullptr)
        return kAXErrorFailure;
    return axErrorFromSystem(AXUIElementPerformAction(element.get(), name.get()));
}

bool MacAccessibilityTrust::isProcessTrusted() {
    return AXIsProcessTrustedWithOptions(nullptr);
}

} // namespace corvane
