// The package manager bridge under Wine, against the test package manager component: each
// operation, each conversion of a failure, the wait in both completion modes, the factory cache.
#include "platform/win32/winrt_package_manager.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <typeinfo>

#include "child_process.h"
#include "errors/msix_exception.h"
#include "platform/win32/win32_system_messages.h"
#include "test_package_manager_harness.h"

namespace halvern {
namespace {

using testing::TestPackageManager;

std::string Narrow(const std::u16string& text) {
    std::string result;
    for (char16_t unit : text) {
        result += unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
    }
    return result;
}

}  // namespace

void PrintTo(const PackageInfo& info, std::ostream* out) {
    *out << "{" << Narrow(info.package_name) << ", " << Narrow(info.display_name) << ", "
         << Narrow(info.full_name) << ", " << Narrow(info.family_name) << ", " << Narrow(info.full_version)
         << ", " << Narrow(info.version) << ", " << Narrow(info.installed_path) << ", "
         << info.has_external_location << "}";
}

namespace {

constexpr char kFamily[] = "Halvern.Client_abc";
constexpr char kFirst[] = "Halvern.Client_1.2.3.4_x64__abc";
constexpr char kSecond[] = "Halvern.Client_0.10.0.65535_x86__abc";
constexpr char kThird[] = "Halvern.Client_2.0.0.0_arm64__abc";

// Three packages of one family (the current user has the first and third), one of another family.
const std::string kThreePackages = std::string() + "package " + kFirst +
                                   "\ndisplay Halvern\nversion 1.2.3.4\npath C:\\Apps\\One\n"
                                   "current_user\nuser S-1-5-21-1 1\nuser S-1-5-21-2 2\n"
                                   "package " +
                                   kSecond +
                                   "\ndisplay Halvern (x86)\nversion 0.10.0.65535\n"
                                   "external D:\\External\n"
                                   "package " +
                                   kThird +
                                   "\nname Halvern.Client\ndisplay Halvern Arm\n"
                                   "version 2.0.0.0\ncurrent_user\n"
                                   "package Other.App_1.0.0.0_x64__xyz\ncurrent_user\n";

PackageInfo Expected(const char* full_name) {
    const std::u16string full(full_name, full_name + std::char_traits<char>::length(full_name));
    if (full == u"Halvern.Client_1.2.3.4_x64__abc") {
        return {u"Halvern.Client", u"Halvern",       full, u"Halvern.Client_abc", u"1.2.3.4",
                u"1.2.3",          u"C:\\Apps\\One", false};
    }
    if (full == u"Halvern.Client_0.10.0.65535_x86__abc") {
        return {u"Halvern.Client", u"Halvern (x86)", full, u"Halvern.Client_abc",
                u"0.10.0.65535",   u"0.10.0",        u"",  true};
    }
    return {u"Halvern.Client", u"Halvern Arm", full, u"Halvern.Client_abc", u"2.0.0.0", u"2.0.0", u"", false};
}

// The message the bridge must attach to an HRESULT: Wine has no restricted error information, so
// the system's text in the neutral default language, up to its first NUL.
std::u16string SystemText(std::int32_t code) {
    Win32SystemMessages system;
    std::u16string text = system.FormatMessageW(static_cast<std::uint32_t>(code), 0x0400).value_or(u"");
    return text.substr(0, text.find(u'\0'));
}

// How many handles the process holds. Wine's GetProcessHandleCount always reports 0; there the
// lowest free slot of the handle table stands in: every leaked handle pushes it one slot further.
std::uintptr_t HandlesInUse() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) {
        return count;
    }
    const UniqueKernelHandle probe(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return reinterpret_cast<std::uintptr_t>(probe.get()) / sizeof(std::uint32_t);
}

std::string Hex(std::int32_t code) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(code));
    return text;
}

