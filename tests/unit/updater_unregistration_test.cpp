#include "registry/updater_unregistration.h"

#include <gtest/gtest.h>

#include "errors/msix_exception.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_system_messages.h"

namespace halvern {
namespace {

using testing::FakeRegistry;
using testing::FakeSystemMessages;
using testing::RegistryCall;
using testing::RegistryFunction;

constexpr char16_t kClients[] = u"Software\\HalvernUpdate\\Update\\Clients";

std::u16string Client(std::u16string_view app_id) {
    return std::u16string(kClients) + u"\\" + std::u16string(app_id);
}

struct Unregistration {
    Unregistration() {
        messages.texts[{2, 0x0409}] = u"File not found.\r\n";
        messages.texts[{5, 0x0409}] = u"Access denied.\r\n";
        messages.texts[{87, 0x0409}] = u"Invalid parameter.\r\n";
        for (const RegistryKeyHandle hive : {kHkeyCurrentUser, kHkeyLocalMachine}) {
            for (const char16_t* app_id : {u"{A}", u"{B}", u"{C}"}) {
                registry.SetString(hive, Client(app_id), u"PackageFamilyName", u"Fam_abc");
            }
            registry.SetString(hive, u"Software\\HalvernUpdate\\Update", u"uid", u"{uid}");
        }
        registry.SetString(kHkeyLocalMachine, Client(u"{B}"), u"name", u"decoy", FakeRegistry::View::k64);
    }

    // The exception the call raised; fails the test when it returned normally.
    MSIXException Failure(bool machine_wide, const std::u16string& app_id) {
        try {
            UnregisterFromUpdater(registry, messages, machine_wide, app_id);
        } catch (const MSIXException& error) {
            return error;
        }
        ADD_FAILURE() << "no MSIXException";
        return MSIXException(u"", MSIXErrorCode::URLEncodeFailure, 0);
    }

