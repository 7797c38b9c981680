// ApplicationServices: Core Graphics and the Accessibility API (HIServices), as far as Corvane
// calls them. See sdk/README.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <CoreGraphics/CoreGraphics.h>
#include <sys/types.h>

extern "C" {

// applicationservices/axerror
typedef CF_ENUM(int32_t, AXError){
    kAXErrorSuccess = 0,
    kAXErrorFailure = -25200,
    kAXErrorIllegalArgument = -25201,
    kAXErrorInvalidUIElement = -25202,
    kAXErrorInvalidUIElementObserver = -25203,
    kAXErrorCannotComplete = -25204,
    kAXErrorAttributeUnsupported = -25205,
    kAXErrorActionUnsupported = -25206,
    kAXErrorNotificationUnsupported = -25207,
    kAXErrorNotImplemented = -25208,
    kAXErrorNotificationAlreadyRegistered = -25209,
    kAXErrorNotificationNotRegistered = -25210,
    kAXErrorAPIDisabled = -25211,
    kAXErrorNoValue = -25212,
    kAXErrorParameterizedAttributeUnsupported = -25213,
    kAXErrorNotEnoughPrecision = -25214,
};

// applicationservices/axuielementref, 1459335-axuielementgettypeid
typedef const struct __AXUIElement* AXUIElementRef;
CFTypeID AXUIElementGetTypeID(void);

// applicationservices/1459374-axuielementcreateapplication,
// 1462085-axuielementcopyattributevalue, 1460434-axuielementsetattributevalue,
// 1462091-axuielementperformaction
AXUIElementRef AXUIElementCreateApplication(pid_t pid);
AXError AXUIElementCopyAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                      CFTypeRef* value);
AXError AXUIElementSetAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                     CFTypeRef value);
AXError AXUIElementPerformAction(AXUIElementRef element, CFStringRef action);

// applicationservices/1460720-axisprocesstrustedwithoptions, 1460720-axisprocesstrusted
Boolean AXIsProcessTrustedWithOptions(CFDictionaryRef options);
Boolean AXIsProcessTrusted(void);

} // extern "C"

// The attribute and action names are macros in AXAttributeConstants.h and AXActionConstants.h
// (applicationservices/kaxwindowsattribute and the like): any of Corvane's own names that
// collide must be declared before this header is included.
#define kAXWindowsAttribute CFSTR("AXWindows")
#define kAXTitleAttribute CFSTR("AXTitle")
#define kAXMinimizedAttribute CFSTR("AXMinimized")
#define kAXMainAttribute CFSTR("AXMain")
#define kAXRaiseAction CFSTR("AXRaise")
