#include "app/tool_operations.h"

#include "registry/installation_discovery.h"

namespace halvern {

std::vector<InstallationRecord> ToolOperations::DiscoverInstallations(bool machine_wide) {
    return halvern::DiscoverInstallations(platform_.registry, machine_wide);
}

// The cleanup drivers are not wired yet: nothing is cleaned up.
bool ToolOperations::CleanUpPerUser(const InstallationRecord& /*record*/) {
    return false;
}

bool ToolOperations::CleanUpMachineWide(const InstallationRecord& /*record*/) {
    return false;
}

}  // namespace halvern