class BridgeTest : public ::testing::Test {
  protected:
    MSIXException CatchMSIX(const std::function<void()>& operation) {
        try {
            operation();
        } catch (const MSIXException& error) {
            return error;
        } catch (...) {
            ADD_FAILURE() << "raised something other than MSIXException";
            return MSIXException(u"", MSIXErrorCode{0}, 0);
        }
        ADD_FAILURE() << "raised nothing";
        return MSIXException(u"", MSIXErrorCode{0}, 0);
    }

    void ExpectAllReleased() {
        EXPECT_EQ(TestPackageManager::LiveObjects(), 0) << "a platform reference leaked";
    }

    TestPackageManager component;
    Win32SystemMessages system;
    WinRtPackageManager bridge{system};
};

// --- searches -----------------------------------------------------------------------------------

TEST_F(BridgeTest, FindsTheFamilysPackagesForAllUsersInTheIteratorsOrder) {
    struct Case {
        std::string scenario;
        std::vector<const char*> expected;
    };
    const Case cases[] = {
        {"package Other.App_1.0.0.0_x64__xyz\n", {}},
        {"package " + std::string(kSecond) +
             "\ndisplay Halvern (x86)\nversion 0.10.0.65535\nexternal D:\\External\n",
         {kSecond}},
        {kThreePackages, {kFirst, kSecond, kThird}},
    };
    for (const Case& c : cases) {
        component.Scenario(c.scenario);
        std::vector<PackageInfo> expected;
        for (const char* name : c.expected) {
            expected.push_back(Expected(name));
        }
        EXPECT_EQ(bridge.FindPackagesForAllUsers(u"Halvern.Client_abc"), expected);
        ExpectAllReleased();
    }
}

TEST_F(BridgeTest, SnapshotsEachPackageWithThePlatformCallsInOrder) {
    component.Scenario(std::string("package ") + kFirst + "\n");
    bridge.FindPackagesForAllUsers(u"Halvern.Client_abc");
    const std::string quoted = std::string(" \"") + kFirst + "\"";
    EXPECT_EQ(component.Calls(),
              (std::vector<std::string>{
                  "DllGetActivationFactory \"Windows.Management.Deployment.PackageManager\"",
                  "ActivateInstance",
                  "FindPackagesByPackageFamilyName \"Halvern.Client_abc\"",
                  "First",
                  "get_HasCurrent",
                  "get_Current",
                  "get_Id" + quoted,
                  "get_Name" + quoted,
                  "QueryInterface IPackage2" + quoted,
                  "get_DisplayName" + quoted,
                  "get_FullName" + quoted,
                  "get_FamilyName" + quoted,
                  "get_Version" + quoted,
                  "QueryInterface IPackage8" + quoted,
                  "get_InstalledPath" + quoted,
                  "QueryInterface IPackage8" + quoted,
                  "get_EffectiveExternalPath" + quoted,
                  "MoveNext",
              }));
}

TEST_F(BridgeTest, FindsTheCurrentUsersPackagesWithAnEmptyUserSecurityId) {
    component.Scenario(kThreePackages);
    EXPECT_EQ(bridge.FindPackagesForCurrentUser(u"Halvern.Client_abc"),
              (std::vector<PackageInfo>{Expected(kFirst), Expected(kThird)}));
    EXPECT_EQ(component.CallsStartingWith("FindPackages"),
              std::vector<std::string>{
                  "FindPackagesByUserSecurityIdPackageFamilyName \"\" \"Halvern.Client_abc\""});
    ExpectAllReleased();
}

TEST_F(BridgeTest, KeepsPackageTextsAsReturnedAndAnyExternalPathCounts) {
    component.Scenario(std::string("package ") + kFirst +
                       "\ndisplay Caf\xc3\xa9 \\0hidden\nexternal \\0\npath C:\\P\\0Q\nversion 0.0.0.0\n");
    const auto found = bridge.FindPackagesForAllUsers(u"Halvern.Client_abc");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].display_name, std::u16string(u"Caf\u00e9 \0hidden", 12));
    EXPECT_EQ(found[0].installed_path, std::u16string(u"C:\\P\0Q", 6));
    EXPECT_TRUE(found[0].has_external_location);  // a path of one NUL is not empty
    EXPECT_EQ(found[0].version, u"0.0.0");
    EXPECT_EQ(found[0].full_version, u"0.0.0.0");
}

