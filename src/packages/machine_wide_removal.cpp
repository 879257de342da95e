#include "packages/machine_wide_removal.h"

#include "packages/cleanup_decisions.h"
#include "packages/guarded_region.h"
#include "packages/package_deployments.h"
#include "packages/package_searches.h"
#include "registry/updater_unregistration.h"

namespace halvern {
namespace {

constexpr bool kMachineWide = true;

// Every user entry's state, in the order the package manager lists them.
std::vector<PackageInstallState> InstallStates(PackageManagerApi& packages, const PackageInfo& package) {
    std::vector<PackageInstallState> install_states;
    for (const auto& user : FindPackageUsers(packages, package.full_name)) {
        install_states.push_back(user->InstallState());
    }
    return install_states;
}

// Removes what may be removed, each removal awaited and reported; returns how many were removed.
std::size_t RemoveEligiblePackages(CleanupServices& services, const std::vector<PackageInfo>& packages) {
    std::size_t removed = 0;
    for (const PackageInfo& package : packages) {
        const auto install_states = [&] { return InstallStates(services.packages, package); };
        if (DecideRemoval(package, install_states) != RemovalDecision::Remove) {
            continue;
        }
        const OutcomeSubject removal{RemovePackage, kMachineWide, package.display_name, package.family_name,
                                     package.version};
        if (!RunGuarded(services.reporter, removal,
                        [&] { RemovePackageForAllUsers(services.packages, package.full_name); })) {
            continue;
        }
        ReportSuccess(services.reporter, removal);
        ++removed;
    }
    return removed;
}

}  // namespace

bool CleanUpMachineWide(CleanupServices& services, const InstallationRecord& record) {
    const OutcomeSubject installation{Uninstall, kMachineWide, record.name, record.package_family_name,
                                      record.version};

    bool cleaned_up = false;
    RunGuarded(services.reporter, installation, [&] {
        const std::vector<PackageInfo> packages =
            FindPackagesForAllUsers(services.packages, record.package_family_name);
        if (!FamilyDone(packages.size(), RemoveEligiblePackages(services, packages))) {
            return;
        }
        // The registration goes only after the family is deprovisioned.
        const bool withdrawn = RunGuarded(services.reporter, installation, [&] {
            DeprovisionForAllUsers(services.packages, record.package_family_name);
            UnregisterFromUpdater(services.registry, services.messages, kMachineWide, record.app_id);
        });
        if (!withdrawn) {
            return;
        }
        ReportSuccess(services.reporter, installation);
        cleaned_up = true;
    });
    return cleaned_up;
}

}  // namespace halvern
