// Every scenario of the table on the in-memory platform: the tool's whole pass with its production
// wiring, checked for its lines, every field of every event, the package manager's operations, the
// registry afterwards and the handles it left open.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

#include "app/cleanup_pass.h"
#include "fakes/fake_platform.h"
#include "preview/cleanup_planning.h"

namespace halvern::scenarios {

void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

}  // namespace halvern::scenarios

namespace halvern {
namespace {

using scenarios::Scenario;
using scenarios::Utf8;
using testing::FakePlatform;
using Fields = std::map<std::u16string, std::u16string>;

// What the fake host reports: its clock, version and architecture.
constexpr char16_t kTimestamp[] = u"1767176195479";
constexpr char16_t kDuration[] = u"18646";
constexpr char16_t kOsVersion[] = u"10.0.19045.3803";

// The scenarios the native level runs; an unreadable table becomes one scenario that fails with the reason.
std::vector<Scenario> Table() {
    std::ifstream file(HALVERN_SCENARIO_TABLE);
    std::stringstream text;
    text << file.rdbuf();
    std::vector<Scenario> all;
    std::string problem;
    if (!scenarios::ParseScenarios(text.str(), all, problem) || all.empty()) {
        all.assign(1, Scenario{});
        all[0].name = "unreadable table: " + problem;
        all[0].lines = {u"(the table could not be read)"};
    }
    std::erase_if(all, [](const Scenario& s) { return !s.native; });
    return all;
}

// {text N} and {hresult N} become the fake system's texts for N.
std::u16string Expand(std::u16string text) {
    for (const auto& [marker, language] : {std::pair{u"{text ", 0x0409u}, std::pair{u"{hresult ", 0x0400u}}) {
        for (std::size_t at = text.find(marker); at != std::u16string::npos; at = text.find(marker)) {
            const std::size_t start = at + std::char_traits<char16_t>::length(marker);
            const std::size_t end = text.find(u'}', at);
            const auto id =
                static_cast<std::uint32_t>(std::stoll(Utf8(text.substr(start, end - start)), nullptr, 0));
            text.replace(at, end - at + 1, FakePlatform::SystemText(id, language));
        }
    }
    return text;
}

Fields ExpectedEvent(const Scenario& scenario, const scenarios::ExpectedEvent& event,
                     const std::u16string& line) {
    Fields fields = {{u"timestamp_ms", kTimestamp},
                     {u"installer_name", u"HalvernCleanup"},
                     {u"app_name", event.app_name},
                     {u"event_type", event.event_type},
                     {u"package_family_name", event.package_family_name},
                     {u"version", event.version},
                     {u"os_version", kOsVersion},
                     {u"arch", u"x64"},
                     {u"result", event.error_message ? u"failure" : u"success"},
                     {u"duration_ms", kDuration},
                     {u"install_type", scenario.machine_wide ? u"machine" : u"user"},
                     {u"command_line", line}};
    if (const auto& uid = scenario.machine_wide ? scenario.machine_uid : scenario.user_uid) {
        fields[u"updater_id"] = *uid;
    }
    if (event.error_code) {
        fields[u"error_code"] = *event.error_code;
    }
    if (event.error_message) {
        fields[u"error_message"] = Expand(*event.error_message);
    }
    return fields;
}

class CleanupScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(CleanupScenario, DoesWhatTheTableSays) {
    const Scenario& scenario = GetParam();
    FakePlatform machine(scenario);
    const auto before = machine.keys;
    Platform platform = machine.platform();

    int exit_code = 1;
    try {  // as the entry point runs it
        exit_code = RunCleanupPass(platform);
    } catch (...) {
        exit_code = 0;
    }

    EXPECT_EQ(exit_code, 0);
    std::vector<std::u16string> lines{u"[HalvernMSIX] Start HalvernCleanup\n"};
    for (const auto& line : scenario.lines) {
        lines.push_back(u"[HalvernMSIX] " + line + u"\n");
    }
    lines.push_back(u"[HalvernMSIX] Finish HalvernCleanup\n");
    EXPECT_EQ(machine.lines, lines);

    std::vector<Fields> expected_events;
    for (const auto& event : scenario.events) {
        expected_events.push_back(ExpectedEvent(scenario, event, machine.command_line));
    }
    std::vector<Fields> events;
    for (const auto& request : machine.requests) {
        Fields& fields = events.emplace_back();
        for (const auto& [key, value] : testing::DecodeForm(request.body)) {
            EXPECT_TRUE(fields.emplace(key, value).second) << "twice: " << Utf8(key);
        }
        EXPECT_TRUE(request.body_whole);
    }
    EXPECT_EQ(events, expected_events);
    EXPECT_EQ(machine.calls, scenario.calls);

