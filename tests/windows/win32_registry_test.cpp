// The registry binding and the value readers against the real registry, in a test-owned subtree.
#include "platform/win32/win32_registry.h"

#include <gtest/gtest.h>

#include "platform/win32/win32_system_messages.h"
#include "registry/registry_keys.h"
#include "registry/registry_values.h"
#include "registry_planting.h"

namespace halvern::testing {
namespace {

const std::wstring kPath = L"Software\\HalvernCleanupTests\\Readers";
const std::u16string kPath16 = u"Software\\HalvernCleanupTests\\Readers";

TEST(Win32Registry, PredefinedRootsAreTheWin32Handles) {
    EXPECT_EQ(reinterpret_cast<HKEY>(kHkeyCurrentUser), HKEY_CURRENT_USER);
    EXPECT_EQ(reinterpret_cast<HKEY>(kHkeyLocalMachine), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(kReadAccess32, static_cast<std::uint32_t>(KEY_READ | KEY_WOW64_32KEY));
}

class RegistryReaders : public ::testing::Test {
  protected:
    RegistrySandbox sandbox_{L"Software\\HalvernCleanupTests"};
    Win32Registry registry_;
};

TEST_F(RegistryReaders, ReadTheThirtyTwoBitViewOfTheMachineHiveAndNeverTheDecoyBeside) {
    PlantString(HKEY_LOCAL_MACHINE, kPath, L"name", std::wstring_view(L"Halvern 32\0", 11), kView32);
    PlantDword(HKEY_LOCAL_MACHINE, kPath, L"pv", 7, kView32);
    PlantString(HKEY_LOCAL_MACHINE, kPath, L"name", std::wstring_view(L"Decoy 64\0", 9), kView64);
    PlantString(HKEY_LOCAL_MACHINE, kPath + L"\\Only64", L"name", std::wstring_view(L"x\0", 2), kView64);

    EXPECT_EQ(ReadRegistryString(registry_, true, kPath16, u"name"), u"Halvern 32");
    EXPECT_EQ(ReadRegistryDword(registry_, true, kPath16, u"pv"), 7u);
    EXPECT_EQ(ReadRegistryString(registry_, true, kPath16, u"pv"), std::nullopt);
    EXPECT_EQ(ReadRegistryDword(registry_, true, kPath16, u"name"), std::nullopt);
    EXPECT_EQ(ReadRegistryString(registry_, true, kPath16 + u"\\Only64", u"name"), std::nullopt);
    EXPECT_EQ(ReadRegistryString(registry_, false, kPath16, u"name"), std::nullopt);
    EXPECT_EQ(ReadTestString(HKEY_LOCAL_MACHINE, kPath, L"name", kView64), L"Decoy 64");
}

TEST_F(RegistryReaders, ReadTheUserHiveOnlyForAPerUserRead) {
    PlantString(HKEY_CURRENT_USER, kPath, L"name", std::wstring_view(L"Halvern user\0", 13), kView64);
    EXPECT_EQ(ReadRegistryString(registry_, false, kPath16, u"name"), u"Halvern user");
    EXPECT_EQ(ReadRegistryString(registry_, true, kPath16, u"name"), std::nullopt);
}

TEST_F(RegistryReaders, StopAtAnEmbeddedNulAndTellEmptyFromAbsent) {
    PlantString(HKEY_CURRENT_USER, kPath, L"embedded", std::wstring_view(L"ab\0cd\0", 6), kView32);
    PlantString(HKEY_CURRENT_USER, kPath, L"empty", std::wstring_view(L"\0", 1), kView32);
    PlantString(HKEY_CURRENT_USER, kPath, L"unterminated", std::wstring_view(L"1.2.3", 5), kView32);
    PlantDword(HKEY_CURRENT_USER, kPath, L"dword", 0xFFFFFFFF, kView32);
    const std::uint32_t quad[2] = {1, 0};
    PlantValue(HKEY_CURRENT_USER, kPath, L"qword", REG_QWORD, quad, sizeof(quad), kView32);

    EXPECT_EQ(ReadRegistryString(registry_, false, kPath16, u"embedded"), u"ab");
    EXPECT_EQ(ReadRegistryString(registry_, false, kPath16, u"empty"), u"");
    EXPECT_EQ(ReadRegistryString(registry_, false, kPath16, u"unterminated"), u"1.2.3");
    EXPECT_EQ(ReadRegistryString(registry_, false, kPath16, u"missing"), std::nullopt);
    EXPECT_EQ(ReadRegistryString(registry_, false, kPath16 + u"\\Missing", u"empty"), std::nullopt);
    EXPECT_EQ(ReadRegistryDword(registry_, false, kPath16, u"dword"), 0xFFFFFFFFu);
    EXPECT_EQ(ReadRegistryDword(registry_, false, kPath16, u"qword"), std::nullopt);
    EXPECT_EQ(ReadRegistryDword(registry_, false, kPath16, u"missing"), std::nullopt);
}

// The statuses the fake registry reproduces, as the real registry gives them.
TEST_F(RegistryReaders, TheBindingPassesTheWin32StatusesThrough) {
    PlantString(HKEY_CURRENT_USER, kPath + L"\\Child", L"name", std::wstring_view(L"value\0", 6), kView32);
    PlantDword(HKEY_CURRENT_USER, kPath, L"dword", 1, kView32);
    RegistryKeyHandle raw = kNoRegistryKey;
    ASSERT_EQ(registry_.RegOpenKeyExW(kHkeyCurrentUser, kPath16.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &raw),
              kErrorSuccess);
    UniqueRegistryKey key(raw, RegistryKeyTraits{&registry_});

    std::uint32_t bytes = 0;
    EXPECT_EQ(registry_.RegGetValueW(key.get(), nullptr, u"dword", kRrfRtRegSz, nullptr, nullptr, &bytes),
              kErrorUnsupportedType);
    EXPECT_EQ(registry_.RegGetValueW(key.get(), nullptr, u"missing", kRrfRtRegSz, nullptr, nullptr, &bytes),
              kErrorFileNotFound);
    char16_t small[2];
    bytes = sizeof(small);
    EXPECT_EQ(registry_.RegGetValueW(key.get(), u"Child", u"name", kRrfRtRegSz, nullptr, small, &bytes),
              kErrorMoreData);
    EXPECT_EQ(bytes, 12u);

    std::uint32_t count = 0;
    EXPECT_EQ(registry_.RegQueryInfoKeyW(key.get(), &count), kErrorSuccess);
    EXPECT_EQ(count, 1u);
    char16_t name[256];
    std::uint32_t length = 256;
    EXPECT_EQ(registry_.RegEnumKeyExW(key.get(), 0, name, &length), kErrorSuccess);
    EXPECT_EQ(std::u16string(name, length), u"Child");
    length = 256;
    EXPECT_EQ(registry_.RegEnumKeyExW(key.get(), 1, name, &length), kErrorNoMoreItems);
    length = 3;
    EXPECT_EQ(registry_.RegEnumKeyExW(key.get(), 0, name, &length), kErrorMoreData);

    EXPECT_EQ(registry_.RegDeleteKeyW(key.get(), u"Missing"), kErrorFileNotFound);
    PlantString(HKEY_CURRENT_USER, kPath + L"\\Child\\Grandchild", L"x", std::wstring_view(L"\0", 1),
                kView32);
    EXPECT_EQ(registry_.RegDeleteKeyW(key.get(), u"Child"), kErrorAccessDenied);

    RegistryKeyHandle missing = 0x1234;
    EXPECT_EQ(registry_.RegOpenKeyExA(kHkeyCurrentUser, "Software\\HalvernCleanupTests\\Nowhere", 0,
                                      KEY_READ | KEY_WOW64_32KEY, &missing),
              kErrorFileNotFound);
    EXPECT_EQ(missing, kNoRegistryKey);
}

TEST(Win32SystemMessages, KeepsTheSystemTextWholeAndIsEmptyForANumberWithoutOne) {
    Win32SystemMessages messages;
    wchar_t* direct = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
        2, 0x0409, reinterpret_cast<LPWSTR>(&direct), 0, nullptr);
    ASSERT_NE(direct, nullptr);
    const std::u16string expected(reinterpret_cast<const char16_t*>(direct), length);
    ::LocalFree(direct);

    const std::u16string text = SystemErrorText(messages, 2);
    EXPECT_EQ(text, expected);
    EXPECT_FALSE(text.empty());
    EXPECT_TRUE(text.ends_with(u"\r\n"));
    // Bit 29 marks application-defined numbers, which the system never has text for.
    EXPECT_EQ(SystemErrorText(messages, 0x20000001), u"");
}

}  // namespace
}  // namespace halvern::testing
