#pragma once
// Withdraws one registration from the updater: deletes "Software\HalvernUpdate\Update\Clients\" +
// app id in the selected hive (RegOpenKeyExA, RegDeleteKeyW, RegCloseKey).

#include <string>

#include "common/scope.h"
#include "platform/registry_api.h"
#include "platform/system_messages_api.h"

namespace halvern {

// Throws MSIXException FailedToUnregisterFromOmaha (2018) with the failing status as `system_error`
// and its system text as `message`. A registration key that has subkeys is not deleted.
void UnregisterFromUpdater(RegistryApi& registry, SystemMessagesApi& messages, Scope machine_wide,
                           const std::u16string& app_id);

}  // namespace halvern
