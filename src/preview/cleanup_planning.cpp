#include "preview/cleanup_planning.h"

#include <algorithm>

#include "common/decimal_text.h"
#include "errors/catch_failure.h"
#include "errors/failure_messages.h"
#include "packages/cleanup_decisions.h"
#include "packages/package_searches.h"
#include "registry/installation_discovery.h"

namespace halvern {
namespace {

constexpr char16_t kNotAsked[] = u"not asked: the run stops at the failure of an earlier package";
constexpr char16_t kRunElevated[] =
    u"refused: run the preview elevated (as an administrator) to see what a machine-wide run would do; ";

std::u16string Packages(std::size_t count) {
    return DecimalText(static_cast<std::uint32_t>(count)) + (count == 1 ? u" package" : u" packages");
}

std::u16string StateText(PackageInstallState install_state) {
    const auto name = InstallStateName(install_state);
    return name ? std::u16string(*name) : SignedDecimalText(static_cast<std::int32_t>(install_state));
}

// Who keeps a package: every entry in a state other than Staged.
std::u16string Holders(const std::vector<PlannedUser>& users) {
    std::u16string holders;
    for (const PlannedUser& user : users) {
        if (HoldsBeyondStaged(user.install_state)) {
            holders += (holders.empty() ? u"" : u"; ") + user.security_id + u" holds it " +
                       StateText(user.install_state);
        }
    }
    return holders;
}

// The run never asks for a user's security id: should the platform not tell it, the plan goes on without
// it rather than fail where the run would not.
std::u16string SecurityIdOf(const PackageUserInformation& user) {
    try {
        return user.UserSecurityId();
    } catch (const projection::hresult_error&) {
        return {};
    }
}

// The number a failure carries, for the hint to run elevated.
std::int32_t ErrorNumber(const MSIXException& error) {
    return error.system_error;
}
std::int32_t ErrorNumber(const projection::hresult_error& error) {
    return error.code();
}
std::int32_t ErrorNumber(const std::exception&) {
    return 0;
}

// Each user entry of the package into the plan; their states for the decision.
std::vector<PackageInstallState> AskUsers(PackageManagerReadApi& packages, PlannedPackage& package) {
    std::vector<PackageInstallState> install_states;
    for (const auto& user : FindPackageUsers(packages, package.full_name)) {
        package.users.push_back({SecurityIdOf(*user), user->InstallState()});
        install_states.push_back(package.users.back().install_state);
    }
    return install_states;
}

// Every package starts undecided and not asked about; they are decided in the order the run takes them.
void PlanMachineWide(PackageManagerReadApi& packages, PlannedRegistration& planned) {
    const std::vector<PackageInfo> found =
        FindPackagesForAllUsers(packages, planned.record.package_family_name);
    for (const PackageInfo& package : found) {
        planned.packages.push_back(
            {package.full_name, package.has_external_location, {}, PackageDecision::Unknown, kNotAsked});
    }
    std::size_t removed = 0;
    for (std::size_t index = 0; index < found.size(); ++index) {
        PlannedPackage& package = planned.packages[index];
        switch (DecideRemoval(found[index], [&] { return AskUsers(packages, package); })) {
            case RemovalDecision::Remove:
                package.decision = PackageDecision::Remove;
                package.reason =
                    u"no user holds it in a state other than Staged: it would be removed for all users";
                ++removed;
                break;
            case RemovalDecision::KeepForExternalLocation:
                package.decision = PackageDecision::Keep;
                package.reason = u"it has an external location, which the run never removes";
                break;
            case RemovalDecision::KeepForUsers:
                package.decision = PackageDecision::Keep;
                package.reason = Holders(package.users);
                break;
        }
    }
    if (FamilyDone(found.size(), removed)) {
        planned.decision = RegistrationDecision::CleanUp;
        planned.reason =
            u"nothing would be left: the family would be deprovisioned and the registration deleted";
    } else {
        planned.decision = RegistrationDecision::Keep;
        planned.reason = Packages(found.size() - removed) + u" would stay, and so would the registration";
    }
}

void PlanPerUser(PackageManagerReadApi& packages, PlannedRegistration& planned) {
    const std::vector<PackageInfo> listed =
        FindPackagesForCurrentUser(packages, planned.record.package_family_name);
    for (const PackageInfo& package : listed) {
        planned.packages.push_back({package.full_name,
                                    package.has_external_location,
                                    {},
                                    PackageDecision::Keep,
                                    u"listed for the current user; a per-user run never removes a package"});
    }
    if (RegistrationStale(listed)) {
        planned.decision = RegistrationDecision::CleanUp;
        planned.reason =
            u"no package of the family is left for the current user: the registration is stale "
            u"and would be deleted";
    } else {
        planned.decision = RegistrationDecision::Keep;
        planned.reason = Packages(listed.size()) +
                         u" of the family still listed for the current user: the registration stays";
    }
}

void PlanRegistration(PackageManagerReadApi& packages, Scope machine_wide, PlannedRegistration& planned) {
    if (planned.record.package_family_name.empty()) {
        planned.decision = RegistrationDecision::Skip;
        planned.reason = u"no package family name: not an MSIX installation, which the run passes over";
        return;
    }
    // The run reports a failure as the installation's and goes on with the next registration. The failure is
    // about the registration and about the first package not yet decided: the one whose question failed.
    CatchFailure(
        [&] {
            machine_wide == Scope::Machine ? PlanMachineWide(packages, planned)
                                           : PlanPerUser(packages, planned);
        },
        [&](const auto& error) {
            std::u16string failure = FailureMessage(error);
            if (machine_wide == Scope::Machine && ErrorNumber(error) == projection::hresults::kAccessDenied) {
                failure = kRunElevated + failure;
            }
            planned.decision = RegistrationDecision::Unknown;
            planned.reason = failure;
            const auto asked =
                std::ranges::find(planned.packages, PackageDecision::Unknown, &PlannedPackage::decision);
            if (asked != planned.packages.end()) {
                asked->reason = std::move(failure);
            }
        });
}

}  // namespace

CleanupPlan PlanCleanup(RegistryReadApi& registry, PackageManagerReadApi& packages, Scope machine_wide) {
    CleanupPlan plan{machine_wide, {}};
    for (InstallationRecord& record : DiscoverInstallations(registry, machine_wide)) {
        plan.registrations.push_back({std::move(record), RegistrationDecision::Unknown, {}, {}});
        PlanRegistration(packages, machine_wide, plan.registrations.back());
    }
    return plan;
}

}  // namespace halvern
