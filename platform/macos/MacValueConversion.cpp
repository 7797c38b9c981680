// Core Foundation values into Corvane's typed values (see MacValueConversion.h).

#include "platform/macos/MacValueConversion.h"

namespace corvane {

namespace {

OtherValue otherValue(const CFValueReader& reader, CFValue value) {
    return OtherValue{value == nullptr ? std::string("(null)") : reader.describe(value)};
}

} // namespace

WindowListValue windowListValueFromCF(const CFValueReader& reader, CFValue value) {
    if (value == nullptr)
        return otherValue(reader, value);
    switch (reader.kindOf(value)) {
    case CFKind::number:
        if (reader.numberIsFloatType(value))
            return reader.doubleValue(value);
        if (const auto integer = reader.int64Value(value))
            return *integer;
        return otherValue(reader, value);
    case CFKind::boolean:
        return reader.boolValue(value);
    case CFKind::string:
        if (auto text = reader.utf8String(value))
            return std::move(*text);
        return otherValue(reader, value);
    default:
        return otherValue(reader, value);
    }
}

std::vector<WindowListEntry> windowListFromCF(const CFValueReader& reader, CFValue array) {
    std::vector<WindowListEntry> entries;
    if (array == nullptr || reader.kindOf(array) != CFKind::array)
        return entries;
    for (CFValue element : reader.arrayElements(array)) {
        if (element == nullptr || reader.kindOf(element) != CFKind::dictionary)
            continue;
        WindowListEntry entry;
        for (const auto& [key, value] : reader.dictionaryEntries(element)) {
            if (key == nullptr || reader.kindOf(key) != CFKind::string)
                continue;
            if (auto name = reader.utf8String(key))
                entry.insert_or_assign(std::move(*name), windowListValueFromCF(reader, value));
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

AXValue axValueFromCF(const CFValueReader& reader, CFValue value, pid_t pid,
                      MacAXElementTable& table) {
    if (value == nullptr)
        return otherValue(reader, value);
    switch (reader.kindOf(value)) {
    case CFKind::array: {
        const std::vector<CFValue> items = reader.arrayElements(value);
        // An array of something other than elements is not a window list.
        if (!items.empty() &&
            (items.front() == nullptr || reader.kindOf(items.front()) != CFKind::axElement))
            return otherValue(reader, value);
        std::vector<AXUIElement> elements;
        table.beginRead(pid);
        for (CFValue item : items) {
            if (item != nullptr && reader.kindOf(item) == CFKind::axElement)
                elements.push_back(table.add(pid, item));
        }
        return elements;
    }
    case CFKind::string:
        if (auto text = reader.utf8String(value))
            return std::move(*text);
        return otherValue(reader, value);
    case CFKind::boolean:
        return reader.boolValue(value);
    default:
        return otherValue(reader, value);
    }
}

} // namespace corvane
