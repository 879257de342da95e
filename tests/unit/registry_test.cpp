// Single registry values and the unregistration's refusals: the cases no scenario reaches.
#include <gtest/gtest.h>

#include "common/system_error_text.h"
#include "errors/msix_exception.h"
#include "fakes/fake_platform.h"
#include "registry/registry_values.h"
#include "registry/updater_unregistration.h"

namespace halvern {
namespace {

using testing::FakePlatform;
using testing::FakeValue;

const std::u16string kKey = u"Software\\Halvern\\Values";

FakeValue Raw(std::uint32_t type, std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    for (const char16_t unit : text) {
        bytes.insert(bytes.end(),
                     {static_cast<std::uint8_t>(unit & 0xFF), static_cast<std::uint8_t>(unit >> 8)});
    }
    return {type, bytes};
}

TEST(ReadRegistryString, TellsAbsentFromEmptyStopsAtTheFirstNulAndReadsOnlyText) {
    const std::pair<FakeValue, std::optional<std::u16string>> cases[] = {
        {Raw(kRegSz, std::u16string_view(u"\0", 1)), u""},
        {{kRegSz, {}}, u""},
        {Raw(kRegSz, std::u16string_view(u"ab\0cd\0", 6)), u"ab"},
        {Raw(kRegSz, u"1.2.3"), u"1.2.3"},  // stored without its NUL
        {{kRegSz, {'A', 0, 'B'}}, u"AB"},   // an odd byte count
        {Raw(kRegSz, u"Caf\u00e9 \U0001F600"), u"Caf\u00e9 \U0001F600"},
        {{kRegDword, {1, 0, 0, 0}}, std::nullopt},
        {Raw(kRegExpandSz, u"%TEMP%"), std::nullopt},
        {{kRegBinary, {'a', 0, 0, 0}}, std::nullopt},
    };
    for (const auto& [stored, expected] : cases) {
        FakePlatform machine;
        machine.SetValue(testing::ThirtyTwoBitPath(u"HKLM\\" + kKey), u"name", stored);
        EXPECT_EQ(ReadRegistryString(machine, Scope::Machine, kKey, u"name"), expected);
        EXPECT_EQ(ReadRegistryString(machine, Scope::Machine, kKey, u"other"), std::nullopt);
        EXPECT_EQ(ReadRegistryString(machine, Scope::User, kKey, u"name"), std::nullopt) << "the other hive";
        EXPECT_EQ(machine.open_keys(), 0u);
    }
}

TEST(ReadRegistryString, IsAbsentWhenAnyStepFailsOrTheValueGrowsMeanwhile) {
    for (const auto& [call, nth, status] :
         {std::tuple{"RegOpenKeyExW", 1, 5}, std::tuple{"RegGetValueW", 1, 5},
          std::tuple{"RegGetValueW", 2, 234}}) {
        FakePlatform machine;
        machine.SetString(u"HKCU\\" + kKey, u"name", u"Halvern");
        machine.Fail(call, status, nth);
        EXPECT_EQ(ReadRegistryString(machine, Scope::User, kKey, u"name"), std::nullopt) << call << nth;
        EXPECT_EQ(machine.open_keys(), 0u);
    }
}

TEST(ReadRegistryDword, TakesADwordOrFourBinaryBytes) {
    const std::pair<FakeValue, std::optional<std::uint32_t>> cases[] = {
        {{kRegBinary, {1, 0, 0, 0x80}}, 0x80000001u},
        {{kRegBinary, {1, 0, 0}}, std::nullopt},
        {Raw(kRegSz, u"3803"), std::nullopt},
    };
    for (const auto& [stored, expected] : cases) {
        FakePlatform machine;
        machine.SetValue(u"HKCU\\" + kKey, u"UBR", stored);
        EXPECT_EQ(ReadRegistryDword(machine, Scope::User, kKey, u"UBR"), expected);
        EXPECT_EQ(machine.open_keys(), 0u);
    }
}

TEST(SystemErrorText, IsEmptyWhenTheSystemHasNone) {
    FakePlatform machine;
    machine.Fail("FormatMessageW", 317);
    EXPECT_EQ(SystemErrorText(machine, 5), u"");
}

// RegDeleteKeyW takes a path: anything but one key name would delete the wrong key.
TEST(UnregisterFromUpdater, RefusesAnAppIdThatIsNotOneKeyName) {
    for (const std::u16string& app_id :
         {std::u16string(), std::u16string(u"{A}\\Sub"), std::u16string(u"{A}\0x", 5)}) {
        FakePlatform machine;
        machine.CreateKey(u"HKCU\\Software\\HalvernUpdate\\Update\\Clients\\{A}\\Sub");
        const auto keys = machine.keys;
        try {
            UnregisterFromUpdater(machine, machine, Scope::User, app_id);
            ADD_FAILURE() << "no failure";
        } catch (const MSIXException& error) {
            EXPECT_EQ(error.code, MSIXErrorCode::FailedToUnregisterFromOmaha);
            EXPECT_EQ(error.system_error, 87);
        }
        EXPECT_EQ(machine.keys, keys);
    }
}

}  // namespace
}  // namespace halvern
