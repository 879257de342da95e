#include "platform/winrt/deployment_wait.h"

#include <windows.h>

#include "platform/win32/win32_handles.h"
#include "platform/winrt/deployment_completed_handler.h"
#include "platform/winrt/runtime_string.h"

namespace halvern {

projection::com_ptr<abi::IDeploymentResult> WaitForDeployment(
    const projection::com_ptr<abi::IDeploymentOperation>& operation, const HresultMessages& messages) {
    const auto info = operation.as<abi::IAsyncInfo>(messages);
    abi::AsyncStatus status = abi::AsyncStatusStarted;
    projection::check_hresult(info->lpVtbl->get_Status(info.get(), &status), messages);

    if (status == abi::AsyncStatusStarted) {
        UniqueKernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!event) {
            const HRESULT failure = HRESULT_FROM_WIN32(::GetLastError());
            // A failed call that left no error number must still fail, never wait on nothing.
            projection::throw_hresult(FAILED(failure) ? failure : E_FAIL, messages);
        }
        const HANDLE signal = event.get();
        // The handler owns the event from here on; the platform may hold it past this function.
        const auto handler = MakeDeploymentCompletedHandler(std::move(event), messages);
        projection::check_hresult(operation->lpVtbl->put_Completed(operation.get(), handler.get()), messages);
        ::WaitForSingleObject(signal, INFINITE);
    }

    projection::com_ptr<abi::IDeploymentResult> result;
    projection::check_object(operation->lpVtbl->GetResults(operation.get(), result.put()), result, messages);
    return result;
}

std::optional<DeploymentError> ReadDeploymentError(const projection::com_ptr<abi::IDeploymentResult>& result,
                                                   const HresultMessages& messages) {
    abi::hresult extended = 0;
    projection::check_hresult(result->lpVtbl->get_ExtendedErrorCode(result.get(), &extended), messages);
    if (extended == 0) {
        return std::nullopt;
    }
    UniqueHString text;
    projection::check_hresult(result->lpVtbl->get_ErrorText(result.get(), text.put()), messages);
    // The code is read once more after the text, and that second value is the one reported: the sequence
    // of reads the tool has always made.
    projection::check_hresult(result->lpVtbl->get_ExtendedErrorCode(result.get(), &extended), messages);
    return DeploymentError{RuntimeText(text.get()), extended};
}

}  // namespace halvern
