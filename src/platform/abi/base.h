#pragma once
// The COM and Windows Runtime base interfaces, declared at the binary level: each interface is a
// pointer to a table of functions whose order is the platform's slot order. Portable, so the code
// that only moves references around can be exercised natively against fakes of the same shape.

#include <cstdint>

#include "platform/abi/guid.h"

#if defined(_WIN32)
#define HALVERN_ABI_CALL __stdcall
#else
#define HALVERN_ABI_CALL
#endif

// The platform's runtime string handle (winstring.h completes the type on Windows).
struct HSTRING__;

namespace halvern::abi {

using hresult = std::int32_t;
using hstring = ::HSTRING__*;
using boolean = std::uint8_t;  // one byte, never the four-byte BOOL

constexpr hresult kOk = 0;

// A slot this tool never calls: present so that the slots after it keep their positions.
using UnusedMethod = hresult(HALVERN_ABI_CALL*)(void* self);

struct IUnknownVtbl {
    hresult(HALVERN_ABI_CALL* QueryInterface)(void* self, const guid& iid, void** object);
    std::uint32_t(HALVERN_ABI_CALL* AddRef)(void* self);
    std::uint32_t(HALVERN_ABI_CALL* Release)(void* self);
};
struct IUnknown {
    const IUnknownVtbl* lpVtbl;
};
HALVERN_ABI_IID(IUnknown, "00000000-0000-0000-c000-000000000046");

struct IInspectableVtbl {
    IUnknownVtbl unknown;
    hresult(HALVERN_ABI_CALL* GetIids)(void* self, std::uint32_t* count, guid** iids);
    hresult(HALVERN_ABI_CALL* GetRuntimeClassName)(void* self, hstring* name);
    hresult(HALVERN_ABI_CALL* GetTrustLevel)(void* self, std::int32_t* level);
};
struct IInspectable {
    const IInspectableVtbl* lpVtbl;
};
HALVERN_ABI_IID(IInspectable, "af86e2e0-b12d-4c6a-9c5a-d7aa65101e90");

struct IActivationFactoryVtbl {
    IInspectableVtbl inspectable;
    hresult(HALVERN_ABI_CALL* ActivateInstance)(void* self, IInspectable** instance);
};
struct IActivationFactory {
    const IActivationFactoryVtbl* lpVtbl;
};
HALVERN_ABI_IID(IActivationFactory, "00000035-0000-0000-c000-000000000046");

// A marker: an object that answers for it may be called from any thread.
struct IAgileObject {
    const IUnknownVtbl* lpVtbl;
};
HALVERN_ABI_IID(IAgileObject, "94ea2b94-e9cc-49e0-c0ff-ee64ca8f5b90");

// Answered through the free-threaded marshaler; never called directly.
struct IMarshal {
    const IUnknownVtbl* lpVtbl;
};
HALVERN_ABI_IID(IMarshal, "00000003-0000-0000-c000-000000000046");

// The descriptions are BSTRs, freed with SysFreeString.
struct IRestrictedErrorInfoVtbl {
    IUnknownVtbl unknown;
    hresult(HALVERN_ABI_CALL* GetErrorDetails)(void* self, char16_t** description, hresult* error,
                                               char16_t** restricted_description, char16_t** capability_sid);
    hresult(HALVERN_ABI_CALL* GetReference)(void* self, char16_t** reference);
};
struct IRestrictedErrorInfo {
    const IRestrictedErrorInfoVtbl* lpVtbl;
};
HALVERN_ABI_IID(IRestrictedErrorInfo, "82ba7092-4c88-427d-a7bc-16dd93feb67e");

// The IUnknown methods of any declared interface, which all begin with the IUnknown slots.
template <typename Interface>
const IUnknownVtbl& UnknownSlots(Interface* object) {
    return *reinterpret_cast<const IUnknownVtbl*>(object->lpVtbl);
}

}  // namespace halvern::abi
