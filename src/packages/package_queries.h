#pragma once
// The package manager's read-only questions, as the cleanup drivers and the preview ask them. The
// Windows implementation sits on the Windows Runtime; native tests fake it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "packages/package_info.h"

namespace halvern {

enum PackageInstallState : std::int32_t {
    NotInstalled = 0,
    Staged = 1,
    Installed = 2,
    Paused = 6,
};

// One user entry of a package (a counted reference to the platform's PackageUserInformation). Each
// property raises projection::hresult_error when the platform cannot tell.
class PackageUserInformation {
  public:
    virtual ~PackageUserInformation() = default;
    virtual std::u16string UserSecurityId() const = 0;
    virtual std::int32_t InstallState() const = 0;
};

// Every operation is synchronous. Searches raise MSIXException 2019 (packages) or 2020 (users); memory
// exhaustion is std::bad_alloc.
class PackageQueries {
  public:
    virtual ~PackageQueries() = default;
    virtual std::vector<PackageInfo> FindPackagesForCurrentUser(
        const std::u16string& package_family_name) = 0;
    virtual std::vector<PackageInfo> FindPackagesForAllUsers(const std::u16string& package_family_name) = 0;
    virtual std::vector<std::unique_ptr<PackageUserInformation>> FindPackageUsers(
        const std::u16string& package_full_name) = 0;
};

}  // namespace halvern
