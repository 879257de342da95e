#include "registry/registry_keys.h"

namespace halvern {
namespace {

OpenedKey Adopt(RegistryReadApi& registry, LStatus status, RegistryKeyHandle opened) {
    OpenedKey result{status, UniqueRegistryKey(RegistryKeyTraits{&registry})};
    // Only a successful open hands over a key to close.
    if (status == kErrorSuccess) {
        result.key.reset(opened);
    }
    return result;
}

}  // namespace

OpenedKey OpenKeyForReading(RegistryReadApi& registry, Scope machine_wide, const std::u16string& path) {
    RegistryKeyHandle opened = kNoRegistryKey;
    const LStatus status =
        registry.RegOpenKeyExW(HiveKey(machine_wide), path.c_str(), 0, kReadAccess32, &opened);
    return Adopt(registry, status, opened);
}

OpenedKey OpenKeyForReadingA(RegistryReadApi& registry, Scope machine_wide, const char* path) {
    RegistryKeyHandle opened = kNoRegistryKey;
    const LStatus status = registry.RegOpenKeyExA(HiveKey(machine_wide), path, 0, kReadAccess32, &opened);
    return Adopt(registry, status, opened);
}

}  // namespace halvern
