#include "packages/machine_wide_removal.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string>
#include <typeindex>
#include <vector>

#include "test_machine.h"

namespace halvern {
namespace {

using testing::DeploymentOutcome;
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

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> joined;
    for (const auto& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

bool Matches(const PackageManagerCall& call, PackageManagerFunction function, const PackageInfo& package) {
    return call.function == function && call.argument == package.full_name;
}

struct Scenario {
    std::string name;
    std::function<void(TestMachine&)> arrange;
    bool cleaned_up;
    std::vector<std::string> journal;
    bool registration_kept;
    std::vector<PackageInfo> packages_left;
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

std::vector<Scenario> Scenarios() {
    const auto plant = [](std::vector<PackageInfo> packages) {
        return [packages](TestMachine& machine) {
            for (const PackageInfo& package : packages) {
                machine.packages.AddPackage(package, kBothStaged);
            }
        };
    };
    const auto then = [](std::function<void(TestMachine&)> first, std::function<void(TestMachine&)> second) {
        return [first, second](TestMachine& machine) {
            first(machine);
            second(machine);
        };
    };
    return {
        {"OnePackageStagedByEveryUserIsRemovedThenTheFamilyWithdrawn",
         plant({kFirst}),
         true,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), Success(Removal(kFirst)), Deprovision(), Unregister(),
                Success(Installation())}}),
         false,
         {}},

