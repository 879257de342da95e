#pragma once
// Opening the keys the tool reads, from the hive of the run's scope. Every key, the one a registration is
// deleted through included, is opened for reading in the 32-bit view, where the updater keeps its keys
// on 32-bit and 64-bit Windows alike.

#include <string>

#include "common/scope.h"
#include "platform/registry_api.h"

namespace halvern {

inline constexpr std::uint32_t kReadAccess32 = kKeyRead | kKeyWow64_32Key;

inline RegistryKeyHandle HiveKey(Scope machine_wide) {
    return machine_wide == Scope::Machine ? kHkeyLocalMachine : kHkeyCurrentUser;
}

struct OpenedKey {
    LStatus status = kErrorSuccess;
    UniqueRegistryKey key;  // Empty unless the open succeeded.
};

OpenedKey OpenKeyForReading(RegistryReadApi& registry, Scope machine_wide, const std::u16string& path);
// For the paths the tool holds as 8-bit text.
OpenedKey OpenKeyForReadingA(RegistryReadApi& registry, Scope machine_wide, const char* path);

}  // namespace halvern