TEST_F(BridgeTest, ConvertsEverySearchFailureTo2019AndDiscardsThePartialList) {
    struct Case {
        const char* call;
        std::int32_t code;
        int nth;
    };
    const Case cases[] = {
        {"DllGetActivationFactory", static_cast<std::int32_t>(0x80040154), 0},
        {"ActivateInstance", static_cast<std::int32_t>(0x80070005), 0},
        {"FindPackagesByPackageFamilyName", static_cast<std::int32_t>(0x80073CF1), 0},
        {"FindPackagesByUserSecurityIdPackageFamilyName", static_cast<std::int32_t>(0x80073CF1), 0},
        {"First", static_cast<std::int32_t>(0x80004005), 0},
        {"get_HasCurrent", static_cast<std::int32_t>(0x8000000C), 0},
        {"get_Current", static_cast<std::int32_t>(0x8000000B), 3},
        {"MoveNext", static_cast<std::int32_t>(0x8000000C), 2},
        {"get_Id", static_cast<std::int32_t>(0x80004005), 3},
        {"get_Name", static_cast<std::int32_t>(0x80070057), 1},
        {"get_DisplayName", static_cast<std::int32_t>(0x80004001), 2},
        {"get_FullName", static_cast<std::int32_t>(0x80070005), 3},
        {"get_FamilyName", static_cast<std::int32_t>(0x8001010E), 3},
        {"get_Version", static_cast<std::int32_t>(0x80073CF9), 3},
        {"get_InstalledPath", static_cast<std::int32_t>(0x800704C7), 3},
        {"get_EffectiveExternalPath", static_cast<std::int32_t>(0x80040111), 3},
    };
    for (const Case& c : cases) {
        for (const bool current_user : {false, true}) {
            SCOPED_TRACE(std::string(c.call) + (current_user ? " (current user)" : " (all users)"));
            // A fresh bridge, so that a failing activation is not hidden behind a cached factory.
            WinRtPackageManager fresh(system);
            component.Scenario(kThreePackages + "package " + kFirst +
                               "X\nfamily Halvern.Client_abc\ncurrent_user\n" + "fail " + c.call + " " +
                               Hex(c.code) + " " + std::to_string(c.nth) + "\n");
            // Each search method fails only the search that calls it.
            const bool applies =
                std::string(c.call).find("FindPackages") != 0 ||
                (std::string(c.call) == "FindPackagesByUserSecurityIdPackageFamilyName") == current_user;
            if (!applies) {
                continue;
            }
            const MSIXException error = CatchMSIX([&] {
                current_user ? fresh.FindPackagesForCurrentUser(u"Halvern.Client_abc")
                             : fresh.FindPackagesForAllUsers(u"Halvern.Client_abc");
            });
            EXPECT_EQ(error.code, MSIXErrorCode::FindPackagesFailure);
            EXPECT_EQ(error.system_error, c.code);
            EXPECT_EQ(error.message, SystemText(c.code));
            ExpectAllReleased();
        }
    }
}

TEST_F(BridgeTest, ListsAPackagesUsersWithTheirInstallStates) {
    component.Scenario(kThreePackages);
    const auto users = bridge.FindPackageUsers(u"Halvern.Client_1.2.3.4_x64__abc");
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0]->InstallState(), Staged);
    EXPECT_EQ(users[1]->InstallState(), Installed);
    EXPECT_EQ(component.CallsStartingWith("FindUsers"),
              std::vector<std::string>{"FindUsers \"Halvern.Client_1.2.3.4_x64__abc\""});
    EXPECT_TRUE(bridge.FindPackageUsers(u"Halvern.Client_2.0.0.0_arm64__abc").empty());
}

