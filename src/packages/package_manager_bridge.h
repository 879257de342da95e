#pragma once
// The Windows package manager as the cleanup drivers use it: its questions, and the two deployments.

#include "packages/package_queries.h"

namespace halvern {

// Both deployments are synchronous. They raise MSIXException 2005 (removal) or 2003 (deprovisioning) for
// a failed deployment result, projection::hresult_error for other platform failures, and std::bad_alloc when
// memory runs out.
class PackageManagerBridge : public virtual PackageQueries {
  public:
    virtual void RemovePackageForAllUsers(const std::u16string& package_full_name) = 0;
    virtual void DeprovisionForAllUsers(const std::u16string& package_family_name) = 0;
};

}  // namespace halvern