        {"EveryPackageIsRemovedInListOrderEachBeforeTheNextUserSearch",
         plant({kFirst, kSecond, kThird}),
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
         [](TestMachine& machine) {
             machine.packages.AddPackage(kOtherFamily, kBothStaged);
             machine.packages.AddPackage(kFirst, kBothStaged);
         },
         true,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), Success(Removal(kFirst)), Deprovision(), Unregister(),
                Success(Installation())}}),
         false,
         {kOtherFamily}},

        {"AnInstalledPackageStaysEveryUserIsStillReadAndTheOthersAreRemoved",
         [](TestMachine& machine) {
             machine.packages.AddPackage(kFirst, {{kAlice, Installed}, {kBob, Staged}});
             machine.packages.AddPackage(kSecond, kBothStaged);
         },
         false,
         Join({{FindAll()},
               StagedCheck(kFirst),
               StagedCheck(kSecond),
               {Remove(kSecond), Success(Removal(kSecond))}}),
         true,
         {kFirst}},

        {"APackageWithAnExternalLocationStaysWithoutAUserSearch",
         [](TestMachine& machine) {
             machine.packages.AddPackage(MakePackageInfo(kFamily, u"124.0.1.5", u"Halvern Client", true),
                                         kBothStaged);
             machine.packages.AddPackage(kSecond, kBothStaged);
         },
         false,
         Join({{FindAll()}, StagedCheck(kSecond), {Remove(kSecond), Success(Removal(kSecond))}}),
         true,
         {MakePackageInfo(kFamily, u"124.0.1.5", u"Halvern Client", true)}},

        {"AFailedRemovalIsReportedAndTheNextPackageIsStillRemoved",
         then(plant({kFirst, kSecond}),
              [](TestMachine& machine) {
                  machine.packages.SetRemovalOutcome(kFirst.full_name,
                                                     DeploymentOutcome{kPackageInUse, kInUseText});
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
         then(plant({kFirst, kSecond}),
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
               {Remove(kSecond),
                HresultReport(Removal(kSecond), winrt::hresults::kCanceled, u"Canceled.\r\n")}}),
         true,
         {kSecond}},

        {"AFailedDeprovisioningKeepsTheRegistration",
         then(plant({kFirst}),
              [](TestMachine& machine) {
                  machine.packages.SetDeprovisionOutcome(
                      kFamily, DeploymentOutcome{kDeprovisionFailed, kDeprovisionText});
              }),
         false,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), Success(Removal(kFirst)), Deprovision(),
                MsixReport(Installation(), 2003, kDeprovisionFailed, kDeprovisionText)}}),
         true,
         {}},

        {"AFailedDeprovisioningOfAnEmptyFamilyIsReportedOnce",
         [](TestMachine& machine) {
             machine.packages.SetDeprovisionOutcome(kFamily,
                                                    DeploymentOutcome{kDeprovisionFailed, kDeprovisionText});
         },
         false,
         {FindAll(), Deprovision(), MsixReport(Installation(), 2003, kDeprovisionFailed, kDeprovisionText)},
         true,
         {}},

        {"AFailedUnregistrationIsReportedAfterTheDeprovisioning",
         then(plant({kFirst}),
              [](TestMachine& machine) {
                  machine.registry.CreateKey(kHkeyLocalMachine,
                                             testing::kClientsPath + kRecord.app_id + u"\\Sub");
              }),
         false,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), Success(Removal(kFirst)), Deprovision(), Unregister(),
                MsixReport(Installation(), 2018, 5, u"Access denied.\r\n")}}),
         true,
         {}},

        {"AFailedPackageSearchTouchesNothing",
         then(plant({kFirst}),
              [](TestMachine& machine) {
                  machine.packages.FailCalls(PackageManagerFunction::FindPackagesForAllUsers, kFamily,
                                             MsixFailure(MSIXErrorCode::FindPackagesFailure,
                                                         winrt::hresults::kAccessDenied, u"Denied."));
              }),
         false,
         {FindAll(), MsixReport(Installation(), 2019, winrt::hresults::kAccessDenied, u"Denied.")},
         true,
         {kFirst}},

        {"AFailedUserSearchEndsTheRunAfterTheRemovalsSoFar",
         then(plant({kFirst, kSecond, kThird}),
              [](TestMachine& machine) {
                  machine.packages.FailCalls(PackageManagerFunction::FindPackageUsers, kThird.full_name,
                                             MsixFailure(MSIXErrorCode::FindUsersFailure,
                                                         winrt::hresults::kFail, u"Unspecified error"));
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
         then(plant({kFirst, kSecond}),
              [](TestMachine& machine) {
                  machine.packages.FailWhen(
                      [](const PackageManagerCall& call) {
                          return Matches(call, PackageManagerFunction::InstallState, kFirst) &&
                                 call.user == kBob;
                      },
                      HresultFailure(winrt::hresults::kWrongThread, u"Wrong thread."));
              }),
         false,
         {FindAll(), Users(kFirst), State(kFirst, kAlice), State(kFirst, kBob),
          HresultReport(Installation(), winrt::hresults::kWrongThread, u"Wrong thread.")},
         true,
         {kFirst, kSecond}},

        {"ASuccessReportThatThrowsIsTheInstallationsFailure",
         then(plant({kFirst, kSecond}),
              [](TestMachine& machine) {
                  machine.reporter.ThrowWhen(
                      [](const RecordedReport& report) {
                          return report.event_kind == RemovePackage &&
                                 report.function == ReportFunction::ReportSuccess;
                      },
                      OutOfMemory());
              }),
         false,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), Success(Removal(kFirst)), StdReport(Installation(), "std::bad_alloc")}}),
         true,
         {kSecond}},

        {"AFailureReportThatThrowsForARemovalIsTheInstallationsFailure",
         then(plant({kFirst, kSecond}),
              [](TestMachine& machine) {
                  machine.packages.SetRemovalOutcome(kFirst.full_name,
                                                     DeploymentOutcome{kPackageInUse, kInUseText});
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
         then(plant({kFirst}),
              [](TestMachine& machine) {
                  machine.reporter.ThrowWhen(
                      [](const RecordedReport& report) {
                          return report.event_kind == Uninstall &&
                                 report.function == ReportFunction::ReportSuccess;
                      },
                      OutOfMemory());
              }),
         false,
         Join({{FindAll()},
               StagedCheck(kFirst),
               {Remove(kFirst), Success(Removal(kFirst)), Deprovision(), Unregister(),
                Success(Installation()), StdReport(Installation(), "std::bad_alloc")}}),
         false,
         {}},
    };
}

class MachineWideScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(MachineWideScenario, DoesExactlyWhatTheDecisionsAllow) {
    const Scenario& scenario = GetParam();
    TestMachine machine;
    machine.Register(kMachine, kRecord);
    machine.messages.texts[{5, 0x0409}] = u"Access denied.\r\n";
    scenario.arrange(machine);

    const bool cleaned_up = CleanUpMachineWide(machine.services, kRecord);

    EXPECT_EQ(cleaned_up, scenario.cleaned_up);
    EXPECT_EQ(machine.journal, scenario.journal);
    EXPECT_EQ(machine.IsRegistered(kMachine, kRecord.app_id), scenario.registration_kept);
    std::vector<PackageInfo> left = machine.packages.PackagesOf(kFamily);
    const std::vector<PackageInfo> others = machine.packages.PackagesOf(kOtherFamily.family_name);
    left.insert(left.begin(), others.begin(), others.end());
    EXPECT_EQ(left, scenario.packages_left);
    // Every registry key the unregistration opened was closed again, whatever happened.
    EXPECT_EQ(machine.registry.OpenHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Decisions, MachineWideScenario, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& scenario) {
                             return scenario.param.name;
                         });

