#pragma once
// The synchronous wait on a deployment operation, and the check of its result.

#include "errors/msix_exception.h"
#include "platform/abi/deployment.h"
#include "platform/projection/com_ptr.h"
#include "platform/projection/hresult_messages.h"

namespace halvern {

// Status; while still started: CreateEventW, the Completed handler, WaitForSingleObject without a
// time limit; then GetResults, whatever the status was. Failures raise hresult_error.
projection::com_ptr<abi::IDeploymentResult> WaitForDeployment(
    const projection::com_ptr<abi::IDeploymentOperation>& operation, const HresultMessages& messages);

// Any non-zero ExtendedErrorCode (positive too) raises MSIXException with the given code, the
// ErrorText up to its first NUL and the code read once more.
void CheckDeploymentResult(const projection::com_ptr<abi::IDeploymentResult>& result,
                           MSIXErrorCode failure_code, const HresultMessages& messages);

}  // namespace halvern
