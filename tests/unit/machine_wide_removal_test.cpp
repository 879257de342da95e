#include "packages/machine_wide_removal.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string>
#include <typeindex>
#include <utility>
#include <vector>

#include "test_machine.h"

namespace halvern {
namespace {

using testing::FakeUserEntry;
using testing::HresultFailure;
using testing::MakePackageInfo;
using testing::MsixFailure;
using testing::Narrow;
using testing::OutOfMemory;
using testing::PackageManagerCall;
using testing::PackageManagerFunction;
using testing::RecordedReport;
using testing::ReportFunction;
using testing::TestMachine;

constexpr bool kMachine = true;
const std::u16string kFamily = u"Halvern.Client_pub";
// The record's name and version differ from every package's, so each report shows whose values it got.
const InstallationRecord kRecord{u"{A1}", u"Halvern", u"124.0", kFamily};
const PackageInfo kFirst = MakePackageInfo(kFamily, u"124.0.1.5", u"Halvern Client");
const PackageInfo kSecond = MakePackageInfo(kFamily, u"124.0.2.0", u"Halvern Client Beta");
const PackageInfo kThird = MakePackageInfo(kFamily, u"125.1.0.7", u"Halvern Client Dev");
const PackageInfo kOtherFamily = MakePackageInfo(u"Halvern.Other_pub", u"1.0.0.0", u"Other");
const std::u16string kAlice = u"S-1-5-21-1001";
const std::u16string kBob = u"S-1-5-21-1002";
const std::vector<FakeUserEntry> kBothStaged = {{kAlice, Staged}, {kBob, Staged}};

constexpr std::int32_t kPackageInUse = static_cast<std::int32_t>(0x80073D02);
constexpr std::int32_t kDeprovisionFailed = static_cast<std::int32_t>(0x80073CFA);
const std::u16string kInUseText = u"The package could not be removed because it is in use.\r\n";
const std::u16string kDeprovisionText = u"The family is not provisioned.\r\n";

// --- the journal, line by line ------------------------------------------------------------------
std::string FindAll() {
    return "FindPackagesForAllUsers " + Narrow(kFamily);
}
std::string Users(const PackageInfo& package) {
    return "FindPackageUsers " + Narrow(package.full_name);
}
std::string State(const PackageInfo& package, const std::u16string& user) {
    return "InstallState " + Narrow(package.full_name) + " " + Narrow(user);
}
std::string Remove(const PackageInfo& package) {
    return "RemovePackageForAllUsers " + Narrow(package.full_name);
}
std::string Deprovision() {
    return "DeprovisionForAllUsers " + Narrow(kFamily);
}
std::string Unregister() {
    return "RegDeleteKeyW " + Narrow(kRecord.app_id);
}
std::string Removal(const PackageInfo& package) {
    return "RemovePackage machine '" + Narrow(package.display_name) + "' " + Narrow(package.family_name) +
           " " + Narrow(package.version);
}
std::string Installation() {
    return "Uninstall machine 'Halvern' Halvern.Client_pub 124.0";
}
std::string Success(const std::string& subject) {
    return "ReportSuccess " + subject;
}
std::string MsixReport(const std::string& subject, int code, std::int32_t system_error,
                       const std::u16string& text) {
    return "ReportMSIXFailure " + subject + " code=" + std::to_string(code) +
           " system_error=" + std::to_string(system_error) + " '" + Narrow(text) + "'";
}
std::string HresultReport(const std::string& subject, winrt::hresult code, const std::u16string& text) {
    return "ReportHresultFailure " + subject + " hresult=" + std::to_string(code) + " '" + Narrow(text) + "'";
}
std::string StdReport(const std::string& subject, const std::string& what) {
    return "ReportStdFailure " + subject + " what='" + what + "'";
}
// The user check of a package held staged by both users.
std::vector<std::string> StagedCheck(const PackageInfo& package) {
    return {Users(package), State(package, kAlice), State(package, kBob)};
}
std::exception_ptr InUse() {
    return MsixFailure(MSIXErrorCode::PackageRemoveFailure, kPackageInUse, kInUseText);
}
std::exception_ptr DeprovisionFailed() {
    return MsixFailure(MSIXErrorCode::PackageDeprovisionFailure, kDeprovisionFailed, kDeprovisionText);
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> joined;
    for (const auto& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

struct Scenario {
    std::string name;
    std::function<void(TestMachine&)> arrange;
    bool cleaned_up;
    std::vector<std::string> journal;  // An exception that leaves the driver ends it as "escaped <what>".
    bool registration_kept;
    std::vector<PackageInfo> packages_left;
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

std::function<void(TestMachine&)> Plant(std::vector<PackageInfo> packages,
                                        std::function<void(TestMachine&)> then = nullptr) {
    return [packages, then](TestMachine& machine) {
        for (const PackageInfo& package : packages) {
            machine.packages.AddPackage(package, kBothStaged);
        }
        if (then) {
            then(machine);
        }
    };
}

std::function<void(TestMachine&)> ReportThrows(std::function<bool(const RecordedReport&)> matches,
                                               std::exception_ptr error) {
    return [=](TestMachine& machine) { machine.reporter.ThrowWhen(matches, error); };
}

bool IsSuccessOf(const RecordedReport& report, EventKind kind) {
    return report.event_kind == kind && report.function == ReportFunction::ReportSuccess;
}

std::vector<Scenario> Scenarios() {
    const PackageInfo external = MakePackageInfo(kFamily, u"124.0.1.5", u"Halvern Client", true);
    std::vector<Scenario> scenarios = {
        {"EveryPackageIsRemovedInListOrderEachBeforeTheNextUserSearch",
         Plant({kFirst, kSecond, kThird}),
         true,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), Success(Removal(kFirst))},
               StagedCheck(kSecond),
               {Remove(kSecond), Success(Removal(kSecond))},
               StagedCheck(kThird),
               {Remove(kThird), Success(Removal(kThird))},
               {Deprovision(), Unregister(), Success(Installation())}}),
         false,
         {}},

        {"AFamilyWithNoPackageIsDeprovisionedAndWithdrawn",
         [](TestMachine&) {},
         true,
         {FindAll(), Deprovision(), Unregister(), Success(Installation())},
         false,
         {}},

        {"APackageWithoutUserEntriesIsRemoved",
         [](TestMachine& machine) { machine.packages.AddPackage(kFirst, {}); },
         true,
         {FindAll(), Users(kFirst), Remove(kFirst), Success(Removal(kFirst)), Deprovision(), Unregister(),
          Success(Installation())},
         false,
         {}},

        {"PackagesOfOtherFamiliesAreNotTouched",
         Plant({kOtherFamily, kFirst}),
         true,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), Success(Removal(kFirst)), Deprovision(), Unregister(),
                Success(Installation())}}),
         false,
         {kOtherFamily}},

        {"APackageWithAnExternalLocationStaysWithoutAUserSearch",
         [external](TestMachine& machine) {
             machine.packages.AddPackage(external, kBothStaged);
             machine.packages.AddPackage(kSecond, kBothStaged);
         },
         false,
         Join({{FindAll()}, StagedCheck(kSecond), {Remove(kSecond), Success(Removal(kSecond))}}),
         true,
         {external}},

        {"AFailedRemovalIsReportedAndTheNextPackageIsStillRemoved",
         Plant({kFirst, kSecond},
               [](TestMachine& machine) {
                   machine.packages.FailCalls(PackageManagerFunction::RemovePackageForAllUsers, kFirst.full_name,
                                              InUse());
               }),
         false,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), MsixReport(Removal(kFirst), 2005, kPackageInUse, kInUseText)},
               StagedCheck(kSecond),
               {Remove(kSecond), Success(Removal(kSecond))}}),
         true,
         {kFirst}},

        {"AFailedRemovalOfTheLastPackageStopsBeforeDeprovisioning",
         Plant({kFirst, kSecond},
               [](TestMachine& machine) {
                   machine.packages.FailCalls(PackageManagerFunction::RemovePackageForAllUsers,
                                              kSecond.full_name,
                                              HresultFailure(winrt::hresults::kCanceled, u"Canceled.\r\n"));
               }),
         false,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), Success(Removal(kFirst))},
               StagedCheck(kSecond),
               {Remove(kSecond), HresultReport(Removal(kSecond), winrt::hresults::kCanceled, u"Canceled.\r\n")}}),
         true,
         {kSecond}},

        {"AFailedDeprovisioningKeepsTheRegistration",
         Plant({kFirst},
               [](TestMachine& machine) {
                   machine.packages.FailCalls(PackageManagerFunction::DeprovisionForAllUsers, kFamily,
                                              DeprovisionFailed());
               }),
         false,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), Success(Removal(kFirst)), Deprovision(),
                MsixReport(Installation(), 2003, kDeprovisionFailed, kDeprovisionText)}}),
         true,
         {}},

        {"AFailedUnregistrationIsReportedAfterTheDeprovisioning",
         Plant({kFirst},
               [](TestMachine& machine) {
                   machine.registry.CreateKey(kHkeyLocalMachine, testing::kClientsPath + kRecord.app_id + u"\\Sub");
               }),
         false,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), Success(Removal(kFirst)), Deprovision(), Unregister(),
                MsixReport(Installation(), 2018, 5, u"Access denied.\r\n")}}),
         true,
         {}},

        {"AFailedPackageSearchTouchesNothing",
         Plant({kFirst},
               [](TestMachine& machine) {
                   machine.packages.FailCalls(
                       PackageManagerFunction::FindPackagesForAllUsers, kFamily,
                       MsixFailure(MSIXErrorCode::FindPackagesFailure, winrt::hresults::kAccessDenied, u"Denied."));
               }),
         false,
         {FindAll(), MsixReport(Installation(), 2019, winrt::hresults::kAccessDenied, u"Denied.")},
         true,
         {kFirst}},

        {"AFailedUserSearchEndsTheRunAfterTheRemovalsSoFar",
         Plant({kFirst, kSecond, kThird},
               [](TestMachine& machine) {
                   machine.packages.FailCalls(
                       PackageManagerFunction::FindPackageUsers, kThird.full_name,
                       MsixFailure(MSIXErrorCode::FindUsersFailure, winrt::hresults::kFail, u"Unspecified error"));
               }),
         false,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), Success(Removal(kFirst))},
               StagedCheck(kSecond),
               {Remove(kSecond), Success(Removal(kSecond)), Users(kThird),
                MsixReport(Installation(), 2020, winrt::hresults::kFail, u"Unspecified error")}}),
         true,
         {kThird}},

        {"AFailedInstallStateReadIsTheInstallationsFailureAndLeavesTheRestAlone",
         Plant({kFirst, kSecond},
               [](TestMachine& machine) {
                   machine.packages.FailWhen(
                       [](const PackageManagerCall& call) {
                           return call.function == PackageManagerFunction::InstallState &&
                                  call.argument == kFirst.full_name && call.user == kBob;
                       },
                       HresultFailure(winrt::hresults::kWrongThread, u"Wrong thread."));
               }),
         false,
         {FindAll(), Users(kFirst), State(kFirst, kAlice), State(kFirst, kBob),
          HresultReport(Installation(), winrt::hresults::kWrongThread, u"Wrong thread.")},
         true,
         {kFirst, kSecond}},

        {"ASuccessReportThatThrowsIsTheInstallationsFailure",
         Plant({kFirst, kSecond}, ReportThrows([](const RecordedReport& r) { return IsSuccessOf(r, RemovePackage); },
                                               OutOfMemory())),
         false,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), Success(Removal(kFirst)), StdReport(Installation(), "std::bad_alloc")}}),
         true,
         {kSecond}},

        {"AFailureReportThatThrowsForARemovalIsTheInstallationsFailure",
         Plant({kFirst, kSecond},
               [](TestMachine& machine) {
                   machine.packages.FailCalls(PackageManagerFunction::RemovePackageForAllUsers, kFirst.full_name,
                                              InUse());
                   machine.reporter.ThrowWhen(
                       [](const RecordedReport& report) { return report.event_kind == RemovePackage; },
                       std::make_exception_ptr(std::runtime_error("upload buffer")));
               }),
         false,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), MsixReport(Removal(kFirst), 2005, kPackageInUse, kInUseText),
                StdReport(Installation(), "upload buffer")}}),
         true,
         {kFirst, kSecond}},

        {"AnInstallationSuccessReportThatThrowsIsFollowedByItsFailure",
         Plant({kFirst},
               ReportThrows([](const RecordedReport& r) { return IsSuccessOf(r, Uninstall); }, OutOfMemory())),
         false,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), Success(Removal(kFirst)), Deprovision(), Unregister(), Success(Installation()),
                StdReport(Installation(), "std::bad_alloc")}}),
         false,
         {}},

        {"AFailureReportThatThrowsInTheWithdrawalRegionIsFollowedByTheOuterOne",
         [](TestMachine& machine) {
             machine.packages.FailCalls(PackageManagerFunction::DeprovisionForAllUsers, kFamily,
                                        DeprovisionFailed());
             machine.reporter.ThrowWhen([](const RecordedReport& report) { return report.index == 0; },
                                        std::make_exception_ptr(std::runtime_error("encoder")));
         },
         false,
         {FindAll(), Deprovision(), MsixReport(Installation(), 2003, kDeprovisionFailed, kDeprovisionText),
          StdReport(Installation(), "encoder")},
         true,
         {}},

        {"AFailureReportThatThrowsInTheOuterRegionLeavesTheOperation",
         [](TestMachine& machine) {
             machine.packages.FailCalls(PackageManagerFunction::FindPackagesForAllUsers, kFamily,
                                        MsixFailure(MSIXErrorCode::FindPackagesFailure, 1, u"x"));
             machine.reporter.ThrowWhen([](const RecordedReport&) { return true; }, OutOfMemory());
         },
         false,
         {FindAll(), MsixReport(Installation(), 2019, 1, u"x"), "escaped std::bad_alloc"},
         true,
         {}},
    };
    // Any user's entry in any state but Staged keeps its package; the other users are still read.
    for (const std::int32_t state : std::vector<std::int32_t>{NotInstalled, Installed, Paused, 3, 4, 5, -1}) {
        scenarios.push_back({"AnEntryInState" +
                                 (state < 0 ? "Minus" + std::to_string(-state) : std::to_string(state)) +
                                 "KeepsItsPackage",
                             [state](TestMachine& machine) {
                                 machine.packages.AddPackage(kFirst, {{kAlice, state}, {kBob, Staged}});
                                 machine.packages.AddPackage(kSecond, kBothStaged);
                             },
                             false,
                             Join({{FindAll()},
                                   StagedCheck(kFirst),
                                   StagedCheck(kSecond),
                                   {Remove(kSecond), Success(Removal(kSecond))}}),
                             true,
                             {kFirst}});
    }
    return scenarios;
}

class MachineWideScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(MachineWideScenario, DoesExactlyWhatTheDecisionsAllow) {
    const Scenario& scenario = GetParam();
    TestMachine machine;
    machine.Register(kMachine, kRecord);
    // Neither the user's registration of the same id nor a sibling's is ever touched.
    machine.Register(!kMachine, kRecord);
    machine.Register(kMachine, InstallationRecord{u"{C3}", u"Sibling", u"1", kFamily});
    machine.messages.texts[{5, 0x0409}] = u"Access denied.\r\n";
    scenario.arrange(machine);

    EXPECT_EQ(machine.Run(CleanUpMachineWide, kRecord), scenario.cleaned_up);

    EXPECT_EQ(machine.journal, scenario.journal);
    EXPECT_EQ(machine.IsRegistered(kMachine, kRecord.app_id), scenario.registration_kept);
    EXPECT_TRUE(machine.IsRegistered(!kMachine, kRecord.app_id));
    EXPECT_TRUE(machine.IsRegistered(kMachine, u"{C3}"));
    std::vector<PackageInfo> left = machine.packages.PackagesOf(kOtherFamily.family_name);
    const std::vector<PackageInfo> own = machine.packages.PackagesOf(kFamily);
    left.insert(left.end(), own.begin(), own.end());
    EXPECT_EQ(left, scenario.packages_left);
    // Every registry key the unregistration opened was closed again, whatever happened.
    EXPECT_EQ(machine.registry.OpenHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Decisions, MachineWideScenario, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& scenario) {
                             return scenario.param.name;
                         });

