#include "packages/machine_wide_removal.h"

#include "packages/cleanup_decisions.h"
#include "packages/guarded_region.h"
#include "packages/package_deployments.h"
#include "packages/package_searches.h"
#include "registry/updater_unregistration.h"

namespace halvern {
namespace {

// Every user entry's state, in the order the package manager lists them.
std::vector<PackageInstallState> InstallStates(PackageManagerApi& packages, const PackageInfo& package) {
    std::vector<PackageInstallState> install_states;
    for (const auto& user : FindPackageUsers(packages, package.full_name)) {
        install_states.push_back(user->InstallState());
    }
    return install_states;
}

// Removes what may be removed, each removal awaited and reported; returns how many were removed.
std::size_t RemoveEligiblePackages(Platform& platform, const std::vector<PackageInfo>& packages) {
    std::size_t removed = 0;
    for (const PackageInfo& package : packages) {
        const auto install_states = [&] { return InstallStates(platform.packages, package); };
        if (DecideRemoval(package, install_states) != RemovalDecision::Remove) {
            continue;
        }
        const OutcomeSubject removal{EventKind::RemovePackage, Scope::Machine, package.display_name,
                                     package.family_name, package.version};
        const bool removed_for_all = RunGuarded(platform, removal, [&] {
            RemovePackageForAllUsers(platform.packages, package.full_name);
            return true;
        });
        if (removed_for_all) {
            ReportSuccess(platform, removal);
            ++removed;
        }
    }
    return removed;
}

}  // namespace

bool CleanUpMachineWide(Platform& platform, const InstallationRecord& record) {
    const OutcomeSubject installation{EventKind::Uninstall, Scope::Machine, record.name,
                                      record.package_family_name, record.version};
    return RunGuarded(platform, installation, [&] {
        const std::vector<PackageInfo> packages =
            FindPackagesForAllUsers(platform.packages, record.package_family_name);
        if (!FamilyDone(packages.size(), RemoveEligiblePackages(platform, packages))) {
            return false;
        }
        // The registration goes only after the family is deprovisioned.
        const bool withdrawn = RunGuarded(platform, installation, [&] {
            DeprovisionForAllUsers(platform.packages, record.package_family_name);
            UnregisterFromUpdater(platform.registry, platform.messages, Scope::Machine, record.app_id);
            return true;
        });
        if (!withdrawn) {
            return false;
        }
        ReportSuccess(platform, installation);
        return true;
    });
}

}  // namespace halvern
