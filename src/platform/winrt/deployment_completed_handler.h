#pragma once
// The completion handler of a deployment operation: an agile, free-threaded delegate that owns a
// manual-reset event, sets it when invoked, and closes it when its last reference goes.

#include "platform/abi/deployment.h"
#include "platform/projection/com_ptr.h"
#include "platform/projection/hresult_messages.h"
#include "platform/win32/win32_handles.h"

namespace halvern {

// Raises hresult_error when the free-threaded marshaler cannot be made (CoCreateFreeThreadedMarshaler,
// ole32 loaded from System32).
projection::com_ptr<abi::IDeploymentCompletedHandler> MakeDeploymentCompletedHandler(
    UniqueKernelHandle event, const HresultMessages& messages);

}  // namespace halvern
