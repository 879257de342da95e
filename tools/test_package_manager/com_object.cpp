#include "com_object.h"

namespace test_package_manager {

std::atomic<long>& LiveObjects() {
    static std::atomic<long> live{0};
    return live;
}

abi::hresult HALVERN_ABI_CALL QueryInterfaceOf(void* self, const abi::guid& iid, void** object) {
    ComObject* owner = ComObject::From<ComObject>(self);
    const abi::hresult status = owner->Query(iid, object);
    if (status != S_OK) {
        *object = nullptr;
        return status;
    }
    owner->AddRef();
    return S_OK;
}

std::uint32_t HALVERN_ABI_CALL AddRefOf(void* self) {
    return ComObject::From<ComObject>(self)->AddRef();
}

std::uint32_t HALVERN_ABI_CALL ReleaseOf(void* self) {
    return ComObject::From<ComObject>(self)->Release();
}

abi::hresult HALVERN_ABI_CALL GetIidsOf(void*, std::uint32_t* count, abi::guid** iids) {
    *count = 0;
    *iids = nullptr;
    return S_OK;
}

abi::hresult HALVERN_ABI_CALL GetRuntimeClassNameOf(void*, abi::hstring* name) {
    *name = nullptr;
    return E_NOTIMPL;
}

abi::hresult HALVERN_ABI_CALL GetTrustLevelOf(void*, std::int32_t* level) {
    *level = 0;  // BaseTrust
    return S_OK;
}

abi::hresult HALVERN_ABI_CALL NotImplemented(void*) {
    return E_NOTIMPL;
}

abi::hresult NewString(const std::wstring& text, abi::hstring* out) {
    return ::WindowsCreateString(text.data(), static_cast<UINT32>(text.size()), out);
}

std::wstring TextOf(abi::hstring text) {
    UINT32 length = 0;
    const wchar_t* buffer = ::WindowsGetStringRawBuffer(text, &length);
    return buffer == nullptr ? std::wstring() : std::wstring(buffer, length);
}

}  // namespace test_package_manager