TEST_F(BridgeTest, ConvertsUserSearchFailuresTo2020) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"ActivateInstance", static_cast<std::int32_t>(0x80070005)},
        {"FindUsers", static_cast<std::int32_t>(0x80073CF1)},
        {"First", static_cast<std::int32_t>(0x80004005)},
        {"get_HasCurrent", static_cast<std::int32_t>(0x8000000C)},
        {"get_Current", static_cast<std::int32_t>(0x8000000B)},
        {"MoveNext", static_cast<std::int32_t>(0x8000000D)},
    };
    for (const auto& [call, code] : cases) {
        SCOPED_TRACE(call);
        component.Scenario(kThreePackages + "fail " + call + " " + Hex(code) + "\n");
        const MSIXException error =
            CatchMSIX([&] { bridge.FindPackageUsers(u"Halvern.Client_1.2.3.4_x64__abc"); });
        EXPECT_EQ(error.code, MSIXErrorCode::FindUsersFailure);
        EXPECT_EQ(error.system_error, code);
        EXPECT_EQ(error.message, SystemText(code));
        ExpectAllReleased();
    }
}

TEST_F(BridgeTest, RaisesAFailingInstallStateAsHresultError) {
    component.Scenario(kThreePackages + "fail get_InstallState 0x80070005 2\n");
    const auto users = bridge.FindPackageUsers(u"Halvern.Client_1.2.3.4_x64__abc");
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0]->InstallState(), Staged);
    EXPECT_THROW(users[1]->InstallState(), winrt::hresult_access_denied);
}

// --- removal and deprovisioning -------------------------------------------------------------------

TEST_F(BridgeTest, RemovesForAllUsersWithOnlyTheRemoveForAllUsersOption) {
    component.Scenario(kThreePackages);
    bridge.RemovePackageForAllUsers(u"Halvern.Client_1.2.3.4_x64__abc");
    EXPECT_EQ(component.CallsStartingWith("Remove"),
              std::vector<std::string>{
                  "RemovePackageWithOptionsAsync \"Halvern.Client_1.2.3.4_x64__abc\" 0x00080000"});
    EXPECT_EQ(component.State(), std::vector<std::string>{"removed Halvern.Client_1.2.3.4_x64__abc"});
    ExpectAllReleased();
    // The package manager's state has changed for every later search.
    EXPECT_EQ(bridge.FindPackagesForAllUsers(u"Halvern.Client_abc"),
              (std::vector<PackageInfo>{Expected(kSecond), Expected(kThird)}));
}

TEST_F(BridgeTest, DeprovisionsTheFamilyForAllUsers) {
    component.Scenario(kThreePackages);
    bridge.DeprovisionForAllUsers(u"Halvern.Client_abc");
    EXPECT_EQ(component.CallsStartingWith("Deprovision"),
              std::vector<std::string>{"DeprovisionPackageForAllUsersAsync \"Halvern.Client_abc\""});
    EXPECT_EQ(component.State(), std::vector<std::string>{"deprovisioned Halvern.Client_abc"});
    ExpectAllReleased();
}

TEST_F(BridgeTest, ChecksTheDeploymentResultOfBothOperations) {
    struct Case {
        std::string result;  // extended code and error text as the scenario writes them
        bool fails;
        std::int32_t system_error;
        std::u16string message;
    };
    const Case cases[] = {
        {"0x80073D02 The package is in use.", true, static_cast<std::int32_t>(0x80073D02),
         u"The package is in use."},
        {"5 Positive codes fail too", true, 5, u"Positive codes fail too"},
        {"0x80073CF9", true, static_cast<std::int32_t>(0x80073CF9), u""},
        {"-1 first\\0second", true, -1, u"first"},
        {"0 Text without a code is no failure", false, 0, u""},
    };
    for (const bool deprovision : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.result + (deprovision ? " (deprovision)" : " (remove)"));
            component.Scenario(kThreePackages +
                               (deprovision ? "deprovision Halvern.Client_abc " : "remove ") +
                               (deprovision ? "" : std::string(kFirst) + " ") + c.result + "\n");
            const auto operation = [&] {
                deprovision ? bridge.DeprovisionForAllUsers(u"Halvern.Client_abc")
                            : bridge.RemovePackageForAllUsers(u"Halvern.Client_1.2.3.4_x64__abc");
            };
            if (!c.fails) {
                EXPECT_NO_THROW(operation());
                continue;
            }
            const MSIXException error = CatchMSIX(operation);
            EXPECT_EQ(error.code, deprovision ? MSIXErrorCode::PackageDeprovisionFailure
                                              : MSIXErrorCode::PackageRemoveFailure);
            EXPECT_EQ(error.system_error, c.system_error);
            EXPECT_EQ(error.message, c.message);
            ExpectAllReleased();
        }
    }
}

