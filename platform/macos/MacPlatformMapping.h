#pragma once
// The plain parts of the macOS backend: how the system's answers (Accessibility error codes,
// SMAppService statuses, activation policies, event-tap notices, bitmap pixels) become
// Corvane's. Nothing here calls Apple's APIs; the backend's system files pass the numbers in.

#include "platform/Accessibility.h"
#include "platform/Application.h"
#include "platform/EventTap.h"
#include "platform/Image.h"
#include "platform/LoginItem.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

// An AXError as the system returned it. The core numbers errors as the system does, so each
// documented code (kAXErrorSuccess, 0, to kAXErrorNotEnoughPrecision, -25214) keeps its number;
// a number outside that set (a newer system's, or garbage) is kAXErrorFailure.
AXError axErrorFromSystem(std::int32_t code);

// SMAppServiceStatus: notRegistered 0, enabled 1, requiresApproval 2, notFound 3; a status a
// newer system may add counts as not registered, so the menu shows no checkmark for it.
LoginItemStatus loginItemStatusFromSystem(long status);

// The text after "Corvane: login item toggle failed: ": the NSError's description, or a
// placeholder when the call failed without one.
std::string loginItemFailureText(const std::optional<std::string>& errorDescription);

// NSApplicationActivationPolicy: regular 0, accessory 1, prohibited 2; an unknown policy is
// taken as prohibited, so that such a process is never offered as a window owner.
ActivationPolicy activationPolicyFromSystem(long policy);

// What the tap's C callback does with one event.
struct TapDispatch {
    bool reenableTap = false; // the system disabled the tap: turn it back on
    bool swallow = false;     // return NULL instead of the event
};

// Key and flag events go to Corvane's callback, which decides. The two "tap disabled" notices
// (by timeout, by user input) are handed to the callback as well (the core resets its switch
// state on them) and, while Corvane wants the tap enabled, turn it back on; they are never
// swallowed. Without a callback everything passes.
TapDispatch dispatchTapEvent(std::uint32_t type, const TapEvent& event, EventTapCallback callback,
                             void* userInfo, bool tapWanted);

// A bitmap of premultiplied RGBA bytes (NSBitmapImageRep's default layout), rows from the top,
// as Corvane's straight-alpha 0xAARRGGBB image. An empty or inconsistent size gives an empty
// image.
Image imageFromPremultipliedRGBA(const std::uint8_t* bytes, int width, int height,
                                 std::size_t bytesPerRow);

} // namespace corvane
