// The login item on SMAppService (see MacLoginItem.h).

#include "platform/macos/MacLoginItem.h"

#include "platform/macos/MacObjC.h"
#include "platform/macos/MacPlatformMapping.h"

#import <ServiceManagement/ServiceManagement.h>

namespace corvane {

namespace {

std::optional<std::string> failure(BOOL succeeded, NSError* error) {
    if (succeeded)
        return std::nullopt;
    return loginItemFailureText(error != nil ? toStdString([error description]) : std::nullopt);
}

} // namespace

LoginItemStatus MacLoginItem::status() {
    return loginItemStatusFromSystem(static_cast<long>([[SMAppService mainAppService] status]));
}

std::optional<std::string> MacLoginItem::registerItem() {
    @autoreleasepool {
        NSError* error = nil;
        const BOOL succeeded = [[SMAppService mainAppService] registerAndReturnError:&error];
        return failure(succeeded, error);
    }
}

std::optional<std::string> MacLoginItem::unregisterItem() {
    @autoreleasepool {
        NSError* error = nil;
        const BOOL succeeded = [[SMAppService mainAppService] unregisterAndReturnError:&error];
        return failure(succeeded, error);
    }
}

} // namespace corvane
