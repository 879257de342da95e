#pragma once
// Opening the keys the tool reads: always KEY_READ | KEY_WOW64_32KEY, from the hive of the run's mode.

#include <string>

#include "common/scope.h"
#include "platform/registry_api.h"

namespace halvern {

// KEY_READ | KEY_WOW64_32KEY: the 32-bit registry view on 32-bit and 64-bit Windows alike.
inline constexpr std::uint32_t kReadAccess32 = kKeyRead | kKeyWow64_32Key;

// HKEY_LOCAL_MACHINE for a machine-wide run, HKEY_CURRENT_USER otherwise.
inline RegistryKeyHandle HiveKey(Scope machine_wide) {
    return machine_wide == Scope::Machine ? kHkeyLocalMachine : kHkeyCurrentUser;
}

struct OpenedKey {
    LStatus status = kErrorSuccess;
    UniqueRegistryKey key;  // Empty unless the open succeeded.
};

// RegOpenKeyExW(hive, path, 0, KEY_READ | KEY_WOW64_32KEY).
OpenedKey OpenKeyForReading(RegistryReadApi& registry, Scope machine_wide, const std::u16string& path);
// The same through RegOpenKeyExA, for the paths the tool holds as 8-bit text.
OpenedKey OpenKeyForReadingA(RegistryReadApi& registry, Scope machine_wide, const char* path);

}  // namespace halvern