// One failure at each point of an operation; every kind's mapping is checked natively.
TEST_F(BridgeTest, PassesDeploymentFailuresOnAsTheirSpecialisedKinds) {
    struct Case {
        const char* failure;  // "START" stands for the call that starts the operation
        std::uint32_t code;
        const std::type_info* kind;
    };
    const Case cases[] = {
        {"ActivateInstance 0x80070005", 0x80070005, &typeid(winrt::hresult_access_denied)},
        {"START 0x80070057", 0x80070057, &typeid(winrt::hresult_invalid_argument)},
        {"START 0x80073CF9", 0x80073CF9, &typeid(winrt::hresult_error)},
        {"get_Status 0x8001010E", 0x8001010E, &typeid(winrt::hresult_wrong_thread)},
        {"GetResults 0x8000000E", 0x8000000E, &typeid(winrt::hresult_illegal_method_call)},
        {"get_ExtendedErrorCode 0x8000000C", 0x8000000C, &typeid(winrt::hresult_changed_state)},
    };
    for (const bool deprovision : {false, true}) {
        for (const Case& c : cases) {
            std::string failure = c.failure;
            if (failure.rfind("START", 0) == 0) {
                failure.replace(
                    0, 5,
                    deprovision ? "DeprovisionPackageForAllUsersAsync" : "RemovePackageWithOptionsAsync");
            }
            SCOPED_TRACE(failure);
            component.Scenario(kThreePackages + "fail " + failure + "\n");
            WinRtPackageManager fresh(system);
            try {
                deprovision ? fresh.DeprovisionForAllUsers(u"Halvern.Client_abc")
                            : fresh.RemovePackageForAllUsers(u"Halvern.Client_1.2.3.4_x64__abc");
                ADD_FAILURE() << "nothing raised";
            } catch (const winrt::hresult_error& error) {
                EXPECT_TRUE(typeid(error) == *c.kind) << typeid(error).name();
                EXPECT_EQ(error.code(), static_cast<std::int32_t>(c.code));
            }
            ExpectAllReleased();
        }
    }
}

TEST_F(BridgeTest, RaisesAFailingErrorTextReadAndAFailedCompletedAssignment) {
    component.Scenario(kThreePackages + "remove " + kFirst +
                       " 0x80073D02 busy\nfail get_ErrorText 0x80000018\n");
    EXPECT_THROW(bridge.RemovePackageForAllUsers(u"Halvern.Client_1.2.3.4_x64__abc"),
                 winrt::hresult_illegal_delegate_assignment);
    component.Scenario(kThreePackages + "completion later\nfail put_Completed 0x80000018\n");
    EXPECT_THROW(bridge.RemovePackageForAllUsers(u"Halvern.Client_1.2.3.4_x64__abc"),
                 winrt::hresult_illegal_delegate_assignment);
    ExpectAllReleased();
}

TEST_F(BridgeTest, RaisesOutOfMemoryAsBadAlloc) {
    component.Scenario(kThreePackages + "fail GetResults 0x8007000E\n");
    EXPECT_THROW(bridge.RemovePackageForAllUsers(u"Halvern.Client_1.2.3.4_x64__abc"), std::bad_alloc);
    component.Scenario(kThreePackages + "fail get_Name 0x8007000E\n");
    EXPECT_THROW(bridge.FindPackagesForAllUsers(u"Halvern.Client_abc"), std::bad_alloc);
    ExpectAllReleased();
}

