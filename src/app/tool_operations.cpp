#include "app/tool_operations.h"

namespace halvern {

// Discovery and the cleanup drivers are not wired yet: the tool finds nothing to clean up.
std::vector<InstallationRecord> ToolOperations::DiscoverInstallations(bool /*machine_wide*/) {
    return {};
}

bool ToolOperations::CleanUpPerUser(const InstallationRecord& /*record*/) {
    return false;
}

bool ToolOperations::CleanUpMachineWide(const InstallationRecord& /*record*/) {
    return false;
}

}  // namespace halvern
