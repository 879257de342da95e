#pragma once
// The synchronous wait on a deployment operation, and the reading of its result.

#include <optional>

#include "platform/abi/deployment.h"
#include "platform/package_manager_api.h"
#include "platform/projection/com_ptr.h"
#include "platform/projection/hresult_messages.h"

namespace halvern {

// While the operation is still running, a completion handler sets an event that this thread waits on,
// without a time limit; then GetResults, whatever the status was. Failures raise hresult_error.
projection::com_ptr<abi::IDeploymentResult> WaitForDeployment(
    const projection::com_ptr<abi::IDeploymentOperation>& operation, const HresultMessages& messages);

// Nothing when the result's ExtendedErrorCode is 0; otherwise its ErrorText and its ExtendedErrorCode.
std::optional<DeploymentError> ReadDeploymentError(const projection::com_ptr<abi::IDeploymentResult>& result,
                                                   const HresultMessages& messages);

}  // namespace halvern
