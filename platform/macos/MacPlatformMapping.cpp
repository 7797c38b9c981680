// The plain parts of the macOS backend (see MacPlatformMapping.h).

#include "platform/macos/MacPlatformMapping.h"

namespace corvane {

AXError axErrorFromSystem(std::int32_t code) {
    constexpr std::int32_t kAXErrorNotEnoughPrecision = -25214;
    if (code == kAXErrorSuccess || (code <= kAXErrorFailure && code >= kAXErrorNotEnoughPrecision))
        return code;
    return kAXErrorFailure;
}

LoginItemStatus loginItemStatusFromSystem(long status) {
    switch (status) {
    case 1:
        return LoginItemStatus::enabled;
    case 2:
        return LoginItemStatus::requiresApproval;
    case 3:
        return LoginItemStatus::notFound;
    default:
        return LoginItemStatus::notRegistered;
    }
}

std::string loginItemFailureText(const std::optional<std::string>& errorDescription) {
    if (!errorDescription || errorDescription->empty())
        return "the system gave no reason";
    return *errorDescription;
}

ActivationPolicy activationPolicyFromSystem(long policy) {
    switch (policy) {
    case 0:
        return ActivationPolicy::regular;
    case 1:
        return ActivationPolicy::accessory;
    default:
        return ActivationPolicy::prohibited;
    }
}

TapDispatch dispatchTapEvent(std::uint32_t type, const TapEvent& event, EventTapCallback callback,
                             void* userInfo, bool tapWanted) {
    const bool isDisabledNotice =
        type == kCGEventTapDisabledByTimeout || type == kCGEventTapDisabledByUserInput;
    TapDispatch dispatch;
    dispatch.reenableTap = isDisabledNotice && tapWanted;
    if (callback == nullptr)
        return dispatch;
    const TapResult result = callback(type, event, userInfo);
    dispatch.swallow = !isDisabledNotice && result == TapResult::swallow;
    return dispatch;
}

Image imageFromPremultipliedRGBA(const std::uint8_t* bytes, int width, int height,
                                 std::size_t bytesPerRow) {
    Image image;
    if (bytes == nullptr || width <= 0 || height <= 0 ||
        bytesPerRow < static_cast<std::size_t>(width) * 4)
        return image;
    image.width = width;
    image.height = height;
    image.argb.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = bytes + static_cast<std::size_t>(y) * bytesPerRow;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* pixel = row + static_cast<std::size_t>(x) * 4;
            const std::uint32_t alpha = pixel[3];
            std::uint32_t rgb[3] = {0, 0, 0};
            for (int channel = 0; channel < 3 && alpha != 0; ++channel) {
                // Undo the premultiplication, rounding to nearest; a channel above its alpha
                // (not valid premultiplied data) is clamped.
                const std::uint32_t value = (pixel[channel] * 255u + alpha / 2) / alpha;
                rgb[channel] = value > 255 ? 255 : value;
            }
            image.argb.push_back(alpha << 24 | rgb[0] << 16 | rgb[1] << 8 | rgb[2]);
        }
    }
    return image;
}

} // namespace corvane
