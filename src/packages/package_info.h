#pragma once

#include <string>

#include "platform/package_manager_api.h"

namespace halvern {

// A value snapshot of one installed package.
struct PackageInfo {
    std::u16string package_name;
    std::u16string display_name;
    std::u16string full_name;
    std::u16string family_name;
    std::u16string full_version;  // Major.Minor.Build.Revision
    std::u16string version;       // Major.Minor.Build
    std::u16string installed_path;
    bool has_external_location = false;

    friend bool operator==(const PackageInfo&, const PackageInfo&) = default;
};

// The snapshot of what the platform said of a package: each version part in decimal without leading zeros,
// and an external location when the effective external path is not empty. Without IPackage8 (Windows 10
// before 2004, which has no external locations) a package has no path and no external location.
PackageInfo MakePackageInfo(const PackageFacts& facts);

}  // namespace halvern