    FakeRegistry registry;
    FakeSystemMessages messages;
};

void ExpectFailure(const MSIXException& error, LStatus status, const std::u16string& message) {
    EXPECT_EQ(error.code, MSIXErrorCode::FailedToUnregisterFromOmaha);
    EXPECT_EQ(error.system_error, status);
    EXPECT_EQ(error.message, message);
}

TEST(UnregisterFromUpdater, DeletesOnlyTheRegistrationInTheHiveOfTheMode) {
    for (const bool machine_wide : {false, true}) {
        SCOPED_TRACE(machine_wide);
        Unregistration run;
        const RegistryKeyHandle hive = machine_wide ? kHkeyLocalMachine : kHkeyCurrentUser;
        const RegistryKeyHandle other = machine_wide ? kHkeyCurrentUser : kHkeyLocalMachine;

        UnregisterFromUpdater(run.registry, run.messages, machine_wide, u"{B}");

        EXPECT_FALSE(run.registry.KeyExists(hive, Client(u"{B}")));
        EXPECT_EQ(run.registry.SubkeyNames(hive, kClients), (std::vector<std::u16string>{u"{A}", u"{C}"}));
        EXPECT_EQ(run.registry.SubkeyNames(other, kClients),
                  (std::vector<std::u16string>{u"{A}", u"{B}", u"{C}"}));
        EXPECT_TRUE(run.registry.KeyExists(kHkeyLocalMachine, Client(u"{B}"), FakeRegistry::View::k64));
        EXPECT_TRUE(run.registry.GetValue(hive, u"Software\\HalvernUpdate\\Update", u"uid").has_value());

        const auto& calls = run.registry.calls;
        ASSERT_EQ(calls.size(), 3u);
        EXPECT_EQ(calls[0].function, RegistryFunction::RegOpenKeyExA);
        EXPECT_EQ(calls[0].key, hive);
        EXPECT_EQ(calls[0].sub_key, u"Software\\HalvernUpdate\\Update\\Clients\\");
        EXPECT_EQ(calls[0].access, 0x20219u);
        EXPECT_EQ(calls[1].function, RegistryFunction::RegDeleteKeyW);
        EXPECT_EQ(calls[1].key, calls[0].opened);
        EXPECT_EQ(calls[1].sub_key, u"{B}");
        EXPECT_EQ(calls[2].function, RegistryFunction::RegCloseKey);
        EXPECT_EQ(calls[2].key, calls[0].opened);
        EXPECT_EQ(run.registry.OpenHandleCount(), 0u);
        EXPECT_TRUE(run.messages.requests.empty());
    }
}

TEST(UnregisterFromUpdater, FailsWithTheNotFoundStatusTheSecondTime) {
    Unregistration run;
    UnregisterFromUpdater(run.registry, run.messages, false, u"{A}");
    ExpectFailure(run.Failure(false, u"{A}"), kErrorFileNotFound, u"File not found.\r\n");
    EXPECT_EQ(run.registry.SubkeyNames(kHkeyCurrentUser, kClients),
              (std::vector<std::u16string>{u"{B}", u"{C}"}));
    EXPECT_EQ(run.registry.OpenHandleCount(), 0u);
}

TEST(UnregisterFromUpdater, LeavesARegistrationThatHasASubkeyAndClosesTheClientsKey) {
    Unregistration run;
    run.registry.SetString(kHkeyLocalMachine, Client(u"{C}") + u"\\Commands", u"x", u"y");
    const std::u16string before = run.registry.Dump();

    ExpectFailure(run.Failure(true, u"{C}"), kErrorAccessDenied, u"Access denied.\r\n");

    EXPECT_EQ(run.registry.Dump(), before);
    EXPECT_EQ(run.registry.OpenHandleCount(), 0u);
    ASSERT_EQ(run.registry.calls.size(), 3u);
    EXPECT_EQ(run.registry.calls[2].function, RegistryFunction::RegCloseKey);
    EXPECT_EQ(run.registry.calls[2].status, kErrorSuccess);
}

TEST(UnregisterFromUpdater, FailsWithTheOpenStatusWhenTheClientsKeyCannotBeOpened) {
    Unregistration missing;
    missing.registry.DeleteTree(kHkeyCurrentUser, kClients);
    ExpectFailure(missing.Failure(false, u"{A}"), kErrorFileNotFound, u"File not found.\r\n");
    EXPECT_TRUE(missing.registry.CallsOf(RegistryFunction::RegDeleteKeyW).empty());
    EXPECT_TRUE(missing.registry.CallsOf(RegistryFunction::RegCloseKey).empty());

    Unregistration denied;
    denied.registry.FailCalls(RegistryFunction::RegOpenKeyExA, kErrorAccessDenied);
    ExpectFailure(denied.Failure(true, u"{A}"), kErrorAccessDenied, u"Access denied.\r\n");
    EXPECT_TRUE(denied.registry.KeyExists(kHkeyLocalMachine, Client(u"{A}")));
}

TEST(UnregisterFromUpdater, CarriesAnEmptyMessageWhenTheSystemHasNoTextForTheStatus) {
    Unregistration run;
    run.registry.FailCalls(RegistryFunction::RegDeleteKeyW, 1234);
    ExpectFailure(run.Failure(false, u"{A}"), 1234, u"");
    EXPECT_EQ(run.messages.requests, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1234, 0x0409}}));
    EXPECT_EQ(run.registry.OpenHandleCount(), 0u);
}

TEST(UnregisterFromUpdater, RefusesAnAppIdThatIsNotOneKeyNameWithoutTouchingTheRegistry) {
    for (const std::u16string& app_id : {std::u16string(), std::u16string(u"{A}\\Commands"),
                                         std::u16string(u"\\"), std::u16string(u"{A}\0x", 5)}) {
        Unregistration run;
        // With no registrations left, an empty name would delete the Clients key itself.
        run.registry.DeleteTree(kHkeyCurrentUser, Client(u"{B}"));
        run.registry.DeleteTree(kHkeyCurrentUser, Client(u"{C}"));
        run.registry.SetString(kHkeyCurrentUser, Client(u"{A}") + u"\\Commands", u"x", u"y");
        const std::u16string before = run.registry.Dump();

        ExpectFailure(run.Failure(false, app_id), kErrorInvalidParameter, u"Invalid parameter.\r\n");
        EXPECT_TRUE(run.registry.calls.empty());
        EXPECT_EQ(run.registry.Dump(), before);
    }
}

}  // namespace
}  // namespace halvern
