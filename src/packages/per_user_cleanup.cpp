#include "packages/per_user_cleanup.h"

#include "packages/cleanup_decisions.h"
#include "packages/guarded_region.h"
#include "packages/package_searches.h"
#include "registry/updater_unregistration.h"

namespace halvern {

bool CleanUpPerUser(Platform& platform, const InstallationRecord& record) {
    const OutcomeSubject installation{EventKind::Uninstall, Scope::User, record.name,
                                      record.package_family_name, record.version};
    const bool unregistered = RunGuarded(platform, installation, [&] {
        if (!RegistrationStale(FindPackagesForCurrentUser(platform.packages, record.package_family_name))) {
            return false;
        }
        UnregisterFromUpdater(platform.registry, platform.messages, Scope::User, record.app_id);
        return true;
    });
    if (!unregistered) {
        return false;
    }
    ReportSuccess(platform, installation);
    return true;
}

}  // namespace halvern