// Each kind of failure a removal or the deprovisioning raises reaches the report of its own type with
// its own dynamic type: for a removal only that package's, the run going on with the next; for the
// deprovisioning the installation's only outcome.
TEST(MachineWideRemoval, EachKindOfFailureIsReportedByItsOwnReportInItsRegion) {
    struct Kind {
        std::exception_ptr error;
        ReportFunction report;
        std::type_index type;
    };
    std::vector<Kind> kinds = {
        {MsixFailure(MSIXErrorCode::PackageRemoveFailure, -7, u"x"), ReportFunction::ReportMSIXFailure,
         typeid(MSIXException)},
        {HresultFailure(winrt::hresults::kFail, u"x"), ReportFunction::ReportHresultFailure,
         typeid(winrt::hresult_error)},
        {HresultFailure(winrt::hresults::kOutOfMemory, u"x"), ReportFunction::ReportStdFailure,
         typeid(std::bad_alloc)},
        {std::make_exception_ptr(std::length_error("vector")), ReportFunction::ReportStdFailure,
         typeid(std::length_error)},
    };
    const std::pair<winrt::hresult, std::type_index> hresult_kinds[] = {
        {winrt::hresults::kAccessDenied, typeid(winrt::hresult_access_denied)},
        {winrt::hresults::kWrongThread, typeid(winrt::hresult_wrong_thread)},
        {winrt::hresults::kNotImplemented, typeid(winrt::hresult_not_implemented)},
        {winrt::hresults::kNoInterface, typeid(winrt::hresult_no_interface)},
        {winrt::hresults::kInvalidArgument, typeid(winrt::hresult_invalid_argument)},
        {winrt::hresults::kOutOfBounds, typeid(winrt::hresult_out_of_bounds)},
        {winrt::hresults::kClassNotAvailable, typeid(winrt::hresult_class_not_available)},
        {winrt::hresults::kChangedState, typeid(winrt::hresult_changed_state)},
        {winrt::hresults::kIllegalMethodCall, typeid(winrt::hresult_illegal_method_call)},
        {winrt::hresults::kIllegalStateChange, typeid(winrt::hresult_illegal_state_change)},
        {winrt::hresults::kIllegalDelegateAssignment, typeid(winrt::hresult_illegal_delegate_assignment)},
        {winrt::hresults::kCanceled, typeid(winrt::hresult_canceled)},
    };
    for (const auto& [code, type] : hresult_kinds) {
        kinds.push_back({HresultFailure(code, u"x"), ReportFunction::ReportHresultFailure, type});
    }
    for (const bool removal : {true, false}) {
        for (const Kind& kind : kinds) {
            SCOPED_TRACE(std::string(removal ? "removal " : "deprovisioning ") + kind.type.name());
            TestMachine machine;
            machine.Register(kMachine, kRecord);
            if (removal) {
                machine.packages.AddPackage(kFirst, kBothStaged);
                machine.packages.AddPackage(kSecond, kBothStaged);
                machine.packages.FailCalls(PackageManagerFunction::RemovePackageForAllUsers, kFirst.full_name,
                                           kind.error);
            } else {
                machine.packages.FailCalls(PackageManagerFunction::DeprovisionForAllUsers, kFamily,
                                           kind.error);
            }

            EXPECT_FALSE(CleanUpMachineWide(machine.services, kRecord));

            ASSERT_EQ(machine.reporter.reports.size(), removal ? 2u : 1u);
            const RecordedReport& report = machine.reporter.reports[0];
            EXPECT_EQ(report.function, kind.report);
            EXPECT_EQ(report.error_type, kind.type);
            EXPECT_TRUE(report.machine_wide);
            EXPECT_TRUE(machine.IsRegistered(kMachine, kRecord.app_id));
            if (removal) {
                EXPECT_EQ(report.event_kind, RemovePackage);
                EXPECT_EQ(report.app_name, kFirst.display_name);
                EXPECT_EQ(machine.reporter.reports[1].function, ReportFunction::ReportSuccess);
                EXPECT_EQ(machine.reporter.reports[1].app_name, kSecond.display_name);
                EXPECT_TRUE(machine.packages.PackagesOf(kFamily) == std::vector<PackageInfo>{kFirst});
                EXPECT_TRUE(machine.packages.CallsOf(PackageManagerFunction::DeprovisionForAllUsers).empty());
            } else {
                EXPECT_EQ(report.event_kind, Uninstall);
                EXPECT_EQ(report.app_name, kRecord.name);
                EXPECT_EQ(report.version, kRecord.version);
                EXPECT_TRUE(machine.registry.CallsOf(testing::RegistryFunction::RegDeleteKeyW).empty());
            }
        }
    }
}

}  // namespace
}  // namespace halvern
