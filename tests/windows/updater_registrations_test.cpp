// Discovery and unregistration against the real registry. They use the updater's real Clients path,
// so every test empties "Software\HalvernUpdate" in both hives and both views before and after.
#include <gtest/gtest.h>

#include "errors/msix_exception.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system_messages.h"
#include "registry/installation_discovery.h"
#include "registry/registry_values.h"
#include "registry/updater_unregistration.h"
#include "registry_planting.h"

namespace halvern::testing {
namespace {

const std::wstring kClients = L"Software\\HalvernUpdate\\Update\\Clients\\";

void Register(HKEY hive, const std::wstring& app_id, const wchar_t* name, const wchar_t* version,
              const wchar_t* family, REGSAM view) {
    const std::wstring path = kClients + app_id;
    CreateTestKey(hive, path, view);
    for (const auto& [value, text] :
         {std::pair{L"name", name}, {L"pv", version}, {L"PackageFamilyName", family}}) {
        if (text != nullptr) {
            PlantString(hive, path, value, std::wstring_view(text, wcslen(text) + 1), view);
        }
    }
}

class UpdaterRegistrations : public ::testing::Test {
  protected:
    MSIXException Failure(bool machine_wide, const std::u16string& app_id) {
        try {
            UnregisterFromUpdater(registry_, messages_, machine_wide, app_id);
        } catch (const MSIXException& error) {
            return error;
        }
        ADD_FAILURE() << "no MSIXException";
        return MSIXException(u"", MSIXErrorCode::URLEncodeFailure, 0);
    }

    RegistrySandbox sandbox_{L"Software\\HalvernUpdate"};
    Win32Registry registry_;
    Win32SystemMessages messages_;
};

TEST_F(UpdaterRegistrations, AreDiscoveredInTheHiveOfTheModeAndTheThirtyTwoBitViewOnly) {
    Register(HKEY_LOCAL_MACHINE, L"{A1}", L"Halvern", L"1.0", L"Halvern.Client_abc", kView32);
    Register(HKEY_LOCAL_MACHINE, L"{B1}", L"Legacy", L"0.9", nullptr, kView32);
    Register(HKEY_LOCAL_MACHINE, L"{C1}", L"", L"", L"Halvern.Beta_abc", kView32);
    Register(HKEY_LOCAL_MACHINE, L"{A0}", L"Decoy", L"6.4", L"Decoy_abc", kView64);
    Register(HKEY_CURRENT_USER, L"{U1}", L"User", L"2.0", L"Halvern.User_abc", kView32);
    PlantDword(HKEY_CURRENT_USER, kClients + L"{U1}", L"pv", 2, kView32);

    EXPECT_EQ(DiscoverInstallations(registry_, true),
              (std::vector<InstallationRecord>{{u"{A1}", u"Halvern", u"1.0", u"Halvern.Client_abc"},
                                               {u"{B1}", u"Legacy", u"0.9", u""},
                                               {u"{C1}", u"", u"", u"Halvern.Beta_abc"}}));
    EXPECT_EQ(DiscoverInstallations(registry_, false),
              (std::vector<InstallationRecord>{{u"{U1}", u"User", u"", u"Halvern.User_abc"}}));
}

TEST_F(UpdaterRegistrations, AreDeletedOneAtATimeLeavingSiblingsTheOtherHiveAndTheDecoy) {
    for (const auto& [hive, view] : {std::pair{HKEY_LOCAL_MACHINE, kView32},
                                     {HKEY_LOCAL_MACHINE, kView64},
                                     {HKEY_CURRENT_USER, kView32}}) {
        Register(hive, L"{A1}", L"Halvern", L"1.0", L"Halvern.Client_abc", view);
        Register(hive, L"{B1}", L"Legacy", L"0.9", nullptr, view);
    }

    UnregisterFromUpdater(registry_, messages_, true, u"{A1}");

    EXPECT_FALSE(TestKeyExists(HKEY_LOCAL_MACHINE, kClients + L"{A1}", kView32));
    EXPECT_TRUE(TestKeyExists(HKEY_LOCAL_MACHINE, kClients + L"{B1}", kView32));
    EXPECT_EQ(ReadTestString(HKEY_LOCAL_MACHINE, kClients + L"{A1}", L"name", kView64), L"Halvern");
    EXPECT_TRUE(TestKeyExists(HKEY_CURRENT_USER, kClients + L"{A1}", kView32));

    const MSIXException again = Failure(true, u"{A1}");
    EXPECT_EQ(again.code, MSIXErrorCode::FailedToUnregisterFromOmaha);
    EXPECT_EQ(again.system_error, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(again.message, SystemErrorText(messages_, ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(again.message.empty());

    UnregisterFromUpdater(registry_, messages_, false, u"{A1}");
    EXPECT_FALSE(TestKeyExists(HKEY_CURRENT_USER, kClients + L"{A1}", kView32));
    EXPECT_TRUE(TestKeyExists(HKEY_LOCAL_MACHINE, kClients + L"{A1}", kView64));
}

TEST_F(UpdaterRegistrations, WithASubkeyStayAndRaiseTheAccessDeniedStatus) {
    Register(HKEY_LOCAL_MACHINE, L"{A1}", L"Halvern", L"1.0", L"Halvern.Client_abc", kView32);
    PlantString(HKEY_LOCAL_MACHINE, kClients + L"{A1}\\Commands", L"x", std::wstring_view(L"y\0", 2),
                kView32);

    const MSIXException error = Failure(true, u"{A1}");
    EXPECT_EQ(error.code, MSIXErrorCode::FailedToUnregisterFromOmaha);
    EXPECT_EQ(error.system_error, ERROR_ACCESS_DENIED);
    EXPECT_EQ(error.message, SystemErrorText(messages_, ERROR_ACCESS_DENIED));
    EXPECT_TRUE(TestKeyExists(HKEY_LOCAL_MACHINE, kClients + L"{A1}", kView32));
    EXPECT_TRUE(TestKeyExists(HKEY_LOCAL_MACHINE, kClients + L"{A1}\\Commands", kView32));
}

TEST_F(UpdaterRegistrations, UserIdIsReadFromTheUpdaterKeyOfEachHive) {
    const std::wstring update = L"Software\\HalvernUpdate\\Update";
    PlantString(HKEY_CURRENT_USER, update, L"uid", std::wstring_view(L"{user}\0", 7), kView32);
    PlantString(HKEY_LOCAL_MACHINE, update, L"uid", std::wstring_view(L"{machine}\0", 10), kView32);
    PlantString(HKEY_LOCAL_MACHINE, update, L"uid", std::wstring_view(L"{decoy}\0", 8), kView64);
    EXPECT_EQ(ReadUpdaterUserId(registry_, false), u"{user}");
    EXPECT_EQ(ReadUpdaterUserId(registry_, true), u"{machine}");
}

}  // namespace
}  // namespace halvern::testing
