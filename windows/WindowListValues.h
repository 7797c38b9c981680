#pragma once
// Typed reads of one window-list entry. A value converts only when it is present and exactly
// representable in the type asked for: an integer beyond the range, a fraction, a string where a
// number is due or a number where a Bool is due all read as nothing. Keys are taken as strings
// so that looking one up does not build a temporary string per entry.

#include "platform/WindowServer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace corvane {

std::optional<std::int64_t> readInt64(const WindowListEntry& entry, const std::string& key);
std::optional<pid_t> readPid(const WindowListEntry& entry, const std::string& key);
std::optional<std::uint32_t> readUInt32(const WindowListEntry& entry, const std::string& key);
std::optional<bool> readBool(const WindowListEntry& entry, const std::string& key);
// The string under the key, or null; the pointer lives as long as the entry.
const std::string* readString(const WindowListEntry& entry, const std::string& key);

} // namespace corvane
