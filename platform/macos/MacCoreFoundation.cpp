// Core Foundation values read for the conversions (see MacCoreFoundation.h).

#include "platform/macos/MacCoreFoundation.h"

#include <ApplicationServices/ApplicationServices.h>
#include <CoreFoundation/CoreFoundation.h>

namespace corvane {

CFKind CoreFoundationReader::kindOf(CFValue value) const {
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFBooleanGetTypeID())
        return CFKind::boolean;
    if (type == CFNumberGetTypeID())
        return CFKind::number;
    if (type == CFStringGetTypeID())
        return CFKind::string;
    if (type == CFArrayGetTypeID())
        return CFKind::array;
    if (type == CFDictionaryGetTypeID())
        return CFKind::dictionary;
    if (type == AXUIElementGetTypeID())
        return CFKind::axElement;
    return CFKind::other;
}

bool CoreFoundationReader::numberIsFloatType(CFValue number) const {
    return CFNumberIsFloatType(static_cast<CFNumberRef>(number));
}

std::optional<std::int64_t> CoreFoundationReader::int64Value(CFValue number) const {
    std::int64_t value = 0;
    // False when the conversion was lossy (a value beyond the signed 64-bit range).
    if (!CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberSInt64Type, &value))
        return std::nullopt;
    return value;
}

double CoreFoundationReader::doubleValue(CFValue number) const {
    double value = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberFloat64Type, &value);
    return value;
}

bool CoreFoundationReader::boolValue(CFValue boolean) const {
    return CFBooleanGetValue(static_cast<CFBooleanRef>(boolean));
}

std::optional<std::string> CoreFoundationReader::utf8String(CFValue value) const {
    const auto string = static_cast<CFStringRef>(value);
    if (const char* direct = CFStringGetCStringPtr(string, kCFStringEncodingUTF8))
        return std::string(direct);
    const CFIndex length = CFStringGetLength(string);
    const CFIndex capacity = CFStringGetMaximumSizeForEncoding(length, kCFStringEncodingUTF8) + 1;
    if (capacity <= 0)
        return std::nullopt;
    std::string buffer(static_cast<std::size_t>(capacity), '\0');
    if (!CFStringGetCString(string, buffer.data(), capacity, kCFStringEncodingUTF8))
        return std::nullopt;
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

std::vector<CFValue> CoreFoundationReader::arrayElements(CFValue value) const {
    const auto array = static_cast<CFArrayRef>(value);
    const CFIndex count = CFArrayGetCount(array);
    std::vector<CFValue> elements(static_cast<std::size_t>(count > 0 ? count : 0));
    if (count > 0)
        CFArrayGetValues(array, CFRangeMake(0, count), elements.data());
    return elements;
}

std::vector<std::pair<CFValue, CFValue>>
CoreFoundationReader::dictionaryEntries(CFValue value) const {
    const auto dictionary = static_cast<CFDictionaryRef>(value);
    const CFIndex count = CFDictionaryGetCount(dictionary);
    if (count <= 0)
        return {};
    std::vector<CFValue> keys(static_cast<std::size_t>(count));
    std::vector<CFValue> values(static_cast<std::size_t>(count));
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    std::vector<std::pair<CFValue, CFValue>> entries;
    entries.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        entries.emplace_back(keys[i], values[i]);
    return entries;
}

std::string CoreFoundationReader::describe(CFValue value) const {
    const CFStringRef description = CFCopyDescription(value);
    if (description == nullptr)
        return "(no description)";
    std::string text = utf8String(description).value_or("(no description)");
    CFRelease(description);
    return text;
}

CFValue retainCFValue(CFValue value) {
    return CFRetain(value);
}

void releaseCFValue(CFValue value) {
    CFRelease(value);
}

} // namespace corvane
