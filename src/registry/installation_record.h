#pragma once

#include <string>

namespace halvern {

// One installation registered with the updater. Missing and empty values both read as empty.
struct InstallationRecord {
    std::u16string app_id;
    std::u16string name;
    std::u16string version;
    std::u16string package_family_name;

    friend bool operator==(const InstallationRecord&, const InstallationRecord&) = default;
};

}  // namespace halvern
