#pragma once
// Single registry values and system error texts. A value that cannot be read is absent: nothing here
// throws for a registry failure or writes to the diagnostic log. Each read opens and closes its own
// key (RegOpenKeyExW with KEY_READ | KEY_WOW64_32KEY, RegGetValueW, RegCloseKey).

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry_api.h"
#include "platform/system_messages_api.h"

namespace halvern {

// A REG_SZ value up to its first NUL; an empty value is present and empty.
std::optional<std::u16string> ReadRegistryString(RegistryReadApi& registry, bool machine_wide,
                                                 const std::u16string& key_path,
                                                 const std::u16string& value_name);

// A REG_DWORD value (or a four-byte REG_BINARY, as RRF_RT_DWORD allows).
std::optional<std::uint32_t> ReadRegistryDword(RegistryReadApi& registry, bool machine_wide,
                                               const std::u16string& key_path,
                                               const std::u16string& value_name);

// The updater's user id: "uid" under "Software\HalvernUpdate\Update\" in the selected hive.
std::optional<std::u16string> ReadUpdaterUserId(RegistryReadApi& registry, bool machine_wide);

// FormatMessageW's US-English text for the number, kept whole (with its line break); empty when the
// system has none.
std::u16string SystemErrorText(SystemMessagesApi& messages, std::uint32_t error);

}  // namespace halvern
