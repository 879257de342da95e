#pragma once
// The decisions of a cleanup run. The drivers act on them and the preview reports them: made here only,
// so that the two can never disagree.

#include <algorithm>
#include <cstddef>
#include <vector>

#include "packages/package_info.h"

namespace halvern {

enum class RemovalDecision {
    Remove,                   // for all users
    KeepForExternalLocation,  // whoever holds it
    KeepForUsers,             // some user holds it beyond Staged
};

// A user entry in any state but Staged (Installed, Paused, or one the tool does not know) keeps a package.
inline bool HoldsBeyondStaged(PackageInstallState install_state) {
    return install_state != PackageInstallState::Staged;
}

// Machine-wide: whether a package is removed for all users. The users of a package with an external
// location are never asked about; otherwise read_install_states() reads every user entry's state, all of
// them, so that a failure to read any one is seen.
template <typename ReadInstallStates>
RemovalDecision DecideRemoval(const PackageInfo& package, ReadInstallStates read_install_states) {
    if (package.has_external_location) {
        return RemovalDecision::KeepForExternalLocation;
    }
    const std::vector<PackageInstallState> install_states = read_install_states();
    return std::ranges::any_of(install_states, HoldsBeyondStaged) ? RemovalDecision::KeepForUsers
                                                                  : RemovalDecision::Remove;
}

// Machine-wide: the family is deprovisioned and its registration deleted only when nothing of it is left.
// A package kept for a user or an external location, or one whose removal failed, keeps both.
inline bool FamilyDone(std::size_t packages_found, std::size_t packages_removed) {
    return packages_removed == packages_found;
}

// Per user: a registration is stale, to be deleted, once no package of its family is listed for the
// current user. Only the count decides, not the packages' versions or states.
inline bool RegistrationStale(const std::vector<PackageInfo>& packages_for_current_user) {
    return packages_for_current_user.empty();
}

}  // namespace halvern
