#pragma once
// Withdraws one registration from the updater: deletes its key under "Software\HalvernUpdate\Update\Clients\"
// in the hive of the run's scope, and nothing else.

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