TEST(MachineWideRemoval, EveryStateOtherThanStagedKeepsThePackage) {
    for (const std::int32_t state : std::vector<std::int32_t>{NotInstalled, Installed, Paused, 3, 4, 5, -1}) {
        SCOPED_TRACE(state);
        TestMachine machine;
        machine.Register(kMachine, kRecord);
        // The blocking entry is the last one: reading stops at no entry.
        machine.packages.AddPackage(kFirst, {{kAlice, Staged}, {kBob, Staged}, {u"S-1-5-21-1003", state}});

        EXPECT_FALSE(CleanUpMachineWide(machine.services, kRecord));

        EXPECT_TRUE(machine.packages.HasPackage(kFirst.full_name));
        EXPECT_TRUE(machine.packages.CallsOf(PackageManagerFunction::RemovePackageForAllUsers).empty());
        EXPECT_EQ(machine.packages.CallsOf(PackageManagerFunction::InstallState).size(), 3u);
        EXPECT_TRUE(machine.reporter.reports.empty());
        EXPECT_TRUE(machine.packages.IsProvisioned(kFamily));
        EXPECT_TRUE(machine.IsRegistered(kMachine, kRecord.app_id));
    }
}

// Each failure a removal can raise lands in the inner region, in the report of its own type, with the
// exception's own dynamic type, and the run goes on with the next package.
struct RaisedFailure {
    std::string name;
    std::exception_ptr error;
    ReportFunction report;
    std::type_index type;
};

