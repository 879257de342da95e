#include "platform/win32/win32_runtime_activation.h"

#include <windows.h>
#include <roapi.h>
#include <winstring.h>

#include "platform/win32/wide_text.h"

namespace halvern {

std::int32_t Win32RuntimeActivation::RoGetActivationFactory(const std::u16string& activatable_class_id,
                                                            const abi::guid& iid, void** factory) {
    if (const DWORD error = combase_.Load(); error != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(error);
    }
    HSTRING_HEADER header{};
    HSTRING class_id = nullptr;
    const HRESULT status = ::WindowsCreateStringReference(
        AsWide(activatable_class_id), static_cast<UINT32>(activatable_class_id.size()), &header, &class_id);
    if (FAILED(status)) {
        return status;
    }
    return ::RoGetActivationFactory(class_id, reinterpret_cast<const IID&>(iid), factory);
}

std::int32_t Win32RuntimeActivation::CoIncrementMTAUsage() {
    if (const DWORD error = ole32_.Load(); error != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(error);
    }
    CO_MTA_USAGE_COOKIE cookie = nullptr;
    return ::CoIncrementMTAUsage(&cookie);
}

}  // namespace halvern
