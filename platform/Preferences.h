#pragma once
// The per-user preferences store: typed values under plain keys that survive restarts.
// Readers ask afresh at every use; nothing in Corvane caches a preference. The store is owned
// by the platform and outlives every reader.

#include "platform/PropertyValue.h"

#include <string>

namespace corvane {

class PreferencesStore {
  public:
    virtual ~PreferencesStore() = default;

    // The value stored under key, with its type, or std::monostate when nothing is stored.
    virtual PropertyValue objectForKey(const std::string& key) const = 0;

    // Stores value under key (std::monostate removes the key). Written at once as far as
    // later reads of this process are concerned; the backend persists it.
    virtual void setObject(const std::string& key, const PropertyValue& value) = 0;
};

} // namespace corvane
