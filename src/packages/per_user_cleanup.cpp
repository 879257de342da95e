#include "packages/per_user_cleanup.h"

#include "packages/cleanup_decisions.h"
#include "packages/guarded_region.h"
#include "packages/package_searches.h"
#include "registry/updater_unregistration.h"

namespace halvern {

bool CleanUpPerUser(CleanupServices& services, const InstallationRecord& record) {
    constexpr bool kMachineWide = false;
    const OutcomeSubject installation{Uninstall, kMachineWide, record.name, record.package_family_name,
                                      record.version};

    bool stale = false;
    const bool completed = RunGuarded(services.reporter, installation, [&] {
        stale = RegistrationStale(FindPackagesForCurrentUser(services.packages, record.package_family_name));
        if (stale) {
            UnregisterFromUpdater(services.registry, services.messages, kMachineWide, record.app_id);
        }
    });
    if (!completed || !stale) {
        return false;
    }
    ReportSuccess(services.reporter, installation);
    return true;
}

}  // namespace halvern
