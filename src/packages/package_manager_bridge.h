#pragma once
// The Windows package manager as the cleanup drivers use it. The Windows implementation sits on the
// Windows Runtime; native tests fake it.

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

// One user entry of a package (a counted reference to the platform's PackageUserInformation).
class PackageUserInformation {
  public:
    virtual ~PackageUserInformation() = default;
    // Raises winrt::hresult_error when the platform cannot tell.
    virtual std::int32_t InstallState() const = 0;
};

// Every operation is synchronous. Searches raise MSIXException 2019 (packages) or 2020 (users);
// removal and deprovisioning raise MSIXException 2005 or 2003 for a failed deployment result and
// winrt::hresult_error for other platform failures; memory exhaustion is std::bad_alloc.
class PackageManagerBridge {
  public:
    virtual ~PackageManagerBridge() = default;
    virtual std::vector<PackageInfo> FindPackagesForCurrentUser(
        const std::u16string& package_family_name) = 0;
    virtual std::vector<PackageInfo> FindPackagesForAllUsers(const std::u16string& package_family_name) = 0;
    virtual std::vector<std::unique_ptr<PackageUserInformation>> FindPackageUsers(
        const std::u16string& package_full_name) = 0;
    virtual void RemovePackageForAllUsers(const std::u16string& package_full_name) = 0;
    virtual void DeprovisionForAllUsers(const std::u16string& package_family_name) = 0;
};

}  // namespace halvern
