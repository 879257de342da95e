#include "packages/per_user_cleanup.h"

#include "packages/cleanup_decisions.h"
#include "packages/guarded_region.h"
#include "registry/updater_unregistration.h"

namespace halvern {

bool CleanUpPerUser(CleanupServices& services, const InstallationRecord& record) {
    constexpr bool kMachineWideRun = false;
    const OutcomeSubject installation{Uninstall, kMachineWideRun, record.name, record.package_family_name,
                                      record.version};

    bool stale = false;
    const bool completed = RunGuarded(services.reporter, installation, [&] {
        stale = RegistrationStale(services.packages.FindPackagesForCurrentUser(record.package_family_name));
        if (stale) {
            UnregisterFromUpdater(services.registry, services.messages, kMachineWideRun, record.app_id);
        }
    });
    if (!completed || !stale) {
        return false;
    }
    ReportSuccess(services.reporter, installation);
    return true;
}

}  // namespace halvern
