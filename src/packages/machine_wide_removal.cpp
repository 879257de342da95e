#include "packages/machine_wide_removal.h"

#include "packages/guarded_region.h"
#include "registry/updater_unregistration.h"

namespace halvern {
namespace {

constexpr bool kMachineWide = true;

// A package any user holds Installed, Paused or in any state other than Staged must stay. Every
// entry is read, so a failure to read any of them is seen.
bool NoUserHoldsBeyondStaged(PackageManagerBridge& packages, const PackageInfo& package) {
    bool eligible = true;
    for (const auto& user : packages.FindPackageUsers(package.full_name)) {
        if (user->InstallState() != Staged) {
            eligible = false;
        }
    }
    return eligible;
}

// Removes what may be removed, each removal awaited and reported; true when nothing is left.
bool RemoveEligiblePackages(CleanupServices& services, const std::vector<PackageInfo>& packages) {
    bool all_done = true;
    for (const PackageInfo& package : packages) {
        if (package.has_external_location || !NoUserHoldsBeyondStaged(services.packages, package)) {
            all_done = false;
            continue;
        }
        const OutcomeSubject removal{RemovePackage, kMachineWide, package.display_name, package.family_name,
                                     package.version};
        if (!RunGuarded(services.reporter, removal,
                        [&] { services.packages.RemovePackageForAllUsers(package.full_name); })) {
            all_done = false;
            continue;
        }
        ReportSuccess(services.reporter, removal);
    }
    return all_done;
}

}  // namespace

bool CleanUpMachineWide(CleanupServices& services, const InstallationRecord& record) {
    const OutcomeSubject installation{Uninstall, kMachineWide, record.name, record.package_family_name,
                                      record.version};

    bool cleaned_up = false;
    RunGuarded(services.reporter, installation, [&] {
        const std::vector<PackageInfo> packages =
            services.packages.FindPackagesForAllUsers(record.package_family_name);
        if (!RemoveEligiblePackages(services, packages)) {
            return;
        }
        // The registration goes only after the family is deprovisioned.
        const bool withdrawn = RunGuarded(services.reporter, installation, [&] {
            services.packages.DeprovisionForAllUsers(record.package_family_name);
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
