// Core Graphics event taps and the window list, as far as Corvane calls them. See sdk/README.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

extern "C" {

// coregraphics/cgeventref, cgeventtapproxy, cgeventmask, cgeventflags
typedef struct __CGEvent* CGEventRef;
typedef struct __CGEventTapProxy* CGEventTapProxy;
typedef uint64_t CGEventMask;
typedef CF_ENUM(uint64_t, CGEventFlags){};

// coregraphics/cgeventtype
typedef CF_ENUM(uint32_t, CGEventType){
    kCGEventTapDisabledByTimeout = 0xFFFFFFFE,
    kCGEventTapDisabledByUserInput = 0xFFFFFFFF,
};

// coregraphics/cgeventtaplocation, cgeventtapplacement, cgeventtapoptions
typedef CF_ENUM(uint32_t, CGEventTapLocation){kCGSessionEventTap = 1};
typedef CF_ENUM(uint32_t, CGEventTapPlacement){kCGHeadInsertEventTap = 0};
typedef CF_ENUM(uint32_t, CGEventTapOptions){kCGEventTapOptionDefault = 0};

// coregraphics/cgeventtapcallback
typedef CGEventRef (*CGEventTapCallBack)(CGEventTapProxy proxy, CGEventType type,
                                         CGEventRef event, void* userInfo);

// coregraphics/1454426-cgeventtapcreate, 1454525-cgeventtapenable
CFMachPortRef CGEventTapCreate(CGEventTapLocation tap, CGEventTapPlacement place,
                               CGEventTapOptions options, CGEventMask eventsOfInterest,
                               CGEventTapCallBack callback, void* userInfo);
void CGEventTapEnable(CFMachPortRef tap, bool enable);

// coregraphics/cgeventfield/kcgkeyboardeventkeycode
typedef CF_ENUM(uint32_t, CGEventField){kCGKeyboardEventKeycode = 9};
// coregraphics/1455079-cgeventgetflags, 1455424-cgeventgetintegervaluefield
CGEventFlags CGEventGetFlags(CGEventRef event);
int64_t CGEventGetIntegerValueField(CGEventRef event, CGEventField field);

// coregraphics/cgwindowid, cgwindowlistoption (Corvane passes the core's option bits through)
typedef uint32_t CGWindowID;
typedef CF_ENUM(uint32_t, CGWindowListOption){};

// coregraphics/1455137-cgwindowlistcopywindowinfo
CFArrayRef CGWindowListCopyWindowInfo(CGWindowListOption option, CGWindowID relativeToWindow);

} // extern "C"
