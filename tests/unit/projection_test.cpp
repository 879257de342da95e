// The projection's own decisions, which Wine cannot make fail: the kind and text of each failing
// HRESULT, the restricted error text, joining the apartment, and which factories are kept.
#include <gtest/gtest.h>

#include <new>
#include <typeindex>

#include "errors/msix_exception.h"
#include "fakes/fake_platform.h"
#include "platform/projection/activation_factory_cache.h"

namespace halvern {
namespace {

using testing::FakePlatform;

TEST(ThrowHresult, RaisesTheKindOfEachMappedHresultWithItsMessage) {
    const std::pair<projection::hresult, std::type_index> kinds[] = {
        {projection::hresults::kAccessDenied, typeid(projection::hresult_access_denied)},
        {projection::hresults::kWrongThread, typeid(projection::hresult_wrong_thread)},
        {projection::hresults::kNotImplemented, typeid(projection::hresult_not_implemented)},
        {projection::hresults::kNoInterface, typeid(projection::hresult_no_interface)},
        {projection::hresults::kInvalidArgument, typeid(projection::hresult_invalid_argument)},
        {projection::hresults::kOutOfBounds, typeid(projection::hresult_out_of_bounds)},
        {projection::hresults::kClassNotAvailable, typeid(projection::hresult_class_not_available)},
        {projection::hresults::kChangedState, typeid(projection::hresult_changed_state)},
        {projection::hresults::kIllegalMethodCall, typeid(projection::hresult_illegal_method_call)},
        {projection::hresults::kIllegalStateChange, typeid(projection::hresult_illegal_state_change)},
        {projection::hresults::kIllegalDelegateAssignment,
         typeid(projection::hresult_illegal_delegate_assignment)},
        {projection::hresults::kCanceled, typeid(projection::hresult_canceled)},
        {projection::hresults::kFail, typeid(projection::hresult_error)},
    };
    for (const auto& [code, type] : kinds) {
        try {
            projection::throw_hresult(code, u"text");
        } catch (const projection::hresult_error& error) {
            EXPECT_EQ(std::type_index(typeid(error)), type) << code;
            EXPECT_EQ(error.code(), code);
            EXPECT_EQ(error.message(), u"text");
        }
    }
    EXPECT_THROW(projection::throw_hresult(projection::hresults::kOutOfMemory, u""), std::bad_alloc);
}

struct FakeRestrictedError final : RestrictedErrorApi {
    std::int32_t GetRestrictedErrorInfo(RestrictedErrorDetails& out) override {
        out = details;
        return status;
    }
    std::int32_t status = 1;  // S_FALSE: none
    RestrictedErrorDetails details;
};

TEST(HresultMessages, TakesTheRestrictedTextOfTheSameErrorElseTheNeutralSystemText) {
    constexpr projection::hresult kCode = projection::hresults::kAccessDenied;
    const std::u16string system = FakePlatform::SystemText(0x80070005, 0x0400);
    struct Case {
        std::int32_t status;
        RestrictedErrorDetails details;
        std::u16string expected;
    };
    const Case cases[] = {
        {0, {u"plain", kCode, std::u16string(u"restricted\0tail", 15)}, u"restricted"},
        {0, {std::u16string(u"plain\0tail", 10), kCode, std::nullopt}, u"plain"},
        {0, {std::nullopt, kCode, std::nullopt}, u""},
        {0, {u"plain", projection::hresults::kFail, u"restricted"}, system},  // another error's information
        {1, {u"plain", kCode, u"restricted"}, system},
        {static_cast<std::int32_t>(0x80004001), {u"plain", kCode, u"restricted"}, system},
    };
    for (const auto& c : cases) {
        FakeRestrictedError restricted;
        restricted.status = c.status;
        restricted.details = c.details;
        FakePlatform machine;
        EXPECT_EQ(HresultMessages(restricted, machine).MessageFor(kCode), c.expected);
    }
}

TEST(ErrorCodeName, NamesTheTableAndNothingElse) {
    EXPECT_EQ(ErrorCodeName(MSIXErrorCode::URLEncodeFailure), u"URLEncodeFailure");
    for (const std::int32_t other : {1999, 2021, 1234, -2000, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(ErrorCodeName(MSIXErrorCode{other}), u"UnknownError") << other;
    }
}

// An activation factory whose references and activations the test counts.
struct FakeFactory {
    abi::IActivationFactory face{&kVtbl};
    int references = 0;
    bool agile = true;
    bool null_instance = false;
    int instances = 0;  // alive

    static FakeFactory* From(void* self) { return reinterpret_cast<FakeFactory*>(self); }
    static abi::hresult HALVERN_ABI_CALL QueryInterface(void* self, const abi::guid& iid, void** object) {
        const bool answers = iid == abi::iid_of<abi::IActivationFactory>() ||
                             (From(self)->agile && iid == abi::iid_of<abi::IAgileObject>());
        *object = answers ? self : nullptr;
        From(self)->references += answers ? 1 : 0;
        return answers ? 0 : projection::hresults::kNoInterface;
    }
    static std::uint32_t HALVERN_ABI_CALL AddRef(void* self) { return ++From(self)->references; }
    static std::uint32_t HALVERN_ABI_CALL Release(void* self) { return --From(self)->references; }
    static abi::hresult HALVERN_ABI_CALL Activate(void* self, abi::IInspectable** instance) {
        // Every instance is the factory itself, counted apart.
        *instance = From(self)->null_instance ? nullptr : reinterpret_cast<abi::IInspectable*>(&kInstance);
        From(self)->instances += *instance ? 1 : 0;
        live = &From(self)->instances;
        return 0;
    }
    static std::uint32_t HALVERN_ABI_CALL ReleaseInstance(void*) { return --*live; }
    static abi::hresult HALVERN_ABI_CALL Iids(void*, std::uint32_t*, abi::guid**) { return -1; }
    static abi::hresult HALVERN_ABI_CALL Name(void*, abi::hstring*) { return -1; }
    static abi::hresult HALVERN_ABI_CALL Trust(void*, std::int32_t*) { return -1; }
    static inline int* live = nullptr;
    static constexpr abi::IActivationFactoryVtbl kVtbl{
        {{&QueryInterface, &AddRef, &Release}, &Iids, &Name, &Trust}, &Activate};
    static constexpr abi::IUnknownVtbl kInstanceVtbl{&QueryInterface, &AddRef, &ReleaseInstance};
    static inline abi::IUnknown kInstance{&kInstanceVtbl};
};

struct FakeActivation final : RuntimeActivationApi {
    std::int32_t RoGetActivationFactory(const std::u16string& id, const abi::guid& iid, void** out) override {
        calls.push_back(u"RoGetActivationFactory " + id);
        const std::int32_t status = statuses.empty() ? 0 : statuses.front();
        statuses.erase(statuses.begin(), statuses.begin() + (statuses.empty() ? 0 : 1));
        *out = nullptr;
        return status < 0 ? status : FakeFactory::QueryInterface(&factory->face, iid, out);
    }
    std::int32_t CoIncrementMTAUsage() override {
        calls.push_back(u"CoIncrementMTAUsage");
        return 0;
    }
    FakeFactory* factory;
    std::vector<std::int32_t> statuses;  // for the next RoGetActivationFactory calls, then S_OK
    std::vector<std::u16string> calls;
};

TEST(ActivationFactoryCache, JoinsTheApartmentOnceWhenAskedToAndKeepsOnlyAgileFactories) {
    const std::u16string ask = u"RoGetActivationFactory Windows.Management.Deployment.PackageManager";
    struct Case {
        std::vector<std::int32_t> statuses;
        bool agile;
        std::optional<projection::hresult> raised;  // by the first activation
        std::vector<std::u16string> calls;          // after two activations
    };
    const Case cases[] = {
        {{}, true, std::nullopt, {ask}},
        {{}, false, std::nullopt, {ask, ask}},
        {{kCoNotInitialized}, true, std::nullopt, {ask, u"CoIncrementMTAUsage", ask}},
        {{kCoNotInitialized, kCoNotInitialized},
         true,
         kCoNotInitialized,
         {ask, u"CoIncrementMTAUsage", ask, ask}},
        {{projection::hresults::kClassNotAvailable},
         true,
         projection::hresults::kClassNotAvailable,
         {ask, ask}},
    };
    for (const auto& c : cases) {
        FakeFactory factory;
        factory.agile = c.agile;
        FakeActivation api;
        api.factory = &factory;
        api.statuses = c.statuses;
        FakeRestrictedError restricted;
        FakePlatform machine;
        const HresultMessages messages(restricted, machine);
        EXPECT_NO_THROW(projection::check_hresult(1, messages));  // S_FALSE is a success
        {
            ActivationFactoryCache cache(api, u"Windows.Management.Deployment.PackageManager");
            try {
                cache.ActivateInstance(messages);
                EXPECT_FALSE(c.raised);
            } catch (const projection::hresult_error& error) {
                EXPECT_EQ(error.code(), c.raised);
            }
            EXPECT_TRUE(cache.ActivateInstance(messages));
            EXPECT_EQ(api.calls, c.calls);
            EXPECT_EQ(factory.references, c.agile ? 1 : 0) << "the cache's own reference";
            factory.null_instance = true;
            EXPECT_THROW(cache.ActivateInstance(messages),
                         projection::hresult_error);  // E_POINTER, never null
        }
        EXPECT_EQ(factory.references, 0);
        EXPECT_EQ(factory.instances, 0);
    }
}

}  // namespace
}  // namespace halvern
