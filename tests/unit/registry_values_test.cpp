#include "registry/registry_values.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fakes/fake_registry.h"
#include "fakes/fake_system_messages.h"

namespace halvern {
namespace {

using testing::FakeRegistry;
using testing::FakeRegistryValue;
using testing::FakeSystemMessages;
using testing::RegistryCall;
using testing::RegistryFunction;

constexpr char16_t kKey[] = u"Software\\HalvernTest\\Values";

FakeRegistryValue Raw(std::uint32_t type, std::u16string_view text) {
    FakeRegistryValue value{type, std::vector<std::uint8_t>(text.size() * sizeof(char16_t))};
    std::memcpy(value.bytes.data(), text.data(), value.bytes.size());
    return value;
}

FakeRegistryValue Bytes(std::uint32_t type, std::vector<std::uint8_t> bytes) {
    return {type, std::move(bytes)};
}

// Every key a read opened was closed once, on every path.
void ExpectNoOpenHandles(const FakeRegistry& registry) {
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
    for (const auto& close : registry.CallsOf(RegistryFunction::RegCloseKey)) {
        EXPECT_EQ(close.status, kErrorSuccess);
    }
}

struct StringCase {
    const char* what;
    std::optional<FakeRegistryValue> stored;
    std::optional<std::u16string> expected;
};

TEST(ReadRegistryString, TellsAbsentFromEmptyAndStopsAtTheFirstNul) {
    const StringCase cases[] = {
        {"plain text", Raw(kRegSz, std::u16string_view(u"Halvern\0", 8)), u"Halvern"},
        {"empty value", Raw(kRegSz, std::u16string_view(u"\0", 1)), u""},
        {"zero bytes", Bytes(kRegSz, {}), u""},
        {"embedded NUL", Raw(kRegSz, std::u16string_view(u"ab\0cd\0", 6)), u"ab"},
        {"leading NUL", Raw(kRegSz, std::u16string_view(u"\0cd\0", 4)), u""},
        {"stored without its NUL", Raw(kRegSz, u"1.2.3"), u"1.2.3"},
        {"odd byte count", Bytes(kRegSz, {'A', 0, 'B'}), u"AB"},
        {"non-ASCII", Raw(kRegSz, std::u16string_view(u"Caf\u00e9 \U0001F600\0", 8)),
         u"Caf\u00e9 \U0001F600"},
        {"REG_DWORD", Bytes(kRegDword, {1, 0, 0, 0}), std::nullopt},
        {"REG_EXPAND_SZ", Raw(kRegExpandSz, std::u16string_view(u"%TEMP%\0", 7)), std::nullopt},
        {"REG_MULTI_SZ", Raw(kRegMultiSz, std::u16string_view(u"a\0b\0\0", 5)), std::nullopt},
        {"REG_BINARY", Bytes(kRegBinary, {'a', 0, 0, 0}), std::nullopt},
        {"missing value", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRegistry registry;
        registry.CreateKey(kHkeyCurrentUser, kKey);
        if (c.stored) {
            registry.SetValue(kHkeyCurrentUser, kKey, u"name", *c.stored);
        }
        EXPECT_EQ(ReadRegistryString(registry, false, kKey, u"name"), c.expected);
        ExpectNoOpenHandles(registry);
    }
}

TEST(ReadRegistryString, AsksForTheSizeThenOffersExactlyThatManyBytes) {
    FakeRegistry registry;
    registry.SetString(kHkeyLocalMachine, kKey, u"pv", u"10.2");
    EXPECT_EQ(ReadRegistryString(registry, true, kKey, u"pv"), u"10.2");

    ASSERT_EQ(registry.calls.size(), 4u);
    const RegistryCall& open = registry.calls[0];
    EXPECT_EQ(open.function, RegistryFunction::RegOpenKeyExW);
    EXPECT_EQ(open.key, kHkeyLocalMachine);
    EXPECT_EQ(open.sub_key, kKey);
    EXPECT_EQ(open.access, 0x20219u);
    for (const RegistryCall* read : {&registry.calls[1], &registry.calls[2]}) {
        EXPECT_EQ(read->function, RegistryFunction::RegGetValueW);
        EXPECT_EQ(read->key, open.opened);
        EXPECT_EQ(read->sub_key, u"");
        EXPECT_EQ(read->value_name, u"pv");
        EXPECT_EQ(read->flags, kRrfRtRegSz);
    }
    EXPECT_FALSE(registry.calls[1].data_offered);
    EXPECT_EQ(registry.calls[1].data_bytes, 0u);
    EXPECT_TRUE(registry.calls[2].data_offered);
    EXPECT_EQ(registry.calls[2].data_bytes, 10u);  // "10.2" and its NUL
    EXPECT_EQ(registry.calls[3].function, RegistryFunction::RegCloseKey);
    EXPECT_EQ(registry.calls[3].key, open.opened);
}

TEST(ReadRegistryString, IsAbsentWhenAnyStepFailsAndClosesTheKeyItOpened) {
    struct FailureCase {
        const char* what;
        std::function<bool(const RegistryCall&)> fails;
        LStatus status;
        std::size_t calls;
    };
    const FailureCase cases[] = {
        {"open denied", [](const RegistryCall& c) { return c.function == RegistryFunction::RegOpenKeyExW; },
         kErrorAccessDenied, 1},
        {"size query fails",
         [](const RegistryCall& c) {
             return c.function == RegistryFunction::RegGetValueW && !c.data_offered;
         },
         kErrorAccessDenied, 3},
        {"data read fails",
         [](const RegistryCall& c) { return c.function == RegistryFunction::RegGetValueW && c.data_offered; },
         kErrorMoreData, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRegistry registry;
        registry.SetString(kHkeyCurrentUser, kKey, u"name", u"Halvern");
        registry.FailWhen(c.fails, c.status);
        EXPECT_EQ(ReadRegistryString(registry, false, kKey, u"name"), std::nullopt);
        EXPECT_EQ(registry.calls.size(), c.calls);
        ExpectNoOpenHandles(registry);
    }
}

TEST(ReadRegistryString, IsAbsentWhenTheValueGrowsBetweenTheSizeQueryAndTheRead) {
    FakeRegistry registry;
    registry.SetString(kHkeyCurrentUser, kKey, u"name", u"short");
    registry.before_call = [](FakeRegistry& tree, const RegistryCall& call) {
        if (call.function == RegistryFunction::RegGetValueW && call.data_offered) {
            tree.SetString(kHkeyCurrentUser, kKey, u"name", u"a much longer name");
        }
    };
    EXPECT_EQ(ReadRegistryString(registry, false, kKey, u"name"), std::nullopt);
    EXPECT_EQ(registry.calls[2].status, kErrorMoreData);
    ExpectNoOpenHandles(registry);
}

TEST(ReadRegistryString, ReadsOnlyTheSelectedHiveInThe32BitView) {
    FakeRegistry registry;
    registry.SetString(kHkeyCurrentUser, kKey, u"name", u"user");
    registry.SetString(kHkeyLocalMachine, kKey, u"name", u"machine 32");
    registry.SetString(kHkeyLocalMachine, kKey, u"name", u"machine 64", FakeRegistry::View::k64);

    for (const bool machine_wide : {false, true}) {
        SCOPED_TRACE(machine_wide);
        registry.calls.clear();
        EXPECT_EQ(ReadRegistryString(registry, machine_wide, kKey, u"name"),
                  machine_wide ? u"machine 32" : u"user");
        for (const auto& call : registry.calls) {
            EXPECT_EQ(call.hive, machine_wide ? kHkeyLocalMachine : kHkeyCurrentUser);
        }
        EXPECT_EQ(registry.calls[0].target, machine_wide ? u"HKLM\\Software\\Wow6432Node\\HalvernTest\\Values"
                                                         : u"HKCU\\Software\\HalvernTest\\Values");
    }
}

TEST(ReadRegistryDword, ReadsADwordOrAFourByteBinaryAndNothingElse) {
    struct DwordCase {
        const char* what;
        std::optional<FakeRegistryValue> stored;
        std::optional<std::uint32_t> expected;
    };
    const DwordCase cases[] = {
        {"REG_DWORD", Bytes(kRegDword, {0x7B, 0x0E, 0, 0}), 3707u},
        {"REG_DWORD zero", Bytes(kRegDword, {0, 0, 0, 0}), 0u},
        {"REG_DWORD all ones", Bytes(kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}), 0xFFFFFFFFu},
        {"four-byte REG_BINARY", Bytes(kRegBinary, {1, 2, 0, 0}), 0x0201u},
        {"three-byte REG_BINARY", Bytes(kRegBinary, {1, 2, 3}), std::nullopt},
        {"REG_SZ of digits", Raw(kRegSz, std::u16string_view(u"3707\0", 5)), std::nullopt},
        {"REG_QWORD", Bytes(kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}), std::nullopt},
        {"missing value", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRegistry registry;
        registry.CreateKey(kHkeyLocalMachine, kKey);
        if (c.stored) {
            registry.SetValue(kHkeyLocalMachine, kKey, u"UBR", *c.stored);
        }
        EXPECT_EQ(ReadRegistryDword(registry, true, kKey, u"UBR"), c.expected);
        const auto reads = registry.CallsOf(RegistryFunction::RegGetValueW);
        ASSERT_EQ(reads.size(), 1u);
        EXPECT_EQ(reads[0].flags, 0x18u);
        EXPECT_EQ(reads[0].data_bytes, 4u);
        EXPECT_EQ(registry.calls[0].access, 0x20219u);
        ExpectNoOpenHandles(registry);
    }
}

TEST(ReadRegistryDword, IsAbsentWhenTheKeyCannotBeOpenedOrTheReadFails) {
    FakeRegistry registry;
    registry.SetDword(kHkeyLocalMachine, kKey, u"UBR", 5);
    EXPECT_EQ(ReadRegistryDword(registry, true, u"Software\\Elsewhere", u"UBR"), std::nullopt);
    EXPECT_EQ(ReadRegistryDword(registry, false, kKey, u"UBR"), std::nullopt);
    EXPECT_EQ(ReadRegistryDword(registry, true, kKey, u"UBR"), 5u);
    registry.FailCalls(RegistryFunction::RegGetValueW, kErrorAccessDenied);
    EXPECT_EQ(ReadRegistryDword(registry, true, kKey, u"UBR"), std::nullopt);
    ExpectNoOpenHandles(registry);
}

TEST(ReadUpdaterUserId, ReadsUidUnderTheUpdaterKeyOfTheSelectedHive) {
    FakeRegistry registry;
    registry.SetString(kHkeyCurrentUser, u"Software\\HalvernUpdate\\Update", u"uid", u"{user-uid}");
    registry.SetString(kHkeyLocalMachine, u"Software\\HalvernUpdate\\Update", u"uid", u"{machine-uid}");
    registry.SetString(kHkeyLocalMachine, u"Software\\HalvernUpdate\\Update", u"uid", u"{64-bit decoy}",
                       FakeRegistry::View::k64);

    EXPECT_EQ(ReadUpdaterUserId(registry, false), u"{user-uid}");
    EXPECT_EQ(ReadUpdaterUserId(registry, true), u"{machine-uid}");
    EXPECT_EQ(registry.calls[0].sub_key, u"Software\\HalvernUpdate\\Update\\");

    registry.DeleteTree(kHkeyLocalMachine, u"Software\\HalvernUpdate");
    EXPECT_EQ(ReadUpdaterUserId(registry, true), std::nullopt);
    ExpectNoOpenHandles(registry);
}

TEST(SystemErrorText, KeepsTheSystemTextWholeInUsEnglishAndIsEmptyWithoutOne) {
    FakeSystemMessages messages;
    messages.texts[{2, 0x0409}] = u"The system cannot find the file specified.\r\n";
    messages.texts[{5, 0x0407}] = u"Zugriff verweigert\r\n";

    EXPECT_EQ(SystemErrorText(messages, 2), u"The system cannot find the file specified.\r\n");
    EXPECT_EQ(SystemErrorText(messages, 5), u"");
    EXPECT_EQ(SystemErrorText(messages, 0xFFFFFFFF), u"");
    EXPECT_EQ(messages.requests, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                                     {2, 0x0409}, {5, 0x0409}, {0xFFFFFFFF, 0x0409}}));
}

}  // namespace
}  // namespace halvern
