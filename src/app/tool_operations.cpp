#include "app/tool_operations.h"

#include "packages/machine_wide_removal.h"
#include "packages/per_user_cleanup.h"
#include "registry/installation_discovery.h"

namespace halvern {

std::vector<InstallationRecord> ToolOperations::DiscoverInstallations(bool machine_wide) {
    return halvern::DiscoverInstallations(platform_.registry, machine_wide);
}

bool ToolOperations::CleanUpPerUser(const InstallationRecord& record) {
    return halvern::CleanUpPerUser(services_, record);
}

bool ToolOperations::CleanUpMachineWide(const InstallationRecord& record) {
    return halvern::CleanUpMachineWide(services_, record);
}

}  // namespace halvern
