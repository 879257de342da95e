#pragma once
// RoGetActivationFactory and CoIncrementMTAUsage with scripted statuses, handing out a fake
// activation factory whose references and activations the test can count.

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/abi/base.h"
#include "platform/runtime_activation_api.h"

namespace halvern::testing {

constexpr abi::hresult kNoInterface = static_cast<abi::hresult>(0x80004002);

// An object activated by the fake factory; counts itself in the factory's live instances.
struct FakeInstance {
    abi::IInspectable face;
    std::atomic<std::uint32_t> references{1};
    std::atomic<int>* live;
};

struct FakeActivationFactory {
    FakeActivationFactory() : face{&kVtbl} {}
    FakeActivationFactory(const FakeActivationFactory&) = delete;
    FakeActivationFactory& operator=(const FakeActivationFactory&) = delete;

    abi::IActivationFactory face;
    std::atomic<std::uint32_t> references{0};  // the test's own object: never deleted
    bool agile = true;
    abi::hresult activate_status = 0;
    // A broken platform: the call succeeds and hands back no object.
    bool query_hands_back_null = false;
    bool activate_hands_back_null = false;
    std::atomic<int> activations{0};
    std::atomic<int> live_instances{0};

    static FakeActivationFactory* From(void* self) { return reinterpret_cast<FakeActivationFactory*>(self); }

    static abi::hresult HALVERN_ABI_CALL QueryInterface(void* self, const abi::guid& iid, void** object) {
        FakeActivationFactory* factory = From(self);
        if (iid == abi::iid_of<abi::IUnknown>() || iid == abi::iid_of<abi::IInspectable>() ||
            iid == abi::iid_of<abi::IActivationFactory>() ||
            (factory->agile && iid == abi::iid_of<abi::IAgileObject>())) {
            if (factory->query_hands_back_null) {
                *object = nullptr;
                return 0;
            }
            ++factory->references;
            *object = &factory->face;
            return 0;
        }
        *object = nullptr;
        return kNoInterface;
    }
    static std::uint32_t HALVERN_ABI_CALL AddRef(void* self) { return ++From(self)->references; }
    static std::uint32_t HALVERN_ABI_CALL Release(void* self) { return --From(self)->references; }
    static abi::hresult HALVERN_ABI_CALL NotUsed(void*) { return static_cast<abi::hresult>(0x80004001); }
    static abi::hresult HALVERN_ABI_CALL GetIids(void*, std::uint32_t*, abi::guid**) {
        return NotUsed(nullptr);
    }
    static abi::hresult HALVERN_ABI_CALL GetName(void*, abi::hstring*) { return NotUsed(nullptr); }
    static abi::hresult HALVERN_ABI_CALL GetTrust(void*, std::int32_t*) { return NotUsed(nullptr); }

    static abi::hresult HALVERN_ABI_CALL ActivateInstance(void* self, abi::IInspectable** instance) {
        FakeActivationFactory* factory = From(self);
        ++factory->activations;
        *instance = nullptr;
        if (factory->activate_status < 0 || factory->activate_hands_back_null) {
            return factory->activate_status;
        }
        auto* created = new FakeInstance{abi::IInspectable{&kInstanceVtbl}, {1}, &factory->live_instances};
        ++factory->live_instances;
        *instance = &created->face;
        return 0;
    }

    static abi::hresult HALVERN_ABI_CALL InstanceQueryInterface(void* self, const abi::guid& iid,
                                                                void** object) {
        if (iid == abi::iid_of<abi::IUnknown>() || iid == abi::iid_of<abi::IInspectable>()) {
            InstanceAddRef(self);
            *object = self;
            return 0;
        }
        *object = nullptr;
        return kNoInterface;
    }
    static std::uint32_t HALVERN_ABI_CALL InstanceAddRef(void* self) {
        return ++reinterpret_cast<FakeInstance*>(self)->references;
    }
    static std::uint32_t HALVERN_ABI_CALL InstanceRelease(void* self) {
        auto* instance = reinterpret_cast<FakeInstance*>(self);
        const std::uint32_t remaining = --instance->references;
        if (remaining == 0) {
            --*instance->live;
            delete instance;
        }
        return remaining;
    }

    static constexpr abi::IActivationFactoryVtbl kVtbl{
        {{&QueryInterface, &AddRef, &Release}, &GetIids, &GetName, &GetTrust}, &ActivateInstance};
    static constexpr abi::IInspectableVtbl kInstanceVtbl{
        {&InstanceQueryInterface, &InstanceAddRef, &InstanceRelease}, &GetIids, &GetName, &GetTrust};
};

class FakeRuntimeActivation final : public RuntimeActivationApi {
  public:
    explicit FakeRuntimeActivation(FakeActivationFactory& factory) : factory_(factory) {}

    std::int32_t RoGetActivationFactory(const std::u16string& class_id, const abi::guid& iid,
                                        void** factory) override {
        std::lock_guard lock(mutex_);
        calls.push_back(u"RoGetActivationFactory " + class_id);
        *factory = nullptr;
        std::int32_t status = 0;
        if (!statuses.empty()) {
            status = statuses.front();
            statuses.pop_front();
        }
        if (status < 0) {
            return status;
        }
        return FakeActivationFactory::QueryInterface(&factory_.face, iid, factory);
    }

    std::int32_t CoIncrementMTAUsage() override {
        std::lock_guard lock(mutex_);
        calls.push_back(u"CoIncrementMTAUsage");
        return 0;
    }

    std::deque<std::int32_t> statuses;  // for successive RoGetActivationFactory calls; then S_OK
    std::vector<std::u16string> calls;

  private:
    FakeActivationFactory& factory_;
    std::mutex mutex_;
};

}  // namespace halvern::testing
