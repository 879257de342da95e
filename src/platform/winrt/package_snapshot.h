#pragma once
// What one Package says of itself, read property by property.

#include "platform/abi/application_model.h"
#include "platform/package_manager_api.h"
#include "platform/projection/com_ptr.h"
#include "platform/projection/hresult_messages.h"

namespace halvern {

// Raises hresult_error for any failing read, hresult_no_interface when the package lacks IPackage2, and any
// failure of the query for IPackage8 but its absence (E_NOINTERFACE), which leaves `has_package8` false.
PackageFacts ReadPackageFacts(const projection::com_ptr<abi::IPackage>& package,
                              const HresultMessages& messages);

}  // namespace halvern
