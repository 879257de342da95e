#pragma once
// Single registry values. A value that cannot be read is absent: nothing here throws for a registry failure
// or writes to the diagnostic log. Each read opens and closes its own key, in the 32-bit view.

#include <cstdint>
#include <optional>
#include <string>

#include "common/scope.h"
#include "platform/registry_api.h"

namespace halvern {

// A REG_SZ value up to its first NUL; an empty value is present and empty.
std::optional<std::u16string> ReadRegistryString(RegistryReadApi& registry, Scope machine_wide,
                                                 const std::u16string& key_path,
                                                 const std::u16string& value_name);

// A REG_DWORD value (or a four-byte REG_BINARY, as RRF_RT_DWORD allows).
std::optional<std::uint32_t> ReadRegistryDword(RegistryReadApi& registry, Scope machine_wide,
                                               const std::u16string& key_path,
                                               const std::u16string& value_name);

// The updater's user id: "uid" under "Software\HalvernUpdate\Update\" in the selected hive.
std::optional<std::u16string> ReadUpdaterUserId(RegistryReadApi& registry, Scope machine_wide);

}  // namespace halvern
