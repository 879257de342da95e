#pragma once
// The counted-reference owner for the platform's objects: copying adds a reference, moving steals
// it, destruction releases it.

#include <cassert>
#include <cstddef>
#include <utility>

#include "platform/abi/base.h"
#include "platform/projection/hresult_error.h"
#include "platform/projection/hresult_messages.h"

namespace halvern::projection {

struct take_ownership_from_abi_t {};
inline constexpr take_ownership_from_abi_t take_ownership_from_abi{};

template <typename T>
class com_ptr {
  public:
    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    // Adopts a reference the caller already holds.
    com_ptr(T* object, take_ownership_from_abi_t) noexcept : object_(object) {}

    com_ptr(const com_ptr& other) noexcept : object_(other.object_) { add_ref(); }
    com_ptr(com_ptr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    com_ptr& operator=(const com_ptr& other) noexcept {
        com_ptr(other).swap(*this);
        return *this;
    }
    com_ptr& operator=(com_ptr&& other) noexcept {
        com_ptr(std::move(other)).swap(*this);
        return *this;
    }
    ~com_ptr() { release_ref(); }

    T* get() const noexcept { return object_; }
    T* operator->() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

    // For out-parameters: the owner must be empty, so no reference is leaked by overwriting.
    T** put() noexcept {
        assert(object_ == nullptr);
        return &object_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    // Gives up the reference without releasing it.
    T* detach() noexcept { return std::exchange(object_, nullptr); }
    // Shares the object with the caller: one more reference, owned by the caller.
    void copy_from(T* object) noexcept {
        com_ptr copy(object, take_ownership_from_abi);
        copy.add_ref();
        copy.swap(*this);
    }

    void swap(com_ptr& other) noexcept { std::swap(object_, other.object_); }

    // Empty when the object does not answer for the interface.
    template <typename Interface>
    com_ptr<Interface> try_as() const noexcept {
        com_ptr<Interface> result;
        if (object_ != nullptr) {
            halvern::abi::UnknownSlots(object_).QueryInterface(object_, halvern::abi::iid_of<Interface>(),
                                                               result.put_void());
        }
        return result;
    }

    // The query's own status, for a caller that treats one answer differently; `result` must be empty.
    template <typename Interface>
    hresult query(com_ptr<Interface>& result) const noexcept {
        return halvern::abi::UnknownSlots(object_).QueryInterface(object_, halvern::abi::iid_of<Interface>(),
                                                                  result.put_void());
    }

    // Raises hresult_no_interface (or whatever the query answered) when the object does not answer.
    template <typename Interface>
    com_ptr<Interface> as(const halvern::HresultMessages& messages) const {
        com_ptr<Interface> result;
        check_object(query(result), result, messages);
        return result;
    }

  private:
    void add_ref() noexcept {
        if (object_ != nullptr) {
            halvern::abi::UnknownSlots(object_).AddRef(object_);
        }
    }
    void release_ref() noexcept {
        if (T* object = std::exchange(object_, nullptr)) {
            halvern::abi::UnknownSlots(object).Release(object);
        }
    }

    T* object_ = nullptr;
};

// For a call that hands back an object: a failing code raises as check_hresult does, and so does a
// success that left the object empty, as E_POINTER, so no caller ever dereferences null.
template <typename T>
void check_object(hresult code, const com_ptr<T>& object, const halvern::HresultMessages& messages) {
    check_hresult(code, messages);
    if (!object) {
        throw_hresult(hresults::kPointer, messages);
    }
}

}  // namespace halvern::projection
