#pragma once
// The installations the updater has registered in one hive: one record per subkey of
// "Software\HalvernUpdate\Update\Clients\". Registry failures give fewer records or none; nothing is
// logged or thrown for them.

#include <string>
#include <vector>

#include "common/scope.h"
#include "platform/registry_api.h"
#include "registry/installation_record.h"

namespace halvern {

struct AppIdList {
    std::vector<std::u16string> app_ids;  // In enumeration order.
    bool ok = false;                      // The last registry call of the enumeration succeeded.
};

// The Clients key's subkey names. An enumeration call that fails is skipped; `ok` is the status of
// the final call (or of the count query when there was nothing to enumerate).
AppIdList ListAppIds(RegistryReadApi& registry, Scope machine_wide);

// The values "name", "pv" and "PackageFamilyName" of one registration, in that order; missing,
// unreadable or non-REG_SZ values read as empty.
InstallationRecord ReadInstallation(RegistryReadApi& registry, Scope machine_wide,
                                    const std::u16string& app_id);

// Every registration in enumeration order, unfiltered; empty unless the enumeration ended well.
std::vector<InstallationRecord> DiscoverInstallations(RegistryReadApi& registry, Scope machine_wide);

}  // namespace halvern
