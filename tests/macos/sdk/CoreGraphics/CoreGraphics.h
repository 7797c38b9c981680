// Core Graphics event taps and the window list, as far as Corvane calls them. See sdk/README.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

extern "C" {

// coregraphics/cgeventref, cgeventtapproxy, cgeventmask, cgeventflags
typedef struct __CGEvent* CGEventRef;
typedef struct __CGEventTapProxy* CGEventTapProxy;
typedef uint64_t CGEventMask;
typedef CF_ENUM(uint64_t, CGEventFlags){
    kCGEventFlagMaskAlphaShift = 0x00010000,
    kCGEventFlagMaskShift = 0x00020000,
    kCGEventFlagMaskControl = 0x00040000,
    kCGEventFlagMaskAlternate = 0x00080000,
    kCGEventFlagMaskCommand = 0x00100000,
};

// coregraphics/cgeventtype
typedef CF_ENUM(uint32_t, CGEventType){
    kCGEventNull = 0,
    kCGEventKeyDown = 10,
    kCGEventKeyUp = 11,
    kCGEventFlagsChanged = 12,
    kCGEventTapDisabledByTimeout = 0xFFFFFFFE,
    kCGEventTapDisabledByUserInput = 0xFFFFFFFF,
};

// coregraphics/cgeventtaplocation, cgeventtapplacement, cgeventtapoptions
typedef CF_ENUM(uint32_t, CGEventTapLocation){
    kCGHIDEventTap = 0,
    kCGSessionEventTap,
    kCGAnnotatedSessionEventTap,
};
typedef CF_ENUM(uint32_t, CGEventTapPlacement){
    kCGHeadInsertEventTap = 0,
    kCGTailAppendEventTap,
};
typedef CF_ENUM(uint32_t, CGEventTapOptions){
    kCGEventTapOptionDefault = 0x00000000,
    kCGEventTapOptionListenOnly = 0x00000001,
};

// coregraphics/cgeventtapcallback
typedef CGEventRef (*CGEventTapCallBack)(CGEventTapProxy proxy, CGEventType type,
                                         CGEventRef event, void* userInfo);

// coregraphics/1454426-cgeventtapcreate, 1454525-cgeventtapenable
CFMachPortRef CGEventTapCreate(CGEventTapLocation tap, CGEventTapPlacement place,
                               CGEventTapOptions options, CGEventMask eventsOfInterest,
                               CGEventTapCallBack callback, void* userInfo);
void CGEventTapEnable(CFMachPortRef tap, bool enable);

// coregraphics/cgeventfield/kcgkeyboardeventkeycode
typedef CF_ENUM(uint32_t, CGEventField){
    kCGKeyboardEventAutorepeat = 8,
    kCGKeyboardEventKeycode = 9,
};
// coregraphics/1455079-cgeventgetflags, 1455424-cgeventgetintegervaluefield
CGEventFlags CGEventGetFlags(CGEventRef event);
int64_t CGEventGetIntegerValueField(CGEventRef event, CGEventField field);

// coregraphics/cgwindowid, cgwindowlistoption, kcgnullwindowid
typedef uint32_t CGWindowID;
typedef CF_ENUM(uint32_t, CGWindowListOption){
    kCGWindowListOptionAll = 0,
    kCGWindowListOptionOnScreenOnly = (1 << 0),
    kCGWindowListOptionOnScreenAboveWindow = (1 << 1),
    kCGWindowListOptionOnScreenBelowWindow = (1 << 2),
    kCGWindowListOptionIncludingWindow = (1 << 3),
    kCGWindowListExcludeDesktopElements = (1 << 4),
};
#define kCGNullWindowID ((CGWindowID)0)

// coregraphics/1455137-cgwindowlistcopywindowinfo
CFArrayRef CGWindowListCopyWindowInfo(CGWindowListOption option, CGWindowID relativeToWindow);

// coregraphics/kcgwindownumber, kcgwindowlayer, kcgwindowownerpid, kcgwindowownername,
// kcgwindowisonscreen (the window list's keys)
extern const CFStringRef kCGWindowNumber;
extern const CFStringRef kCGWindowLayer;
extern const CFStringRef kCGWindowOwnerPID;
extern const CFStringRef kCGWindowOwnerName;
extern const CFStringRef kCGWindowIsOnscreen;

} // extern "C"
