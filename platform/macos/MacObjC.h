#pragma once
// Strings between C++ and Foundation, for the backend's Objective-C++ files only.

#import <Foundation/Foundation.h>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// Text that is not valid UTF-8 is read as Mac OS Roman, which accepts every byte, so a line
// is never lost to a bad byte.
inline NSString* toNSString(std::string_view text) {
    NSString* string = [[NSString alloc] initWithBytes:text.data()
                                                length:text.size()
                                              encoding:NSUTF8StringEncoding];
    if (string != nil)
        return string;
    return [[NSString alloc] initWithBytes:text.data()
                                    length:text.size()
                                  encoding:NSMacOSRomanStringEncoding];
}

inline std::optional<std::string> toStdString(NSString* string) {
    if (string == nil)
        return std::nullopt;
    const char* bytes = [string UTF8String];
    if (bytes == nullptr)
        return std::nullopt;
    return std::string(bytes);
}

} // namespace corvane
