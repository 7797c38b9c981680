// Running applications and activation on AppKit (see MacWorkspace.h).

#include "platform/macos/MacWorkspace.h"

#include "platform/macos/MacObjC.h"
#include "platform/macos/MacPlatformMapping.h"

#import <AppKit/AppKit.h>
#include <unistd.h>

namespace corvane {

namespace {

constexpr double kIconPoints = 48;

// The icon drawn into a bitmap of premultiplied RGBA bytes, then converted.
ImageRef drawIcon(NSImage* icon) {
    if (icon == nil)
        return nullptr;
    const CGFloat scale =
        [NSScreen mainScreen] != nil ? [[NSScreen mainScreen] backingScaleFactor] : 1;
    const NSInteger pixels = static_cast<NSInteger>(kIconPoints * (scale > 0 ? scale : 1));
    NSBitmapImageRep* bitmap =
        [[NSBitmapImageRep alloc] initWithBitmapDataPlanes:nullptr
                                                pixelsWide:pixels
                                                pixelsHigh:pixels
                                             bitsPerSample:8
                                           samplesPerPixel:4
                                                  hasAlpha:YES
                                                  isPlanar:NO
                                            colorSpaceName:NSDeviceRGBColorSpace
                                               bytesPerRow:pixels * 4
                                              bitsPerPixel:32];
    NSGraphicsContext* context =
        bitmap != nil ? [NSGraphicsContext graphicsContextWithBitmapImageRep:bitmap] : nil;
    if (context == nil)
        return nullptr;
    [NSGraphicsContext saveGraphicsState];
    [NSGraphicsContext setCurrentContext:context];
    [icon drawInRect:NSMakeRect(0, 0, pixels, pixels)];
    [context flushGraphics];
    [NSGraphicsContext restoreGraphicsState];
    auto image = std::make_shared<Image>(imageFromPremultipliedRGBA(
        [bitmap bitmapData], static_cast<int>(pixels), static_cast<int>(pixels),
        static_cast<std::size_t>([bitmap bytesPerRow])));
    return image->argb.empty() ? nullptr : ImageRef(std::move(image));
}

RunningApplication describe(NSRunningApplication* application, ImageRef icon) {
    RunningApplication result;
    result.processIdentifier = [application processIdentifier];
    result.localizedName = toStdString([application localizedName]);
    result.icon = std::move(icon);
    result.activationPolicy =
        activationPolicyFromSystem(static_cast<long>([application activationPolicy]));
    result.isHidden = [application isHidden];
    return result;
}

} // namespace

std::vector<RunningApplication> MacWorkspace::runningApplications() {
    std::vector<RunningApplication> applications;
    std::map<pid_t, ImageRef> icons;
    @autoreleasepool {
        for (NSRunningApplication* application in
             [[NSWorkspace sharedWorkspace] runningApplications]) {
            const pid_t pid = [application processIdentifier];
            auto known = icons_.find(pid);
            ImageRef icon = known != icons_.end() ? known->second : drawIcon([application icon]);
            icons[pid] = icon;
            applications.push_back(describe(application, std::move(icon)));
        }
    }
    icons_ = std::move(icons);
    return applications;
}

std::optional<RunningApplication> MacWorkspace::runningApplicationWithProcessIdentifier(pid_t pid) {
    @autoreleasepool {
        NSRunningApplication* application =
            [NSRunningApplication runningApplicationWithProcessIdentifier:pid];
        if (application == nil)
            return std::nullopt;
        auto known = icons_.find(pid);
        return describe(application,
                        known != icons_.end() ? known->second : drawIcon([application icon]));
    }
}

bool MacWorkspace::activateApplication(pid_t pid, std::uint32_t options) {
    @autoreleasepool {
        NSRunningApplication* application =
            [NSRunningApplication runningApplicationWithProcessIdentifier:pid];
        return application != nil &&
               [application
                   activateWithOptions:static_cast<NSApplicationActivationOptions>(options)];
    }
}

pid_t MacProcessInfo::processIdentifier() const {
    return getpid();
}

bool MacProcessInfo::isAtLeastMacOS14() const {
    const NSOperatingSystemVersion sonoma = {14, 0, 0};
    return [[NSProcessInfo processInfo] isOperatingSystemAtLeastVersion:sonoma];
}

bool MacUrlOpener::openURL(const std::string& address) {
    @autoreleasepool {
        NSURL* url = [NSURL URLWithString:toNSString(address)];
        return url != nil && [[NSWorkspace sharedWorkspace] openURL:url];
    }
}

void applyActivationPolicy(ActivationPolicy policy) {
    [[NSApplication sharedApplication]
        setActivationPolicy:static_cast<NSApplicationActivationPolicy>(static_cast<int>(policy))];
}

} // namespace corvane
