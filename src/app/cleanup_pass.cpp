#include "app/cleanup_pass.h"

#include <vector>

#include "common/debug_log.h"
#include "common/scope.h"
#include "common/switches.h"
#include "packages/machine_wide_removal.h"
#include "packages/per_user_cleanup.h"
#include "registry/installation_discovery.h"

namespace halvern {
namespace {

bool CleanUp(Platform& platform, Scope machine_wide, const InstallationRecord& record) {
    // The cleanup operations report their own failures. Anything that still escapes one (say, a
    // success report that ran out of memory) must not cost the other installations their turn.
    try {
        return machine_wide == Scope::Machine ? CleanUpMachineWide(platform, record)
                                              : CleanUpPerUser(platform, record);
    } catch (...) {
        return false;
    }
}

std::vector<InstallationRecord> Discover(RegistryReadApi& registry, Scope machine_wide) {
    // Discovery raises only when memory runs out; with no list there is nothing to clean up.
    try {
        return DiscoverInstallations(registry, machine_wide);
    } catch (...) {
        return {};
    }
}

}  // namespace

int RunCleanupPass(Platform& platform) {
    WriteDebugLine(platform.debug, u"Start HalvernCleanup");
    const SwitchMap switches = ParseSwitches(platform.command_line, platform.command_line.GetCommandLineW());
    const Scope machine_wide = RunScope(switches);

    for (const InstallationRecord& record : Discover(platform.registry, machine_wide)) {
        if (record.package_family_name.empty()) {
            continue;
        }
        WriteDebugLine(platform.debug, u"Name: " + record.name + u" Version: " + record.version +
                                           u" PackageFamilyName: " + record.package_family_name);
        const bool cleaned_up = CleanUp(platform, machine_wide, record);
        WriteDebugLine(platform.debug,
                       record.name + (cleaned_up ? u" was cleaned up" : u" was not cleaned up"));
    }

    WriteDebugLine(platform.debug, u"Finish HalvernCleanup");
    return 0;
}

}  // namespace halvern
