#include "packages/per_user_cleanup.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_machine.h"

namespace halvern {
namespace {

using testing::FakeUserEntry;
using testing::HresultFailure;
using testing::MakePackageInfo;
using testing::MsixFailure;
using testing::OutOfMemory;
using testing::PackageManagerFunction;
using testing::RecordedReport;
using testing::TestMachine;

constexpr bool kUser = false;
const std::u16string kFamily = u"Halvern.Client_pub";
const InstallationRecord kRecord{u"{A1}", u"Halvern", u"124.0", kFamily};
const std::u16string kMe = u"S-1-5-21-1001";
const std::u16string kSomeoneElse = u"S-1-5-21-1002";

const std::string kSearch = "FindPackagesForCurrentUser Halvern.Client_pub";
const std::string kUnregister = "RegDeleteKeyW {A1}";
const std::string kSubject = "Uninstall user 'Halvern' Halvern.Client_pub 124.0";

struct Scenario {
    std::string name;
    std::function<void(TestMachine&)> arrange;
    bool cleaned_up;
    std::vector<std::string> journal;
    bool registration_kept;
};

void PlantFor(TestMachine& machine, std::vector<FakeUserEntry> users) {
    machine.packages.AddPackage(MakePackageInfo(kFamily, u"124.0.1.5", u"Halvern Client"), std::move(users));
}

void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

std::vector<Scenario> Scenarios() {
    return {
        {"NoPackageOfTheFamilyLeftMakesTheRegistrationStale",
         [](TestMachine&) {},
         true,
         {kSearch, kUnregister, "ReportSuccess " + kSubject},
         false},

        {"APackageOnlyAnotherUserHasDoesNotCount",
         [](TestMachine& machine) {
             PlantFor(machine, {{kSomeoneElse, Installed}});
         },
         true,
         {kSearch, kUnregister, "ReportSuccess " + kSubject},
         false},

        {"AnyPackageListedForTheUserKeepsTheRegistrationWhateverItsState",
         [](TestMachine& machine) {
             PlantFor(machine, {{kMe, Staged}});
         },
         false,
         {kSearch},
         true},

        {"AFailedSearchIsReportedAndTheRegistrationStays",
         [](TestMachine& machine) {
             machine.packages.FailCalls(
                 PackageManagerFunction::FindPackagesForCurrentUser, kFamily,
                 MsixFailure(MSIXErrorCode::FindPackagesFailure, static_cast<std::int32_t>(0x80070422),
                             u"Service disabled.\r\n"));
         },
         false,
         {kSearch, "ReportMSIXFailure " + kSubject +
                       " code=2019 system_error=-2147023838 'Service disabled.\\u{000D}\\u{000A}'"},
         true},

        {"AnUnconvertedPlatformFailureIsReportedAsSuch",
         [](TestMachine& machine) {
             machine.packages.FailCalls(PackageManagerFunction::FindPackagesForCurrentUser, kFamily,
                                        HresultFailure(winrt::hresults::kAccessDenied, u"Access is denied."));
         },
         false,
         {kSearch, "ReportHresultFailure " + kSubject + " hresult=-2147024891 'Access is denied.'"},
         true},

        {"RunningOutOfMemoryIsReportedAsAStandardFailure",
         [](TestMachine& machine) {
             machine.packages.FailCalls(PackageManagerFunction::FindPackagesForCurrentUser, kFamily,
                                        OutOfMemory());
         },
         false,
         {kSearch, "ReportStdFailure " + kSubject + " what='std::bad_alloc'"},
         true},

        {"ARegistrationWithASubkeyIsNotDeleted",
         [](TestMachine& machine) {
             machine.registry.CreateKey(kHkeyCurrentUser,
                                        testing::kClientsPath + kRecord.app_id + u"\\Commands");
         },
         false,
         {kSearch, kUnregister,
          "ReportMSIXFailure " + kSubject + " code=2018 system_error=5 'Access denied.\\u{000D}\\u{000A}'"},
         true},

        {"ASuccessReportThatThrowsLeavesTheOperationAfterTheRegistrationIsGone",
         [](TestMachine& machine) {
             machine.reporter.ThrowWhen([](const RecordedReport&) { return true; }, OutOfMemory());
         },
         false,
         {kSearch, kUnregister, "ReportSuccess " + kSubject, "escaped std::bad_alloc"},
         false},

        {"AFailureReportThatThrowsLeavesTheOperationWithNoSecondReport",
         [](TestMachine& machine) {
             machine.packages.FailCalls(PackageManagerFunction::FindPackagesForCurrentUser, kFamily,
                                        MsixFailure(MSIXErrorCode::FindPackagesFailure, 1, u"x"));
             machine.reporter.ThrowWhen([](const RecordedReport&) { return true; },
                                        std::make_exception_ptr(std::runtime_error("encoder")));
         },
         false,
         {kSearch, "ReportMSIXFailure " + kSubject + " code=2019 system_error=1 'x'", "escaped encoder"},
         true},
    };
}

class PerUserScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(PerUserScenario, DecidesByTheCountOfTheUsersPackagesOnly) {
    const Scenario& scenario = GetParam();
    TestMachine machine;
    machine.packages.current_user = kMe;
    machine.Register(kUser, kRecord);
    machine.Register(!kUser, kRecord);  // The machine's registration of the same id is never touched.
    machine.messages.texts[{5, 0x0409}] = u"Access denied.\r\n";
    scenario.arrange(machine);
    const std::vector<PackageInfo> packages_before = machine.packages.PackagesOf(kFamily);

    EXPECT_EQ(machine.Run(CleanUpPerUser, kRecord), scenario.cleaned_up);

    EXPECT_EQ(machine.journal, scenario.journal);
    EXPECT_EQ(machine.IsRegistered(kUser, kRecord.app_id), scenario.registration_kept);
    EXPECT_TRUE(machine.IsRegistered(!kUser, kRecord.app_id));
    EXPECT_EQ(machine.packages.PackagesOf(kFamily), packages_before);
    EXPECT_EQ(machine.registry.OpenHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Decisions, PerUserScenario, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& scenario) {
                             return scenario.param.name;
                         });

}  // namespace
}  // namespace halvern
