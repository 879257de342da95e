#pragma once
// Removal of a package and deprovisioning of a family, for all users, each awaited, and a failed result as
// the tool's error.

#include <string>

#include "platform/package_manager_api.h"

namespace halvern {

// A result with any non-zero ExtendedErrorCode (a positive one too) raises MSIXException PackageRemoveFailure
// (2005) or PackageDeprovisionFailure (2003), with the ErrorText up to its first NUL. Failing to start the
// deployment or to wait for it raises the platform's hresult_error unchanged, and memory exhaustion
// std::bad_alloc.
void RemovePackageForAllUsers(PackageManagerApi& packages, const std::u16string& package_full_name);
void DeprovisionForAllUsers(PackageManagerApi& packages, const std::u16string& package_family_name);

}  // namespace halvern
