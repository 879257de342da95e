#pragma once

#include <string>

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

}  // namespace halvern
