#pragma once
// The package manager's searches as the cleanup drivers and the preview make them: the packages found, as
// PackageInfo snapshots, and a failure of the platform's search as the tool's error. Memory exhaustion is
// std::bad_alloc, wherever it happens.

#include <memory>
#include <string>
#include <vector>

#include "packages/package_info.h"
#include "platform/package_manager_api.h"

namespace halvern {

// Any failure of the platform's search (activation, the search itself, walking its results, reading a
// package) raises MSIXException FindPackagesFailure (2019) with the failure's text and HRESULT; whatever was
// found before it is dropped.
std::vector<PackageInfo> FindPackagesForCurrentUser(PackageManagerReadApi& packages,
                                                    const std::u16string& package_family_name);
std::vector<PackageInfo> FindPackagesForAllUsers(PackageManagerReadApi& packages,
                                                 const std::u16string& package_family_name);

// FindUsersFailure (2020) likewise. Reading an entry's state later raises the platform's hresult_error as it
// is.
std::vector<std::unique_ptr<PackageUserInformation>> FindPackageUsers(
    PackageManagerReadApi& packages, const std::u16string& package_full_name);

}  // namespace halvern
