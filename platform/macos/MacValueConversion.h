#pragma once
// Core Foundation values converted into Corvane's typed values: window-list entries and
// Accessibility attribute values. The conversion reads CF values only through CFValueReader,
// so it is plain C++: on macOS the reader answers from Core Foundation calls
// (CoreFoundationReader), in tests from fake values.
//
// The rules: a CFNumber whose real type is a floating-point one (CFNumberIsFloatType) is a
// double, any other CFNumber an int64 (one that does not fit, such as a large unsigned 128-bit
// value, is an OtherValue); a CFBoolean is a bool (never a number, although both come from
// NSNumber on the Objective-C side); a CFString is a UTF-8 string; anything else is an
// OtherValue carrying its description. Dictionary entries whose key is not a string are
// dropped. Not covered: nested dictionaries or arrays inside an entry (they are OtherValues).

#include "platform/Accessibility.h"
#include "platform/WindowServer.h"
#include "platform/macos/MacAXElementTable.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvane {

// A Core Foundation object reference (CFTypeRef), opaque to the conversion.
using CFValue = const void*;

enum class CFKind { number, boolean, string, array, dictionary, axElement, other };

class CFValueReader {
  public:
    virtual ~CFValueReader() = default;
    virtual CFKind kindOf(CFValue value) const = 0;
    // Numbers.
    virtual bool numberIsFloatType(CFValue number) const = 0;
    // The number as a signed 64-bit integer; none when it does not fit exactly.
    virtual std::optional<std::int64_t> int64Value(CFValue number) const = 0;
    virtual double doubleValue(CFValue number) const = 0;
    virtual bool boolValue(CFValue boolean) const = 0;
    // The string as UTF-8; none when it cannot be converted.
    virtual std::optional<std::string> utf8String(CFValue string) const = 0;
    // The elements of an array, and the key-value pairs of a dictionary, borrowed (not retained).
    virtual std::vector<CFValue> arrayElements(CFValue array) const = 0;
    virtual std::vector<std::pair<CFValue, CFValue>>
    dictionaryEntries(CFValue dictionary) const = 0;
    // What an OtherValue keeps: CFCopyDescription's text.
    virtual std::string describe(CFValue value) const = 0;
};

WindowListValue windowListValueFromCF(const CFValueReader& reader, CFValue value);

// Every dictionary of the array, in its order; an element that is not a dictionary is dropped.
std::vector<WindowListEntry> windowListFromCF(const CFValueReader& reader, CFValue array);

// An attribute value: an array of AXUIElements becomes the elements, registered in the table
// under the given process (elements of other kinds in the array are dropped); a string, a Bool
// and anything else as above.
AXValue axValueFromCF(const CFValueReader& reader, CFValue value, pid_t pid,
                      MacAXElementTable& table);

} // namespace corvane