TEST_F(BridgeTest, RaisesNoInterfaceForAMissingInterface) {
    component.Scenario(kThreePackages + "no_interface IPackageManager2\n");
    EXPECT_THROW(bridge.RemovePackageForAllUsers(u"Halvern.Client_1.2.3.4_x64__abc"),
                 winrt::hresult_no_interface);
    component.Scenario(kThreePackages + "no_interface IPackageManager8\n");
    EXPECT_THROW(bridge.DeprovisionForAllUsers(u"Halvern.Client_abc"), winrt::hresult_no_interface);
    EXPECT_TRUE(component.State().empty());

    // In a search the missing IPackage2 is converted like any other failure.
    component.Scenario(std::string("package ") + kFirst + "\nno_interface IPackage2\n");
    const MSIXException error = CatchMSIX([&] { bridge.FindPackagesForAllUsers(u"Halvern.Client_abc"); });
    EXPECT_EQ(error.code, MSIXErrorCode::FindPackagesFailure);
    EXPECT_EQ(error.system_error, static_cast<std::int32_t>(0x80004002));
    ExpectAllReleased();
}

// Windows 10 before 2004: packages without IPackage8 have no external location. Any other answer to
// that query is a failure of the search.
TEST_F(BridgeTest, TakesAPackageWithoutIPackage8AsOneWithoutExternalLocation) {
    component.Scenario(kThreePackages +
                       "package Halvern.Client_3.0.0.0_x64__abc\ndisplay Old\nversion 3.0.0.0\npath C:\\Old\n"
                       "external D:\\Old\nno_interface IPackage8\ncurrent_user\n");
    const PackageInfo bare{u"Halvern.Client",
                           u"Old",
                           u"Halvern.Client_3.0.0.0_x64__abc",
                           u"Halvern.Client_abc",
                           u"3.0.0.0",
                           u"3.0.0",
                           u"",
                           false};
    EXPECT_EQ(bridge.FindPackagesForCurrentUser(u"Halvern.Client_abc"),
              (std::vector<PackageInfo>{Expected(kFirst), Expected(kThird), bare}));
    ExpectAllReleased();

    component.Scenario(kThreePackages + "fail QueryInterface 0x80004005 1\n");
    const MSIXException error = CatchMSIX([&] { bridge.FindPackagesForAllUsers(u"Halvern.Client_abc"); });
    EXPECT_EQ(error.code, MSIXErrorCode::FindPackagesFailure);
    EXPECT_EQ(error.system_error, static_cast<std::int32_t>(0x80004005));
    ExpectAllReleased();
}

// --- a success that hands back no object ---------------------------------------------------------

