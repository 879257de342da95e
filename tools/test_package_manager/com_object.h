#pragma once
// A small base for the component's objects: each interface is a "face" (the table pointer callers
// see, followed by a pointer back to its object); the object answers QueryInterface with its faces.

#include <windows.h>
#include <winstring.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/abi/base.h"

namespace test_package_manager {

namespace abi = halvern::abi;

class ComObject;

template <typename Interface>
struct Face {
    Interface abi_face;  // what callers hold: the table pointer, first
    ComObject* owner;
};

// Every object the component has handed out and not yet destroyed, except its activation factory.
std::atomic<long>& LiveObjects();

class ComObject {
  public:
    explicit ComObject(bool counted = true) : counted_(counted) {
        if (counted_) {
            ++LiveObjects();
        }
    }
    virtual ~ComObject() {
        if (counted_) {
            --LiveObjects();
        }
    }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    std::uint32_t AddRef() { return references_.fetch_add(1) + 1; }
    std::uint32_t Release() {
        const std::uint32_t remaining = references_.fetch_sub(1) - 1;
        if (remaining == 0) {
            delete this;
        }
        return remaining;
    }

    // The face for the interface id, or null; IUnknown and IInspectable are the first face.
    virtual void* Find(const abi::guid& iid) = 0;
    // QueryInterface's answer: the face, or E_NOINTERFACE. An object may refuse a query otherwise.
    virtual abi::hresult Query(const abi::guid& iid, void** face) {
        *face = Find(iid);
        return *face == nullptr ? E_NOINTERFACE : S_OK;
    }

    template <typename Object>
    static Object* From(void* face) {
        return static_cast<Object*>(reinterpret_cast<Face<abi::IUnknown>*>(face)->owner);
    }

  private:
    std::atomic<std::uint32_t> references_{1};
    const bool counted_;
};

abi::hresult HALVERN_ABI_CALL QueryInterfaceOf(void* self, const abi::guid& iid, void** object);
std::uint32_t HALVERN_ABI_CALL AddRefOf(void* self);
std::uint32_t HALVERN_ABI_CALL ReleaseOf(void* self);
abi::hresult HALVERN_ABI_CALL GetIidsOf(void* self, std::uint32_t* count, abi::guid** iids);
abi::hresult HALVERN_ABI_CALL GetRuntimeClassNameOf(void* self, abi::hstring* name);
abi::hresult HALVERN_ABI_CALL GetTrustLevelOf(void* self, std::int32_t* level);
abi::hresult HALVERN_ABI_CALL NotImplemented(void* self);

inline constexpr abi::IInspectableVtbl kInspectable{
    {&QueryInterfaceOf, &AddRefOf, &ReleaseOf}, &GetIidsOf, &GetRuntimeClassNameOf, &GetTrustLevelOf};

template <typename Interface, typename Vtbl>
Face<Interface> MakeFace(const Vtbl* table, ComObject* owner) {
    return Face<Interface>{Interface{table}, owner};
}

// A new HSTRING with the text, embedded NULs included.
abi::hresult NewString(const std::wstring& text, abi::hstring* out);
std::wstring TextOf(abi::hstring text);

// Hands out one more reference to a face of an object.
template <typename Interface>
Interface* Share(Face<Interface>& face) {
    face.owner->AddRef();
    return &face.abi_face;
}

}  // namespace test_package_manager
