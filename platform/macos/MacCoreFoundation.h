#pragma once
// CFValueReader over Core Foundation itself, and the retain/release pair the Accessibility
// element table uses. macOS only.

#include "platform/macos/MacValueConversion.h"

namespace corvane {

class CoreFoundationReader : public CFValueReader {
  public:
    CFKind kindOf(CFValue value) const override;
    bool numberIsFloatType(CFValue number) const override;
    std::optional<std::int64_t> int64Value(CFValue number) const override;
    double doubleValue(CFValue number) const override;
    bool boolValue(CFValue boolean) const override;
    std::optional<std::string> utf8String(CFValue string) const override;
    std::vector<CFValue> arrayElements(CFValue array) const override;
    std::vector<std::pair<CFValue, CFValue>> dictionaryEntries(CFValue dictionary) const override;
    std::string describe(CFValue value) const override;
};

CFValue retainCFValue(CFValue value);
void releaseCFValue(CFValue value);

} // namespace corvane
