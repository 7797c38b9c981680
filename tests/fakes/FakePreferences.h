#pragma once
// An in-memory preferences store: what is set reads back exactly; setting an absent value
// removes the key.

#include "platform/Preferences.h"

#include <map>
#include <string>

namespace corvane::testing {

class FakePreferences : public PreferencesStore {
  public:
    PropertyValue objectForKey(const std::string& key) const override {
        auto found = values.find(key);
        return found == values.end() ? PropertyValue{} : found->second;
    }
    void setObject(const std::string& key, const PropertyValue& value) override {
        if (isAbsent(value))
            values.erase(key);
        else
            values[key] = value;
    }

    std::map<std::string, PropertyValue> values;
};

} // namespace corvane::testing
