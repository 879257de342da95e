#include "packages/package_searches.h"

#include "errors/msix_exception.h"
#include "platform/projection/hresult_error.h"

namespace halvern {
namespace {

// The platform's failure in the search, as the tool's error with that code; nothing else is converted.
template <typename Search>
auto Converted(MSIXErrorCode code, Search search) {
    try {
        return search();
    } catch (const projection::hresult_error& error) {
        throw MSIXException(error.message(), code, error.code());
    }
}

std::vector<PackageInfo> Snapshots(const std::vector<PackageFacts>& found) {
    std::vector<PackageInfo> packages;
    packages.reserve(found.size());
    for (const PackageFacts& facts : found) {
        packages.push_back(MakePackageInfo(facts));
    }
    return packages;
}

}  // namespace

std::vector<PackageInfo> FindPackagesForCurrentUser(PackageManagerReadApi& packages,
                                                    const std::u16string& package_family_name) {
    const std::u16string current_user;  // the empty security id, which the platform reads as the current user
    return Snapshots(Converted(MSIXErrorCode::FindPackagesFailure, [&] {
        return packages.FindPackagesByUserSecurityIdPackageFamilyName(current_user, package_family_name);
    }));
}

std::vector<PackageInfo> FindPackagesForAllUsers(PackageManagerReadApi& packages,
                                                 const std::u16string& package_family_name) {
    return Snapshots(Converted(MSIXErrorCode::FindPackagesFailure, [&] {
        return packages.FindPackagesByPackageFamilyName(package_family_name);
    }));
}

std::vector<std::unique_ptr<PackageUserInformation>> FindPackageUsers(
    PackageManagerReadApi& packages, const std::u16string& package_full_name) {
    return Converted(MSIXErrorCode::FindUsersFailure, [&] { return packages.FindUsers(package_full_name); });
}

}  // namespace halvern
