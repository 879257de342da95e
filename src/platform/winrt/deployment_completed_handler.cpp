#include "platform/winrt/deployment_completed_handler.h"

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <cstddef>

#include "platform/win32/system_library.h"

namespace halvern {
namespace {

class CompletedHandler {
  public:
    explicit CompletedHandler(UniqueKernelHandle event) : event_(std::move(event)) {}

    // Aggregates the free-threaded marshaler, which answers IMarshal on this object's behalf.
    HRESULT CreateMarshaler() {
        if (const DWORD error = ole32_.Load(); error != ERROR_SUCCESS) {
            return HRESULT_FROM_WIN32(error);
        }
        return ::CoCreateFreeThreadedMarshaler(reinterpret_cast<::IUnknown*>(&interface_),
                                               reinterpret_cast<::IUnknown**>(marshaler_.put()));
    }

    abi::IDeploymentCompletedHandler* get() noexcept { return &interface_; }

  private:
    static CompletedHandler* From(void* self) {
        return reinterpret_cast<CompletedHandler*>(static_cast<std::byte*>(self) -
                                                   offsetof(CompletedHandler, interface_));
    }

    static abi::hresult HALVERN_ABI_CALL QueryInterface(void* self, const abi::guid& iid, void** object) {
        CompletedHandler* handler = From(self);
        if (iid == abi::iid_of<abi::IDeploymentCompletedHandler>() || iid == abi::iid_of<abi::IUnknown>() ||
            iid == abi::iid_of<abi::IAgileObject>()) {
            *object = &handler->interface_;
            AddRef(self);
            return S_OK;
        }
        if (iid == abi::iid_of<abi::IMarshal>() && handler->marshaler_) {
            return handler->marshaler_->lpVtbl->QueryInterface(handler->marshaler_.get(), iid, object);
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    static std::uint32_t HALVERN_ABI_CALL AddRef(void* self) {
        return From(self)->references_.fetch_add(1, std::memory_order_relaxed) + 1;
    }

    static std::uint32_t HALVERN_ABI_CALL Release(void* self) {
        CompletedHandler* handler = From(self);
        const std::uint32_t remaining = handler->references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (remaining == 0) {
            delete handler;  // closes the event: whichever side lets go last
        }
        return remaining;
    }

    // Both arguments are ignored: the waiting thread fetches the results itself.
    static abi::hresult HALVERN_ABI_CALL Invoke(abi::IDeploymentCompletedHandler* self,
                                                abi::IDeploymentOperation*, abi::AsyncStatus) {
        ::SetEvent(From(self)->event_.get());
        return S_OK;
    }

    static constexpr abi::IDeploymentCompletedHandlerVtbl kVtbl{{&QueryInterface, &AddRef, &Release},
                                                                &Invoke};

    abi::IDeploymentCompletedHandler interface_{&kVtbl};
    std::atomic<std::uint32_t> references_{1};
    UniqueKernelHandle event_;
    // Declared before the marshaler, which comes from it and goes first.
    SystemLibrary ole32_{L"ole32.dll"};
    // The marshaler's own (non-delegating) IUnknown, owned by this object.
    projection::com_ptr<abi::IUnknown> marshaler_;
};

}  // namespace

projection::com_ptr<abi::IDeploymentCompletedHandler> MakeDeploymentCompletedHandler(
    UniqueKernelHandle event, const HresultMessages& messages) {
    auto* handler = new CompletedHandler(std::move(event));
    projection::com_ptr<abi::IDeploymentCompletedHandler> owner(handler->get(),
                                                                projection::take_ownership_from_abi);
    projection::check_hresult(handler->CreateMarshaler(), messages);
    return owner;
}

}  // namespace halvern
