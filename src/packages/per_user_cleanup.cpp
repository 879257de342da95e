#include "packages/per_user_cleanup.h"

#include "packages/guarded_region.h"
#include "registry/updater_unregistration.h"

namespace halvern {

bool CleanUpPerUser(CleanupServices& services, const InstallationRecord& record) {
    constexpr bool kMachineWide = false;
    const OutcomeSubject installation{Uninstall, kMachineWide, record.name, record.package_family_name,
                                      record.version};

    bool packages_left = false;
    const bool completed = RunGuarded(services.reporter, installation, [&] {
        // Only the count decides: any package of the family still listed for this user keeps it.
        packages_left = !services.packages.FindPackagesForCurrentUser(record.package_family_name).empty();
        if (!packages_left) {
            UnregisterFromUpdater(services.registry, services.messages, kMachineWide, record.app_id);
        }
    });
    if (!completed || packages_left) {
        return false;
    }
    ReportSuccess(services.reporter, installation);
    return true;
}

}  // namespace halvern
