#pragma once
// The texts of a PackageVersion: "Major.Minor.Build" and "Major.Minor.Build.Revision".

#include <cstdint>
#include <string>

namespace halvern {

struct PackageVersionText {
    std::u16string version;       // Major.Minor.Build
    std::u16string full_version;  // Major.Minor.Build.Revision
};

// Each part in unsigned decimal without leading zeros.
PackageVersionText FormatPackageVersion(std::uint16_t major, std::uint16_t minor, std::uint16_t build,
                                        std::uint16_t revision);

}  // namespace halvern
