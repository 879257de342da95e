#pragma once
// The PackageInfo snapshot of one Package: Id, its Name, IPackage2 DisplayName, FullName, FamilyName,
// Version, IPackage8 InstalledPath and EffectiveExternalPath, in that order.

#include "packages/package_info.h"
#include "platform/abi/application_model.h"
#include "platform/projection/com_ptr.h"
#include "platform/projection/hresult_messages.h"

namespace halvern {

// Raises hresult_error for any failing property, hresult_no_interface when the package lacks
// IPackage2. A package without IPackage8 (Windows 10 before 2004) has no path and no external location.
PackageInfo SnapshotPackage(const projection::com_ptr<abi::IPackage>& package,
                            const HresultMessages& messages);

}  // namespace halvern
