// Activation through the cached factory: the retry after joining the multithreaded apartment, and
// the cache that keeps agile factories only. Wine never reports CO_E_NOTINITIALIZED, hence fakes.
#include "platform/projection/activation_factory_cache.h"

#include <gtest/gtest.h>

#include <thread>

#include "fakes/fake_restricted_error.h"
#include "fakes/fake_runtime_activation.h"
#include "fakes/fake_system_messages.h"

namespace halvern {
namespace {

using testing::FakeActivationFactory;
using testing::FakeRestrictedError;
using testing::FakeRuntimeActivation;
using testing::FakeSystemMessages;

constexpr char16_t kClass[] = u"Windows.Management.Deployment.PackageManager";
const std::u16string kGetFactory = std::u16string(u"RoGetActivationFactory ") + kClass;

struct Activation {
    FakeActivationFactory factory;
    FakeRuntimeActivation api{factory};
    FakeRestrictedError restricted;
    FakeSystemMessages system;
    HresultMessages messages{restricted, system};
};

TEST(ActivationFactoryCache, JoinsTheMultithreadedApartmentAndAsksOnceMore) {
    Activation a;
    a.api.statuses = {kCoNotInitialized};
    {
        ActivationFactoryCache cache(a.api, kClass);
        const auto instance = cache.ActivateInstance(a.messages);
        EXPECT_TRUE(instance);
        EXPECT_EQ(a.api.calls,
                  (std::vector<std::u16string>{kGetFactory, u"CoIncrementMTAUsage", kGetFactory}));
        EXPECT_EQ(a.factory.references, 1u);  // the cache's
    }
    EXPECT_EQ(a.factory.references, 0u);
    EXPECT_EQ(a.factory.live_instances, 0);
}

TEST(ActivationFactoryCache, RaisesTheSecondAnswerWhenTheRetryFailsToo) {
    for (const std::int32_t second : {kCoNotInitialized, static_cast<std::int32_t>(0x80040154)}) {
        Activation a;
        a.api.statuses = {kCoNotInitialized, second};
        a.system.texts[{static_cast<std::uint32_t>(second), 0x0400}] = u"text";
        ActivationFactoryCache cache(a.api, kClass);
        try {
            cache.ActivateInstance(a.messages);
            ADD_FAILURE() << "nothing raised";
        } catch (const winrt::hresult_error& error) {
            EXPECT_EQ(error.code(), second);
            EXPECT_EQ(error.message(), u"text");
        }
        EXPECT_EQ(a.api.calls,
                  (std::vector<std::u16string>{kGetFactory, u"CoIncrementMTAUsage", kGetFactory}));
        EXPECT_EQ(a.factory.activations, 0);
    }
}

TEST(ActivationFactoryCache, RaisesOtherFailuresWithoutARetryAndCachesNothing) {
    Activation a;
    a.api.statuses = {static_cast<std::int32_t>(0x80040111)};
    ActivationFactoryCache cache(a.api, kClass);
    EXPECT_THROW(cache.ActivateInstance(a.messages), winrt::hresult_class_not_available);
    EXPECT_EQ(a.api.calls, std::vector<std::u16string>{kGetFactory});
    // The next activation asks again, and succeeds.
    EXPECT_TRUE(cache.ActivateInstance(a.messages));
    EXPECT_EQ(a.api.calls.size(), 2u);
}

TEST(ActivationFactoryCache, KeepsAnAgileFactoryAndActivatesAFreshInstanceEachTime) {
    Activation a;
    ActivationFactoryCache cache(a.api, kClass);
    const auto first = cache.ActivateInstance(a.messages);
    const auto second = cache.ActivateInstance(a.messages);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(a.api.calls, std::vector<std::u16string>{kGetFactory});
    EXPECT_EQ(a.factory.activations, 2);
    EXPECT_EQ(a.factory.references, 1u);
    EXPECT_EQ(a.factory.live_instances, 2);
}

TEST(ActivationFactoryCache, UsesAFactoryThatIsNotAgileForOneActivationOnly) {
    Activation a;
    a.factory.agile = false;
    ActivationFactoryCache cache(a.api, kClass);
    cache.ActivateInstance(a.messages);
    EXPECT_EQ(a.factory.references, 0u);
    cache.ActivateInstance(a.messages);
    EXPECT_EQ(a.api.calls, (std::vector<std::u16string>{kGetFactory, kGetFactory}));
    EXPECT_EQ(a.factory.references, 0u);
    EXPECT_EQ(a.factory.live_instances, 0);
}

TEST(ActivationFactoryCache, RaisesAFailedActivationAndKeepsTheFactory) {
    Activation a;
    a.factory.activate_status = static_cast<std::int32_t>(0x80070005);
    ActivationFactoryCache cache(a.api, kClass);
    EXPECT_THROW(cache.ActivateInstance(a.messages), winrt::hresult_access_denied);
    a.factory.activate_status = 0;
    EXPECT_TRUE(cache.ActivateInstance(a.messages));
    EXPECT_EQ(a.api.calls.size(), 1u);
    EXPECT_EQ(a.factory.references, 1u);
}

// A success that hands back no object is raised as E_POINTER with its message, holds no reference,
// and caches nothing: the next activation on a sound platform asks again and succeeds.
TEST(ActivationFactoryCache, RaisesPointerErrorForASuccessWithoutAnObject) {
    struct Case {
        const char* name;
        bool null_factory;
        bool null_instance;
        std::size_t factory_requests;  // after the failed and the sound activation
    };
    for (const Case& c : {Case{"factory", true, false, 2}, Case{"instance", false, true, 1}}) {
        SCOPED_TRACE(c.name);
        Activation a;
        a.factory.query_hands_back_null = c.null_factory;
        a.factory.activate_hands_back_null = c.null_instance;
        a.system.texts[{0x80004003u, 0x0400}] = u"Invalid pointer";
        ActivationFactoryCache cache(a.api, kClass);
        try {
            cache.ActivateInstance(a.messages);
            ADD_FAILURE() << "nothing raised";
        } catch (const winrt::hresult_error& error) {
            EXPECT_EQ(error.code(), winrt::hresults::kPointer);
            EXPECT_EQ(error.message(), u"Invalid pointer");
        }
        EXPECT_EQ(a.factory.activations, c.null_instance ? 1 : 0);
        EXPECT_EQ(a.factory.live_instances, 0);

        a.factory.query_hands_back_null = false;
        a.factory.activate_hands_back_null = false;
        EXPECT_TRUE(cache.ActivateInstance(a.messages));
        EXPECT_EQ(a.api.calls.size(), c.factory_requests);
        EXPECT_EQ(a.factory.references, 1u);  // the cache's only
    }
}

TEST(ComPtr, RaisesPointerErrorWhenAQuerySucceedsWithoutAnObject) {
    Activation a;
    winrt::com_ptr<abi::IActivationFactory> factory;
    factory.copy_from(&a.factory.face);
    a.factory.query_hands_back_null = true;
    try {
        factory.as<abi::IInspectable>(a.messages);
        ADD_FAILURE() << "nothing raised";
    } catch (const winrt::hresult_error& error) {
        EXPECT_EQ(error.code(), winrt::hresults::kPointer);
    }
    EXPECT_EQ(a.factory.references, 1u);  // the test's own
}

TEST(ActivationFactoryCache, PublishesOneFactoryWhenThreadsRaceToTheFirstActivation) {
    Activation a;
    {
        ActivationFactoryCache cache(a.api, kClass);
        std::vector<std::thread> threads;
        for (int index = 0; index < 8; ++index) {
            threads.emplace_back([&] { cache.ActivateInstance(a.messages); });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        // However many threads fetched a factory, the losers dropped theirs: one reference stays.
        EXPECT_EQ(a.factory.references, 1u);
        EXPECT_EQ(a.factory.activations, 8);
    }
    EXPECT_EQ(a.factory.references, 0u);
}

}  // namespace
}  // namespace halvern
