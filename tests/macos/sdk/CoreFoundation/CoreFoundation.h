// Core Foundation, as far as Corvane's macOS backend calls it. See sdk/README.
#pragma once

#include <stdint.h>

// corefoundation/cftyperef, cfindex, cftypeid
typedef const void* CFTypeRef;
typedef long CFIndex;
typedef unsigned long CFTypeID;
typedef unsigned char Boolean;
typedef uint8_t UInt8;
typedef uint32_t UInt32;

#define CF_ENUM(type, name) enum name : type name; enum name : type

extern "C" {

// corefoundation/cfallocator
typedef const struct __CFAllocator* CFAllocatorRef;
// corefoundation/kcfallocatordefault
extern const CFAllocatorRef kCFAllocatorDefault;

// corefoundation/cfrange, corefoundation/cfrangemake
typedef struct {
    CFIndex location, length;
} CFRange;
inline CFRange CFRangeMake(CFIndex location, CFIndex length) {
    CFRange range = {location, length};
    return range;
}

// corefoundation/1521153-cfrelease, corefoundation/1521269-cfretain,
// corefoundation/1521218-cfgettypeid, corefoundation/1521252-cfcopydescription
void CFRelease(CFTypeRef cf);
CFTypeRef CFRetain(CFTypeRef cf);
CFTypeID CFGetTypeID(CFTypeRef cf);
typedef const struct __CFString* CFStringRef;
CFStringRef CFCopyDescription(CFTypeRef cf);

// corefoundation/cfstring
typedef UInt32 CFStringEncoding;
// corefoundation/cfstringbuiltinencodings/utf8
enum { kCFStringEncodingUTF8 = 0x08000100 };
// corefoundation/1542853-cfstringgettypeid, 1542853-cfstringgetlength,
// 1542143-cfstringgetmaximumsizeforencoding, 1542721-cfstringgetcstring,
// 1542133-cfstringgetcstringptr, 1543419-cfstringcreatewithbytes
CFTypeID CFStringGetTypeID(void);
CFIndex CFStringGetLength(CFStringRef theString);
CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);
Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding);
const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding);
CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation);
// corefoundation/cfstr (a macro making a constant CFString)
CFStringRef __CFStringMakeConstantString(const char* cStr);
#define CFSTR(cStr) __CFStringMakeConstantString("" cStr "")

// corefoundation/cfnumber, cfnumbertype
typedef const struct __CFNumber* CFNumberRef;
typedef CF_ENUM(CFIndex, CFNumberType){
    kCFNumberSInt64Type = 4,
    kCFNumberFloat64Type = 6,
};
// corefoundation/1542730-cfnumbergettypeid, 1543114-cfnumbergetvalue,
// 1543543-cfnumberisfloattype
CFTypeID CFNumberGetTypeID(void);
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr);
Boolean CFNumberIsFloatType(CFNumberRef number);

// corefoundation/cfboolean, kcfbooleantrue, kcfbooleanfalse, 1541945-cfbooleangettypeid,
// 1541785-cfbooleangetvalue
typedef const struct __CFBoolean* CFBooleanRef;
extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;
CFTypeID CFBooleanGetTypeID(void);
Boolean CFBooleanGetValue(CFBooleanRef boolean);

// corefoundation/cfarray: 1388741-cfarraygettypeid, 1388772-cfarraygetcount,
// 1388717-cfarraygetvalues
typedef const struct __CFArray* CFArrayRef;
CFTypeID CFArrayGetTypeID(void);
CFIndex CFArrayGetCount(CFArrayRef theArray);
void CFArrayGetValues(CFArrayRef theArray, CFRange range, const void** values);

// corefoundation/cfdictionary: 1516864-cfdictionarygettypeid, 1516741-cfdictionarygetcount,
// 1520803-cfdictionarygetkeysandvalues
typedef const struct __CFDictionary* CFDictionaryRef;
CFTypeID CFDictionaryGetTypeID(void);
CFIndex CFDictionaryGetCount(CFDictionaryRef theDict);
void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values);

// corefoundation/cfmachport: 1400943-cfmachportinvalidate,
// 1400928-cfmachportcreaterunloopsource
typedef struct __CFMachPort* CFMachPortRef;
typedef struct __CFRunLoopSource* CFRunLoopSourceRef;
void CFMachPortInvalidate(CFMachPortRef port);
CFRunLoopSourceRef CFMachPortCreateRunLoopSource(CFAllocatorRef allocator, CFMachPortRef port,
                                                 CFIndex order);

// corefoundation/cfrunloop: 1542428-cfrunloopgetmain, 1543356-cfrunloopaddsource,
// 1542679-cfrunloopsourceinvalidate, kcfrunloopcommonmodes
typedef struct __CFRunLoop* CFRunLoopRef;
typedef CFStringRef CFRunLoopMode;
extern const CFRunLoopMode kCFRunLoopCommonModes;
CFRunLoopRef CFRunLoopGetMain(void);
void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFRunLoopMode mode);
void CFRunLoopSourceInvalidate(CFRunLoopSourceRef source);

} // extern "C"