// Each call that hands back an object, answering S_OK with none: the caller gets E_POINTER through
// the operation's usual conversion, never a crash, and every reference handed out is released.
TEST_F(BridgeTest, TreatsASuccessWithoutAnObjectAsPointerFailure) {
    enum class Operation { AllUsers, CurrentUser, Users, Remove, Deprovision };
    struct Case {
        const char* call;
        int nth;
        Operation operation;
    };
    const Case cases[] = {
        {"ActivateInstance", 0, Operation::AllUsers},
        {"ActivateInstance", 0, Operation::Users},
        {"ActivateInstance", 0, Operation::Remove},
        {"FindPackagesByPackageFamilyName", 0, Operation::AllUsers},
        {"FindPackagesByUserSecurityIdPackageFamilyName", 0, Operation::CurrentUser},
        {"FindUsers", 0, Operation::Users},
        {"First", 0, Operation::AllUsers},
        {"First", 0, Operation::Users},
        {"get_Current", 2, Operation::CurrentUser},
        {"get_Current", 2, Operation::Users},
        {"get_Id", 2, Operation::AllUsers},
        {"RemovePackageWithOptionsAsync", 0, Operation::Remove},
        {"DeprovisionPackageForAllUsersAsync", 0, Operation::Deprovision},
        {"GetResults", 0, Operation::Remove},
        {"GetResults", 0, Operation::Deprovision},
    };
    constexpr std::int32_t kPointer = static_cast<std::int32_t>(0x80004003);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.call) + " in operation " + std::to_string(static_cast<int>(c.operation)));
        // A component of its own for each case: no state left by an earlier removal.
        TestPackageManager pm;
        pm.Scenario(kThreePackages + "null " + c.call + (c.nth ? " " + std::to_string(c.nth) : "") + "\n");
        WinRtPackageManager fresh(system);
        if (c.operation == Operation::Remove || c.operation == Operation::Deprovision) {
            try {
                c.operation == Operation::Remove
                    ? fresh.RemovePackageForAllUsers(u"Halvern.Client_1.2.3.4_x64__abc")
                    : fresh.DeprovisionForAllUsers(u"Halvern.Client_abc");
                ADD_FAILURE() << "nothing raised";
            } catch (const winrt::hresult_error& error) {
                EXPECT_TRUE(typeid(error) == typeid(winrt::hresult_error)) << typeid(error).name();
                EXPECT_EQ(error.code(), kPointer);
                EXPECT_EQ(error.message(), SystemText(kPointer));
            }
        } else {
            const MSIXException error = CatchMSIX([&] {
                if (c.operation == Operation::Users) {
                    fresh.FindPackageUsers(u"Halvern.Client_1.2.3.4_x64__abc");
                } else {
                    c.operation == Operation::AllUsers
                        ? fresh.FindPackagesForAllUsers(u"Halvern.Client_abc")
                        : fresh.FindPackagesForCurrentUser(u"Halvern.Client_abc");
                }
            });
            EXPECT_EQ(error.code, c.operation == Operation::Users ? MSIXErrorCode::FindUsersFailure
                                                                  : MSIXErrorCode::FindPackagesFailure);
            EXPECT_EQ(error.system_error, kPointer);
            EXPECT_EQ(error.message, SystemText(kPointer));
        }
        // The broken answer was the one given, and nothing was asked of the platform after it.
        const std::vector<std::string> calls = pm.Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().rfind(c.call, 0), 0u) << calls.back();
        EXPECT_NE(calls.back().find(" -> null"), std::string::npos) << calls.back();
        ExpectAllReleased();
    }
}

// --- the wait -------------------------------------------------------------------------------------

TEST_F(BridgeTest, FetchesTheResultsOfAnOperationCompleteBeforeTheWaitWithoutAHandler) {
    constexpr int kRounds = 50;
    component.Scenario(kThreePackages + "remove " + kFirst + " 0x80073D01 blocked\n");
    const auto both = [&] {
        EXPECT_EQ(CatchMSIX([&] {
                      bridge.RemovePackageForAllUsers(u"Halvern.Client_1.2.3.4_x64__abc");
                  }).system_error,
                  static_cast<std::int32_t>(0x80073D01));
        bridge.DeprovisionForAllUsers(u"Halvern.Client_abc");
    };
    both();  // what the process sets up once
    const std::uintptr_t before = HandlesInUse();
    for (int round = 0; round < kRounds; ++round) {
        both();
    }
    EXPECT_LE(HandlesInUse(), before + 2);
    EXPECT_TRUE(component.CallsStartingWith("put_Completed").empty());
    EXPECT_TRUE(component.CallsStartingWith("Invoke").empty());
    EXPECT_EQ(component.CallsStartingWith("get_Status").size(), static_cast<std::size_t>(2 * (kRounds + 1)));
    EXPECT_EQ(component.CallsStartingWith("GetResults").size(), static_cast<std::size_t>(2 * (kRounds + 1)));
}