std::vector<RaisedFailure> RaisedFailures() {
    std::vector<RaisedFailure> failures = {
        {"MSIXException", MsixFailure(MSIXErrorCode::PackageRemoveFailure, -7, u"x"),
         ReportFunction::ReportMSIXFailure, typeid(MSIXException)},
        {"hresult_error", HresultFailure(winrt::hresults::kFail, u"x"), ReportFunction::ReportHresultFailure,
         typeid(winrt::hresult_error)},
        {"E_OUTOFMEMORY", HresultFailure(winrt::hresults::kOutOfMemory, u"x"),
         ReportFunction::ReportStdFailure, typeid(std::bad_alloc)},
        {"runtime_error", std::make_exception_ptr(std::length_error("vector")),
         ReportFunction::ReportStdFailure, typeid(std::length_error)},
    };
    const std::pair<winrt::hresult, std::type_index> kinds[] = {
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
    for (const auto& [code, type] : kinds) {
        failures.push_back({"hresult " + std::to_string(code), HresultFailure(code, u"x"),
                            ReportFunction::ReportHresultFailure, type});
    }
    return failures;
}

TEST(MachineWideRemoval, EachKindOfRemovalFailureIsReportedByItsOwnReportForThatPackageOnly) {
    for (const RaisedFailure& failure : RaisedFailures()) {
        SCOPED_TRACE(failure.name);
        TestMachine machine;
        machine.Register(kMachine, kRecord);
        machine.packages.AddPackage(kFirst, kBothStaged);
        machine.packages.AddPackage(kSecond, kBothStaged);
        machine.packages.FailCalls(PackageManagerFunction::RemovePackageForAllUsers, kFirst.full_name,
                                   failure.error);

        EXPECT_FALSE(CleanUpMachineWide(machine.services, kRecord));

        ASSERT_EQ(machine.reporter.reports.size(), 2u);
        const RecordedReport& report = machine.reporter.reports[0];
        EXPECT_EQ(report.function, failure.report);
        EXPECT_EQ(report.error_type, failure.type);
        EXPECT_EQ(report.event_kind, RemovePackage);
        EXPECT_EQ(report.app_name, kFirst.display_name);
        EXPECT_EQ(machine.reporter.reports[1].function, ReportFunction::ReportSuccess);
        EXPECT_EQ(machine.reporter.reports[1].app_name, kSecond.display_name);
        EXPECT_FALSE(machine.packages.HasPackage(kSecond.full_name));
        EXPECT_TRUE(machine.packages.CallsOf(PackageManagerFunction::DeprovisionForAllUsers).empty());
    }
}

TEST(MachineWideRemoval, EachKindOfDeprovisioningFailureIsTheInstallationsOnlyOutcome) {
    for (const RaisedFailure& failure : RaisedFailures()) {
        SCOPED_TRACE(failure.name);
        TestMachine machine;
        machine.Register(kMachine, kRecord);
        machine.packages.FailCalls(PackageManagerFunction::DeprovisionForAllUsers, kFamily, failure.error);

        EXPECT_FALSE(CleanUpMachineWide(machine.services, kRecord));

        ASSERT_EQ(machine.reporter.reports.size(), 1u);
        const RecordedReport& report = machine.reporter.reports[0];
        EXPECT_EQ(report.function, failure.report);
        EXPECT_EQ(report.error_type, failure.type);
        EXPECT_EQ(report.event_kind, Uninstall);
        EXPECT_TRUE(report.machine_wide);
        EXPECT_EQ(report.app_name, kRecord.name);
        EXPECT_EQ(report.version, kRecord.version);
        EXPECT_TRUE(machine.IsRegistered(kMachine, kRecord.app_id));
        EXPECT_TRUE(machine.registry.CallsOf(testing::RegistryFunction::RegDeleteKeyW).empty());
    }
}

TEST(MachineWideRemoval, AFailureReportThatThrowsInTheOuterRegionLeavesTheOperation) {
    TestMachine machine;
    machine.Register(kMachine, kRecord);
    machine.packages.FailCalls(PackageManagerFunction::FindPackagesForAllUsers, kFamily,
                               MsixFailure(MSIXErrorCode::FindPackagesFailure, 1, u"x"));
    machine.reporter.ThrowWhen([](const RecordedReport&) { return true; }, OutOfMemory());

    EXPECT_THROW(CleanUpMachineWide(machine.services, kRecord), std::bad_alloc);
    ASSERT_EQ(machine.reporter.reports.size(), 1u);
    EXPECT_TRUE(machine.reporter.reports[0].threw);
}

TEST(MachineWideRemoval, AFailureReportThatThrowsInTheSecondRegionIsFollowedByTheOuterOne) {
    TestMachine machine;
    machine.Register(kMachine, kRecord);
    machine.packages.SetDeprovisionOutcome(kFamily, DeploymentOutcome{kDeprovisionFailed, kDeprovisionText});
    machine.reporter.ThrowWhen([](const RecordedReport& report) { return report.index == 0; },
                               std::make_exception_ptr(std::runtime_error("encoder")));

    EXPECT_FALSE(CleanUpMachineWide(machine.services, kRecord));

    EXPECT_EQ(machine.Reports(),
              (std::vector<std::string>{
                  MsixReport(Installation(), 2003, kDeprovisionFailed, kDeprovisionText) + " (threw)",
                  StdReport(Installation(), "encoder")}));
    EXPECT_TRUE(machine.IsRegistered(kMachine, kRecord.app_id));
}

TEST(MachineWideRemoval, ReportsAreMachineWideAndCarryEmptyRecordFieldsAsEmpty) {
    TestMachine machine;
    const InstallationRecord bare{u"{B2}", u"", u"", kFamily};
    machine.Register(kMachine, bare);

    EXPECT_TRUE(CleanUpMachineWide(machine.services, bare));

    ASSERT_EQ(machine.reporter.reports.size(), 1u);
    EXPECT_EQ(Describe(machine.reporter.reports[0]),
              "ReportSuccess Uninstall machine '' Halvern.Client_pub ");
    EXPECT_FALSE(machine.IsRegistered(kMachine, bare.app_id));
}

TEST(MachineWideRemoval, WithdrawsOnlyTheMachinesRegistration) {
    TestMachine machine;
    machine.Register(kMachine, kRecord);
    machine.Register(!kMachine, kRecord);
    machine.Register(kMachine, InstallationRecord{u"{C3}", u"Sibling", u"1", kFamily});

    EXPECT_TRUE(CleanUpMachineWide(machine.services, kRecord));

    EXPECT_FALSE(machine.IsRegistered(kMachine, kRecord.app_id));
    EXPECT_TRUE(machine.IsRegistered(!kMachine, kRecord.app_id));
    EXPECT_TRUE(machine.IsRegistered(kMachine, u"{C3}"));
    EXPECT_FALSE(machine.packages.IsProvisioned(kFamily));
}

}  // namespace
}  // namespace halvern