    auto expected_keys = before;
    for (const auto& [hive, app_id] : scenario.deleted) {
        EXPECT_EQ(expected_keys.erase(testing::KeyOf(FakePlatform::RegistrationPath(hive, app_id))), 1u)
            << "not planted: " << Utf8(app_id);
    }
    EXPECT_EQ(machine.keys, expected_keys);
    EXPECT_EQ(machine.open_keys(), 0u) << "a registry key was left open";
    EXPECT_EQ(machine.open_internet_handles(), 0u) << "a WinHTTP handle was left open";
}

// On every scenario in which no platform call fails (all a plan can foresee), the preview's plan in either
// mode is what the run then does: the packages removed, the families deprovisioned, the registrations
// deleted. (The preview holds only the seams' read-only faces, so it cannot change the machine itself.)
TEST(PreviewScenarios, PlanWhatTheRunThenDoes) {
    for (const Scenario& scenario : Table()) {
        if (!scenario.failures.empty()) {
            continue;
        }
        SCOPED_TRACE(scenario.name);
        for (const Scope machine_wide : {Scope::User, Scope::Machine}) {
            SCOPED_TRACE(machine_wide == Scope::Machine ? "machine-wide" : "per user");
            Scenario in_mode = scenario;
            in_mode.arguments.assign(machine_wide == Scope::Machine ? 1 : 0, u"/InstallType:MACHINE");
            FakePlatform machine(in_mode);
            const CleanupPlan plan = PlanCleanup(machine, machine, machine_wide);
            std::vector<std::u16string> planned;
            auto expected_keys = machine.keys;
            for (const PlannedRegistration& registration : plan.registrations) {
                for (const PlannedPackage& package : registration.packages) {
                    if (package.decision == PackageDecision::Remove) {
                        planned.push_back(u"Remove " + package.full_name);
                    }
                }
                if (registration.decision == RegistrationDecision::CleanUp) {
                    if (machine_wide == Scope::Machine) {
                        planned.push_back(u"Deprovision " + registration.record.package_family_name);
                    }
                    expected_keys.erase(testing::KeyOf(FakePlatform::RegistrationPath(
                        machine_wide == Scope::Machine ? "HKLM" : "HKCU", registration.record.app_id)));
                }
            }
            Platform platform = machine.platform();
            RunCleanupPass(platform);
            std::erase_if(machine.calls, [](const std::u16string& call) {
                return !call.starts_with(u"Remove ") && !call.starts_with(u"Deprovision ");
            });
            EXPECT_EQ(machine.calls, planned);
            EXPECT_EQ(machine.keys, expected_keys);
        }
    }
}

// A failed question: its package and its registration are "unknown" with the failure as the run words it,
// and the packages after it are not asked about, as the run stops there.
TEST(PreviewScenarios, LeaveWhatAFailedQuestionWasAboutUnknown) {
    std::vector<Scenario> machine_text;
    std::string problem;
    ASSERT_TRUE(
        scenarios::ParseScenarios("registration HKLM {1} A|1|A_p\npackage A_1__p\npackage A_2__p\n"
                                  "package A_3__p\nfail FindUsers 5 2\n",
                                  machine_text, problem));
    FakePlatform machine(machine_text.at(0));
    const PlannedRegistration planned = PlanCleanup(machine, machine, Scope::Machine).registrations.at(0);
    const std::u16string failure = u"MSIXError(FindUsersFailure): " + FakePlatform::SystemText(5, 0x0400);
    std::vector<PackageDecision> decisions;
    for (const PlannedPackage& package : planned.packages) {
        decisions.push_back(package.decision);
    }
    EXPECT_EQ(std::pair(planned.decision, planned.reason), std::pair(RegistrationDecision::Unknown, failure));
    EXPECT_EQ(decisions,
              (std::vector{PackageDecision::Remove, PackageDecision::Unknown, PackageDecision::Unknown}));
    EXPECT_EQ(planned.packages.at(1).reason, failure);
}

// Named after the scenario, in the characters a test name may hold.
INSTANTIATE_TEST_SUITE_P(Table, CleanupScenario, ::testing::ValuesIn(Table()),
                         [](const ::testing::TestParamInfo<Scenario>& param) {
                             std::string name = param.param.name;
                             std::ranges::replace_if(
                                 name, [](unsigned char c) { return std::isalnum(c) == 0; }, '_');
                             return name;
                         });

}  // namespace
}  // namespace halvern