TEST_F(BridgeTest, WaitsForOperationsCompletedLaterOnAWorkerThreadWithoutLeakingHandles) {
    constexpr int kRounds = 300;
    component.Scenario(kThreePackages + "completion later\nremove " + kFirst + " 0\nremove " + kSecond +
                       " 0x80073D02 in use\n");
    // One round first, so that what the process sets up once is not counted as a leak.
    bridge.RemovePackageForAllUsers(u"Halvern.Client_1.2.3.4_x64__abc");
    const std::uintptr_t before = HandlesInUse();
    for (int round = 0; round < kRounds; ++round) {
        bridge.RemovePackageForAllUsers(u"Halvern.Client_1.2.3.4_x64__abc");
        EXPECT_EQ(CatchMSIX([&] {
                      bridge.RemovePackageForAllUsers(u"Halvern.Client_0.10.0.65535_x86__abc");
                  }).system_error,
                  static_cast<std::int32_t>(0x80073D02));
    }
    // The last workers may still be finishing (their handler between invocation and release, the
    // thread itself winding down); one leaked event per round would be hundreds.
    EXPECT_LE(HandlesInUse(), before + 8);
    EXPECT_EQ(component.CallsStartingWith("Invoke 1 on a worker thread").size(),
              static_cast<std::size_t>(kRounds + 1));
    EXPECT_EQ(component.CallsStartingWith("Invoke 3 on a worker thread").size(),
              static_cast<std::size_t>(kRounds));
    ExpectAllReleased();
}

// --- activation -----------------------------------------------------------------------------------

TEST_F(BridgeTest, CachesTheAgileFactoryWhileEachOperationGetsItsOwnInstance) {
    component.Scenario(kThreePackages);
    bridge.FindPackagesForAllUsers(u"Halvern.Client_abc");
    bridge.FindPackagesForCurrentUser(u"Halvern.Client_abc");
    bridge.FindPackageUsers(u"Halvern.Client_1.2.3.4_x64__abc");
    bridge.DeprovisionForAllUsers(u"Halvern.Client_abc");
    EXPECT_EQ(component.CallsStartingWith("DllGetActivationFactory").size(), 1u);
    EXPECT_EQ(component.CallsStartingWith("ActivateInstance").size(), 4u);
    ExpectAllReleased();
}

TEST_F(BridgeTest, AsksForANewFactoryEachTimeWhenTheFactoryIsNotAgile) {
    component.Scenario(kThreePackages + "agile 0\n");
    bridge.FindPackagesForAllUsers(u"Halvern.Client_abc");
    bridge.FindPackagesForAllUsers(u"Halvern.Client_abc");
    bridge.RemovePackageForAllUsers(u"Halvern.Client_1.2.3.4_x64__abc");
    EXPECT_EQ(component.CallsStartingWith("DllGetActivationFactory").size(), 3u);
    EXPECT_EQ(component.CallsStartingWith("ActivateInstance").size(), 3u);
}

// --- the leak report at process exit ------------------------------------------------------------

// Run only as the child of the test below: its process ends still holding the users it found.
TEST(LeakReportChild, DISABLED_KeepsTheUsersToTheEnd) {
    Win32SystemMessages messages;
    WinRtPackageManager bridge{messages};
    const auto* kept = new auto(bridge.FindPackageUsers(u"Halvern.Client_1.2.3.4_x64__abc"));
    EXPECT_FALSE(kept->empty());
}

TEST_F(BridgeTest, ReportsTheObjectsStillAliveWhenItsProcessExits) {
    component.Scenario(std::string("package ") + kFirst + "\nuser S-1-5-21-1 1\n");
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const auto child = testing::RunChild(
        std::wstring(L"\"") + self + L"\" --gtest_also_run_disabled_tests --gtest_filter=LeakReportChild.*");
    ASSERT_EQ(child.exit_code, 0u) << child.output;
    EXPECT_EQ(component.CallsStartingWith("leaked"), std::vector<std::string>{"leaked 1 objects"});
    EXPECT_EQ(component.Calls().back(), "leaked 1 objects");
}

}  // namespace
}  // namespace halvern
