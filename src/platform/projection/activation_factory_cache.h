#pragma once
// Activation of one runtime class through its activation factory, which is kept for the life of the
// cache once it is known to be agile. The entry point holds one cache per class for the whole
// process.

#include <atomic>
#include <string>

#include "platform/abi/base.h"
#include "platform/projection/com_ptr.h"
#include "platform/projection/hresult_messages.h"
#include "platform/runtime_activation_api.h"

namespace halvern {

inline constexpr projection::hresult kCoNotInitialized = static_cast<projection::hresult>(0x800401F0);

class ActivationFactoryCache {
  public:
    ActivationFactoryCache(RuntimeActivationApi& api, std::u16string activatable_class_id)
        : api_(api), class_id_(std::move(activatable_class_id)) {}
    ~ActivationFactoryCache();
    ActivationFactoryCache(const ActivationFactoryCache&) = delete;
    ActivationFactoryCache& operator=(const ActivationFactoryCache&) = delete;

    // A new instance from the factory's ActivateInstance. A failing call raises hresult_error.
    projection::com_ptr<abi::IInspectable> ActivateInstance(const HresultMessages& messages);

  private:
    // The cached factory; else RoGetActivationFactory (joining the multithreaded apartment and
    // asking once more when the thread has none), published into the slot if it is agile.
    projection::com_ptr<abi::IActivationFactory> Factory(const HresultMessages& messages);

    RuntimeActivationApi& api_;
    const std::u16string class_id_;
    // Filled at most once, with one compare-and-exchange against empty; owns one reference.
    std::atomic<abi::IActivationFactory*> slot_{nullptr};
};

}  // namespace halvern
