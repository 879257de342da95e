#include "platform/projection/activation_factory_cache.h"

namespace halvern {

ActivationFactoryCache::~ActivationFactoryCache() {
    projection::com_ptr<abi::IActivationFactory> cached(slot_.exchange(nullptr),
                                                        projection::take_ownership_from_abi);
}

projection::com_ptr<abi::IInspectable> ActivationFactoryCache::ActivateInstance(
    const HresultMessages& messages) {
    const projection::com_ptr<abi::IActivationFactory> factory = Factory(messages);
    projection::com_ptr<abi::IInspectable> instance;
    projection::check_object(factory->lpVtbl->ActivateInstance(factory.get(), instance.put()), instance,
                             messages);
    return instance;
}

projection::com_ptr<abi::IActivationFactory> ActivationFactoryCache::Factory(
    const HresultMessages& messages) {
    projection::com_ptr<abi::IActivationFactory> factory;
    if (abi::IActivationFactory* cached = slot_.load(std::memory_order_acquire)) {
        factory.copy_from(cached);
        return factory;
    }

    const abi::guid& iid = abi::iid_of<abi::IActivationFactory>();
    projection::hresult status = api_.RoGetActivationFactory(class_id_, iid, factory.put_void());
    if (status == kCoNotInitialized) {
        // A thread outside any apartment: join the process to the multithreaded one for good, so the
        // blocking waits of deployment operations never run in a single-threaded apartment.
        api_.CoIncrementMTAUsage();
        factory = nullptr;
        status = api_.RoGetActivationFactory(class_id_, iid, factory.put_void());
    }
    projection::check_object(status, factory, messages);

    // A factory bound to one apartment must not be used from another: such a one serves this
    // activation only.
    if (!factory.try_as<abi::IAgileObject>()) {
        return factory;
    }
    abi::IActivationFactory* expected = nullptr;
    projection::com_ptr<abi::IActivationFactory> slot_reference = factory;
    if (slot_.compare_exchange_strong(expected, slot_reference.get(), std::memory_order_acq_rel)) {
        slot_reference.detach();
        return factory;
    }
    // Another thread published first: use its factory and drop ours.
    factory.copy_from(expected);
    return factory;
}

}  // namespace halvern
