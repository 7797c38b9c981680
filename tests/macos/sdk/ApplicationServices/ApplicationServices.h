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

// applicationservices/1460720-axisprocesstrustedwithoptions
Boolean AXIsProcessTrustedWithOptions(CFDictionaryRef options);

} // extern "C"

// The attribute and action names are macros in AXAttributeConstants.h and AXActionConstants.h
// (applicationservices/kaxwindowsattribute and the like): any of Corvane's own names that
// collide must be declared before this header is included.
#define kAXWindowsAttribute CFSTR("AXWindows")
#define kAXTitleAttribute CFSTR("AXTitle")
#define kAXMinimizedAttribute CFSTR("AXMinimized")
#define kAXMainAttribute CFSTR("AXMain")
#define kAXRaiseAction CFSTR("AXRaise")
