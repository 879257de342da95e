#include "platform/win32/win32_restricted_error.h"

#include <windows.h>
#include <oleauto.h>

#include "platform/abi/base.h"
#include "platform/projection/com_ptr.h"
#include "platform/unique_handle.h"
#include "platform/win32/wide_text.h"

// In combase; no mingw-w64 header declares it.
extern "C" __declspec(dllimport) HRESULT WINAPI
    GetRestrictedErrorInfo(halvern::abi::IRestrictedErrorInfo** info);

namespace halvern {
namespace {

struct BstrTraits {
    using handle_type = char16_t*;
    static handle_type invalid() noexcept { return nullptr; }
    void close(handle_type text) const noexcept { ::SysFreeString(reinterpret_cast<BSTR>(text)); }
};
using UniqueBstr = UniqueHandle<BstrTraits>;

std::optional<std::u16string> BstrText(const UniqueBstr& text) {
    if (!text) {
        return std::nullopt;
    }
    return FromWide(reinterpret_cast<const wchar_t*>(text.get()),
                    ::SysStringLen(reinterpret_cast<BSTR>(text.get())));
}

}  // namespace

std::int32_t Win32RestrictedError::GetRestrictedErrorInfo(RestrictedErrorDetails& details) {
    for (SystemLibrary* library : {&combase_, &oleaut32_}) {
        if (const DWORD error = library->Load(); error != ERROR_SUCCESS) {
            return HRESULT_FROM_WIN32(error);
        }
    }
    projection::com_ptr<abi::IRestrictedErrorInfo> info;
    const HRESULT status = ::GetRestrictedErrorInfo(info.put());
    if (status != S_OK || !info) {
        return status == S_OK ? S_FALSE : status;
    }
    UniqueBstr description;
    UniqueBstr restricted_description;
    UniqueBstr capability_sid;
    abi::hresult error = 0;
    const abi::hresult details_status = info->lpVtbl->GetErrorDetails(
        info.get(), description.put(), &error, restricted_description.put(), capability_sid.put());
    if (FAILED(details_status)) {
        return details_status;
    }
    details.description = BstrText(description);
    details.error = error;
    details.restricted_description = BstrText(restricted_description);
    return S_OK;
}

}  // namespace halvern
