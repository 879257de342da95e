#pragma once
// Where the updater keeps its registrations, relative to either hive.

#include <string>

namespace halvern {

// One subkey per registered application, named by its application id. It is held as 8-bit text and opened
// with RegOpenKeyExA, for discovery and deletion alike, only because the tool has always opened it so; the
// value reads, which need a wide path, widen it and append the application id directly.
inline constexpr char kClientsKeyPath[] = "Software\\HalvernUpdate\\Update\\Clients\\";

// The updater's own key, which holds its user id "uid".
inline constexpr char16_t kUpdaterKeyPath[] = u"Software\\HalvernUpdate\\Update\\";

// Character by character: the path is ASCII.
inline std::u16string WidenedClientsKeyPath() {
    const std::string narrow = kClientsKeyPath;
    return std::u16string(narrow.begin(), narrow.end());
}

}  // namespace halvern
