// The AppKit and Foundation members Corvane's Objective-C++ files use that GNUstep's headers
// lack, declared as Apple documents them. Included ahead of every file by the syntax check
// only. See sdk/README.
#pragma once

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

// foundation/nsoperatingsystemversion
typedef struct {
    NSInteger majorVersion, minorVersion, patchVersion;
} NSOperatingSystemVersion;

@interface NSProcessInfo (CorvaneSDKGaps)
// foundation/nsprocessinfo/1414876-isoperatingsystematleastversion
- (BOOL)isOperatingSystemAtLeastVersion:(NSOperatingSystemVersion)version;
@end

@interface NSWindow (CorvaneSDKGaps)
// appkit/nswindow/1419134-stylemask (settable since macOS 10.6)
- (void)setStyleMask:(NSWindowStyleMask)styleMask;
@end

@interface NSApplication (CorvaneSDKGaps)
// appkit/nsapplication/1428621-setactivationpolicy
- (BOOL)setActivationPolicy:(NSApplicationActivationPolicy)activationPolicy;
@end
