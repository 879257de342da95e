#include "registry/installation_discovery.h"

#include <gtest/gtest.h>

#include "fakes/fake_registry.h"

namespace halvern {
namespace {

using testing::FakeRegistry;
using testing::RegistryCall;
using testing::RegistryFunction;

constexpr char16_t kClients[] = u"Software\\HalvernUpdate\\Update\\Clients";

std::u16string Client(std::u16string_view app_id) {
    return std::u16string(kClients) + u"\\" + std::u16string(app_id);
}

// Plants a registration; an absent value is not written.
void Register(FakeRegistry& registry, RegistryKeyHandle hive, std::u16string_view app_id,
              std::optional<std::u16string> name, std::optional<std::u16string> version,
              std::optional<std::u16string> family, FakeRegistry::View view = FakeRegistry::View::k32) {
    registry.CreateKey(hive, Client(app_id), view);
    if (name) {
        registry.SetString(hive, Client(app_id), u"name", *name, view);
    }
    if (version) {
        registry.SetString(hive, Client(app_id), u"pv", *version, view);
    }
    if (family) {
        registry.SetString(hive, Client(app_id), u"PackageFamilyName", *family, view);
    }
}

bool IsEnumeration(const RegistryCall& call, std::uint32_t index) {
    return call.function == RegistryFunction::RegEnumKeyExW && call.index == index;
}

void ExpectNoOpenHandles(const FakeRegistry& registry) {
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
    for (const auto& close : registry.CallsOf(RegistryFunction::RegCloseKey)) {
        EXPECT_EQ(close.status, kErrorSuccess);
    }
}

const InstallationRecord kC{u"{C}", u"Halvern Canary", u"3.0", u"Halvern.Canary_abc"};
const InstallationRecord kA{u"{A}", u"Halvern", u"", u"Halvern.Client_abc"};
const InstallationRecord kB{u"{B}", u"Legacy", u"0.9", u""};

void PlantThree(FakeRegistry& registry, RegistryKeyHandle hive) {
    Register(registry, hive, u"{C}", u"Halvern Canary", u"3.0", u"Halvern.Canary_abc");
    Register(registry, hive, u"{A}", u"Halvern", std::nullopt, u"Halvern.Client_abc");
    Register(registry, hive, u"{B}", u"Legacy", u"0.9", std::nullopt);
}

TEST(DiscoverInstallations, KeepsTheEnumerationOrderAndReadsMissingEmptyOrNonStringValuesAsEmpty) {
    FakeRegistry registry;
    PlantThree(registry, kHkeyCurrentUser);
    Register(registry, kHkeyCurrentUser, u"{D}", u"", std::nullopt, std::u16string(u"Fam\0x", 5));
    registry.SetDword(kHkeyCurrentUser, Client(u"{D}"), u"pv", 2);
    EXPECT_EQ(DiscoverInstallations(registry, false),
              (std::vector<InstallationRecord>{kC, kA, kB, {u"{D}", u"", u"", u"Fam"}}));
    ExpectNoOpenHandles(registry);
}

TEST(DiscoverInstallations, MakesExactlyTheCallsOfTheEnumerationAndThreeReadsPerRegistration) {
    FakeRegistry registry;
    PlantThree(registry, kHkeyLocalMachine);
    DiscoverInstallations(registry, true);

    const auto& calls = registry.calls;
    // Six for the enumeration; four per value read, three where the value is missing ({A}'s "pv",
    // {B}'s "PackageFamilyName").
    ASSERT_EQ(calls.size(), 6u + 9u * 4u - 2u);
    EXPECT_EQ(calls[0].function, RegistryFunction::RegOpenKeyExA);
    EXPECT_EQ(calls[0].key, kHkeyLocalMachine);
    EXPECT_EQ(calls[0].sub_key, u"Software\\HalvernUpdate\\Update\\Clients\\");
    EXPECT_EQ(calls[0].access, 0x20219u);
    EXPECT_EQ(calls[0].target, u"HKLM\\Software\\Wow6432Node\\HalvernUpdate\\Update\\Clients");
    const RegistryKeyHandle clients = calls[0].opened;
    EXPECT_EQ(calls[1].function, RegistryFunction::RegQueryInfoKeyW);
    EXPECT_EQ(calls[1].key, clients);
    for (std::uint32_t index = 0; index < 3; ++index) {
        EXPECT_TRUE(IsEnumeration(calls[2 + index], index));
        EXPECT_EQ(calls[2 + index].key, clients);
    }
    EXPECT_EQ(calls[5].function, RegistryFunction::RegCloseKey);
    EXPECT_EQ(calls[5].key, clients);

    // Each value read opens, sizes, reads and closes the registration's key on its own.
    std::size_t at = 6;
    for (const std::u16string app_id : {u"{C}", u"{A}", u"{B}"}) {
        for (const std::u16string value : {u"name", u"pv", u"PackageFamilyName"}) {
            SCOPED_TRACE(std::string(app_id.begin(), app_id.end()) + std::string(value.begin(), value.end()));
            EXPECT_EQ(calls[at].function, RegistryFunction::RegOpenKeyExW);
            EXPECT_EQ(calls[at].sub_key, u"Software\\HalvernUpdate\\Update\\Clients\\" + app_id);
            EXPECT_EQ(calls[at].access, 0x20219u);
            EXPECT_EQ(calls[at + 1].function, RegistryFunction::RegGetValueW);
            EXPECT_EQ(calls[at + 1].value_name, value);
            const std::size_t last =
                calls[at + 2].function == RegistryFunction::RegGetValueW ? at + 3 : at + 2;
            EXPECT_EQ(calls[last].function, RegistryFunction::RegCloseKey);
            EXPECT_EQ(calls[last].key, calls[at].opened);
            at = last + 1;
        }
    }
    EXPECT_EQ(at, calls.size());
    ExpectNoOpenHandles(registry);
}

TEST(DiscoverInstallations, FindsNothingWithoutAClientsKeyOrWithAnEmptyOne) {
    FakeRegistry registry;
    registry.CreateKey(kHkeyCurrentUser, u"Software\\HalvernUpdate\\Update");
    EXPECT_EQ(ListAppIds(registry, false).ok, false);
    EXPECT_TRUE(DiscoverInstallations(registry, false).empty());

    registry.CreateKey(kHkeyCurrentUser, kClients);
    registry.calls.clear();
    const AppIdList list = ListAppIds(registry, false);
    EXPECT_TRUE(list.ok);
    EXPECT_TRUE(list.app_ids.empty());
    EXPECT_TRUE(registry.CallsOf(RegistryFunction::RegEnumKeyExW).empty());
    EXPECT_TRUE(DiscoverInstallations(registry, false).empty());
    ExpectNoOpenHandles(registry);
}

TEST(DiscoverInstallations, FindsNothingWhenTheClientsKeyCannotBeOpenedOrCounted) {
    for (const RegistryFunction failing :
         {RegistryFunction::RegOpenKeyExA, RegistryFunction::RegQueryInfoKeyW}) {
        FakeRegistry registry;
        PlantThree(registry, kHkeyCurrentUser);
        registry.FailCalls(failing, kErrorAccessDenied);
        const AppIdList list = ListAppIds(registry, false);
        EXPECT_FALSE(list.ok);
        EXPECT_TRUE(list.app_ids.empty());
        EXPECT_TRUE(registry.CallsOf(RegistryFunction::RegEnumKeyExW).empty());
        EXPECT_TRUE(DiscoverInstallations(registry, false).empty());
        EXPECT_TRUE(registry.CallsOf(RegistryFunction::RegGetValueW).empty());
        ExpectNoOpenHandles(registry);
    }
}

TEST(DiscoverInstallations, SkipsANameWhoseEnumerationFailsButFindsNothingWhenTheLastOneFails) {
    struct Case {
        std::uint32_t index;
        LStatus status;
        std::vector<std::u16string> app_ids;
        bool ok;
        std::vector<InstallationRecord> found;
    };
    const Case cases[] = {
        {1, kErrorMoreData, {u"{C}", u"{B}"}, true, {kC, kB}},
        {1, kErrorAccessDenied, {u"{C}", u"{B}"}, true, {kC, kB}},
        {2, kErrorMoreData, {u"{C}", u"{A}"}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        FakeRegistry registry;
        PlantThree(registry, kHkeyCurrentUser);
        registry.FailWhen([&c](const RegistryCall& call) { return IsEnumeration(call, c.index); }, c.status);
        const AppIdList list = ListAppIds(registry, false);
        EXPECT_EQ(list.ok, c.ok);
        EXPECT_EQ(list.app_ids, c.app_ids);
        EXPECT_EQ(DiscoverInstallations(registry, false), c.found);
        EXPECT_EQ(registry.CallsOf(RegistryFunction::RegGetValueW).empty(), c.found.empty());
        ExpectNoOpenHandles(registry);
    }
}

TEST(DiscoverInstallations, FindsNothingWhenARegistrationIsDeletedDuringTheEnumeration) {
    FakeRegistry registry;
    PlantThree(registry, kHkeyCurrentUser);
    registry.before_call = [](FakeRegistry& tree, const RegistryCall& call) {
        if (IsEnumeration(call, 1)) {
            tree.DeleteTree(kHkeyCurrentUser, Client(u"{C}"));
        }
    };
    EXPECT_TRUE(DiscoverInstallations(registry, false).empty());
    const auto enumerations = registry.CallsOf(RegistryFunction::RegEnumKeyExW);
    ASSERT_EQ(enumerations.size(), 3u);
    EXPECT_EQ(enumerations[2].status, kErrorNoMoreItems);
    ExpectNoOpenHandles(registry);
}

TEST(DiscoverInstallations, GivesAnEmptyRecordForARegistrationDeletedBeforeItsValuesAreRead) {
    FakeRegistry registry;
    PlantThree(registry, kHkeyCurrentUser);
    registry.before_call = [](FakeRegistry& tree, const RegistryCall& call) {
        if (call.function == RegistryFunction::RegOpenKeyExW && call.sub_key.ends_with(u"{A}")) {
            tree.DeleteTree(kHkeyCurrentUser, Client(u"{A}"));
        }
    };
    EXPECT_EQ(DiscoverInstallations(registry, false),
              (std::vector<InstallationRecord>{kC, {u"{A}", u"", u"", u""}, kB}));
    ExpectNoOpenHandles(registry);
}

TEST(DiscoverInstallations, EnumeratesMoreRegistrationsThanTheNameBufferHasCharacters) {
    FakeRegistry registry;
    std::vector<std::u16string> expected;
    for (int index = 0; index < 300; ++index) {
        const std::string id = "{" + std::to_string(index) + "}";
        expected.emplace_back(id.begin(), id.end());
        registry.CreateKey(kHkeyCurrentUser, Client(expected.back()));
    }
    const AppIdList list = ListAppIds(registry, false);
    EXPECT_TRUE(list.ok);
    EXPECT_EQ(list.app_ids, expected);
    for (const auto& call : registry.CallsOf(RegistryFunction::RegEnumKeyExW)) {
        EXPECT_EQ(call.status, kErrorSuccess);
    }
}

TEST(DiscoverInstallations, ReadsNamesThatFillTheBufferAndSkipsOnesTooLongForIt) {
    // Windows caps key names at 255 characters; the fake does not, to drive ERROR_MORE_DATA.
    const std::u16string longest(255, u'x');
    const std::u16string too_long(256, u'y');
    FakeRegistry registry;
    registry.CreateKey(kHkeyCurrentUser, Client(longest));
    registry.CreateKey(kHkeyCurrentUser, Client(too_long));
    registry.CreateKey(kHkeyCurrentUser, Client(u"{Z}"));
    const AppIdList list = ListAppIds(registry, false);
    EXPECT_TRUE(list.ok);
    EXPECT_EQ(list.app_ids, (std::vector<std::u16string>{longest, u"{Z}"}));
    EXPECT_EQ(registry.CallsOf(RegistryFunction::RegEnumKeyExW)[1].status, kErrorMoreData);

    // The same name at the last index spoils the whole enumeration.
    registry.DeleteTree(kHkeyCurrentUser, Client(u"{Z}"));
    EXPECT_FALSE(ListAppIds(registry, false).ok);
    EXPECT_TRUE(DiscoverInstallations(registry, false).empty());
}

TEST(DiscoverInstallations, ReadsOnlyTheHiveOfTheModeAndOnlyItsThirtyTwoBitView) {
    FakeRegistry registry;
    Register(registry, kHkeyCurrentUser, u"{U}", u"User", u"1", u"User_abc");
    Register(registry, kHkeyLocalMachine, u"{M}", u"Machine", u"2", u"Machine_abc");
    Register(registry, kHkeyLocalMachine, u"{D}", u"Decoy", u"3", u"Decoy_abc", FakeRegistry::View::k64);
    const std::u16string before = registry.Dump();

    for (const bool machine_wide : {false, true}) {
        SCOPED_TRACE(machine_wide);
        registry.calls.clear();
        const InstallationRecord expected = machine_wide
                                                ? InstallationRecord{u"{M}", u"Machine", u"2", u"Machine_abc"}
                                                : InstallationRecord{u"{U}", u"User", u"1", u"User_abc"};
        EXPECT_EQ(DiscoverInstallations(registry, machine_wide), std::vector<InstallationRecord>{expected});
        for (const auto& call : registry.calls) {
            EXPECT_EQ(call.hive, machine_wide ? kHkeyLocalMachine : kHkeyCurrentUser);
            EXPECT_EQ(call.target.find(u"Decoy"), std::u16string::npos);
        }
    }
    EXPECT_EQ(registry.Dump(), before);
    ExpectNoOpenHandles(registry);
}

}  // namespace
}  // namespace halvern
