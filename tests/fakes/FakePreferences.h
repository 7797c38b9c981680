#pragma once
// An in-memory preferences store with verbs for tests, counting reads so tests can tell that
// nothing is cached.

#include <map>
#include <string>

#include "platform/Preferences.h"

namespace corvane::testing {

class FakePreferences : public PreferencesStore {
public:
    PropertyValue objectForKey(const std::string& key) const override {
        ++readCount;
        auto found = values.find(key);
        return found == values.end() ? PropertyValue{} : found->second;
    }
    void setObject(const std::string& key, const PropertyValue& value) override {
        ++writeCount;
        if (isAbsent(value))
            values.erase(key);
        else
            values[key] = value;
    }

    void set(const std::string& key, PropertyValue value) { values[key] = std::move(value); }
    void remove(const std::string& key) { values.erase(key); }

    std::map<std::string, PropertyValue> values;
    mutable int readCount = 0;
    int writeCount = 0;
};

} // namespace corvane::testing
