// Both drivers over thousands of generated machines: families, packages, users and their states,
// external locations, registrations in both hives, and failures injected at any call. Every machine
// comes from a fixed seed, so a failure names the seed that reproduces it.

#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <map>
#include <new>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "packages/machine_wide_removal.h"
#include "packages/per_user_cleanup.h"
#include "test_machine.h"

namespace halvern {
namespace {

using testing::FakePackageManager;
using testing::FakeRegistry;
using testing::FakeUserEntry;
using testing::HresultFailure;
using testing::MakePackageInfo;
using testing::MsixFailure;
using testing::Narrow;
using testing::OutOfMemory;
using testing::PackageManagerCall;
using testing::PackageManagerFunction;
using testing::RecordedReport;
using testing::RegistryCall;
using testing::RegistryFunction;
using testing::ReportFunction;
using testing::TestMachine;

constexpr std::uint32_t kFirstSeed = 20240601;
constexpr int kMachines = 3000;

class Draw {
  public:
    explicit Draw(std::uint32_t seed) : engine_(seed) {}
    // The engine's output is fixed by the standard; the reduction is ours, so every library draws alike.
    std::uint32_t Below(std::uint32_t bound) { return engine_() % bound; }
    bool Chance(std::uint32_t percent) { return Below(100) < percent; }

  private:
    std::mt19937 engine_;
};

std::exception_ptr AnyFailure(Draw& draw) {
    static const winrt::hresult kCodes[] = {winrt::hresults::kFail, winrt::hresults::kOutOfMemory,
                                            winrt::hresults::kAccessDenied, winrt::hresults::kCanceled};
    static const MSIXErrorCode kMsixCodes[] = {
        MSIXErrorCode::FindPackagesFailure, MSIXErrorCode::FindUsersFailure,
        MSIXErrorCode::PackageRemoveFailure, MSIXErrorCode::PackageDeprovisionFailure};
    switch (draw.Below(4)) {
        case 0:
            return MsixFailure(kMsixCodes[draw.Below(4)], -static_cast<std::int32_t>(draw.Below(1000)),
                               u"injected");
        case 1:
            return HresultFailure(kCodes[draw.Below(sizeof(kCodes) / sizeof(kCodes[0]))], u"injected");
        case 2:
            return OutOfMemory();
        default:
            return std::make_exception_ptr(std::length_error("injected"));
    }
}

std::int32_t AnyState(Draw& draw) {
    const std::uint32_t roll = draw.Below(100);
    return roll < 70 ? Staged : roll < 82 ? Installed : roll < 90 ? Paused : roll < 95 ? NotInstalled : 4;
}

struct GeneratedMachine {
    TestMachine machine;
    std::vector<InstallationRecord> user_records;
    std::vector<InstallationRecord> machine_records;
    std::map<std::u16string, PackageInfo> planted;  // By full name.
};

void Generate(Draw& draw, GeneratedMachine& generated) {
    TestMachine& machine = generated.machine;
    const std::u16string users[] = {machine.packages.current_user, u"S-1-5-21-2002", u"S-1-5-21-3003"};
    std::vector<std::u16string> families;
    std::vector<std::u16string> full_names;
    const std::uint32_t family_count = 1 + draw.Below(3);
    for (std::uint32_t family = 0; family < family_count; ++family) {
        const std::u16string family_name =
            u"Fam" + std::u16string(1, static_cast<char16_t>(u'A' + family)) + u"_pub";
        families.push_back(family_name);
        const std::uint32_t package_count = draw.Below(4);
        for (std::uint32_t package = 0; package < package_count; ++package) {
            const std::u16string version =
                u"1.0." + std::u16string(1, static_cast<char16_t>(u'0' + package)) + u".0";
            PackageInfo info = MakePackageInfo(family_name, version, u"Display " + version, draw.Chance(10));
            std::vector<FakeUserEntry> entries;
            for (const std::u16string& user : users) {
                if (draw.Chance(55)) {
                    entries.push_back({user, AnyState(draw)});
                }
            }
            full_names.push_back(info.full_name);
            generated.planted.emplace(info.full_name, info);
            machine.packages.AddPackage(std::move(info), std::move(entries));
        }
    }
    families.push_back(u"Ghost_pub");  // Registered, never installed.

    int next_app = 0;
    for (const bool machine_wide : {false, true}) {
        auto& records = machine_wide ? generated.machine_records : generated.user_records;
        const std::uint32_t record_count = draw.Below(4);
        for (std::uint32_t index = 0; index < record_count; ++index) {
            const std::u16string app =
                u"{" + std::u16string(1, static_cast<char16_t>(u'0' + next_app++)) + u"}";
            InstallationRecord record{app, u"App" + app, u"9.9", families[draw.Below(families.size())]};
            machine.Register(machine_wide, record);
            if (draw.Chance(5)) {
                machine.registry.CreateKey(TestMachine::Hive(machine_wide),
                                           testing::kClientsPath + app + u"\\Sub");
            }
            records.push_back(std::move(record));
        }
    }

    if (draw.Chance(40)) {
        const std::size_t call = draw.Below(30);
        machine.packages.FailWhen([call](const PackageManagerCall& made) { return made.index == call; },
                                  AnyFailure(draw));
    }
    if (!full_names.empty() && draw.Chance(15)) {
        machine.packages.FailCalls(PackageManagerFunction::RemovePackageForAllUsers,
                                   full_names[draw.Below(full_names.size())],
                                   MsixFailure(MSIXErrorCode::PackageRemoveFailure, 0x0D02, u"In use."));
    }
    if (draw.Chance(15)) {
        machine.packages.FailCalls(PackageManagerFunction::DeprovisionForAllUsers,
                                   families[draw.Below(families.size())],
                                   MsixFailure(MSIXErrorCode::PackageDeprovisionFailure,
                                               static_cast<std::int32_t>(draw.Below(2) + 1), u"No."));
    }
    if (draw.Chance(8)) {
        machine.registry.FailCalls(RegistryFunction::RegDeleteKeyW, 5);
    }
    if (draw.Chance(8)) {
        const std::size_t report = draw.Below(6);
        machine.reporter.ThrowWhen(
            [report](const RecordedReport& made) { return made.index == report; },
            draw.Chance(50) ? OutOfMemory() : std::make_exception_ptr(std::runtime_error("report")));
    }
}

// What happened during one driver call, and the violations seen while it ran.
struct RecordRun {
    const InstallationRecord* record = nullptr;
    bool machine_wide = false;
    std::size_t first_call = 0;    // Index of the first package-manager call of this record.
    std::size_t first_report = 0;  // Index of the first report of this record.
    bool reached_deprovisioning = false;
    bool deletion_attempted = false;
    std::vector<std::string> violations;
};

struct Totals {
    int removals = 0;
    int removals_failed = 0;
    int deprovisionings = 0;
    int withdrawn = 0;
    int kept_for_a_package = 0;
    int outer_failures = 0;
    int escaped = 0;
};

class PropertyCheck {
  public:
    PropertyCheck(GeneratedMachine& generated, Totals& totals) : generated_(generated), totals_(totals) {
        TestMachine& machine = generated.machine;
        machine.packages.before_call = [this](const PackageManagerCall& call) { OnPackageCall(call); };
        machine.registry.before_call = [this](FakeRegistry&, const RegistryCall& call) {
            OnRegistryCall(call);
        };
        machine.reporter.before_report = [this](const RecordedReport& report) { OnReport(report); };
    }

    std::vector<std::string> Run() {
        std::vector<std::string> violations;
        for (const bool machine_wide : {false, true}) {
            for (const InstallationRecord& record :
                 machine_wide ? generated_.machine_records : generated_.user_records) {
                RunOne(machine_wide, record, violations);
            }
        }
        return violations;
    }

  private:
    TestMachine& Machine() { return generated_.machine; }
    const InstallationRecord& Record() const { return *run_.record; }
    void Violation(const std::string& text) {
        run_.violations.push_back(Narrow(Record().app_id) + ": " + text);
    }

    // Packages of the record's family still in the scope of the mode.
    std::size_t PackagesInScope() {
        FakePackageManager& packages = Machine().packages;
        return packages
            .PackagesOf(Record().package_family_name, run_.machine_wide ? nullptr : &packages.current_user)
            .size();
    }

    void OnPackageCall(const PackageManagerCall& call) {
        const FakePackageManager& packages = Machine().packages;
        const bool is_removal = call.function == PackageManagerFunction::RemovePackageForAllUsers;
        if (is_removal) {
            if (!run_.machine_wide) {
                Violation("a per-user cleanup removed a package");
            }
            bool found = false;
            for (const PackageInfo& package : packages.PackagesOf(Record().package_family_name)) {
                if (package.full_name != call.argument) {
                    continue;
                }
                found = true;
                if (package.has_external_location) {
                    Violation("removed a package with an external location");
                }
                for (const FakeUserEntry& entry : packages.UsersOf(package.full_name)) {
                    if (entry.install_state != Staged) {
                        Violation("removed a package a user holds in state " +
                                  std::to_string(entry.install_state));
                    }
                }
            }
            if (!found) {
                Violation("removed a package that is not of the family or not there: " +
                          Narrow(call.argument));
            }
        }
        if (call.function == PackageManagerFunction::DeprovisionForAllUsers) {
            run_.reached_deprovisioning = true;
            if (!run_.machine_wide || call.argument != Record().package_family_name) {
                Violation("deprovisioned the wrong family or in a per-user cleanup");
            }
            if (PackagesInScope() != 0) {
                Violation("deprovisioned while a package of the family is left");
            }
            if (run_.deletion_attempted) {
                Violation("deprovisioned after the unregistration");
            }
        }
    }

    void OnRegistryCall(const RegistryCall& call) {
        if (call.function != RegistryFunction::RegDeleteKeyW) {
            return;
        }
        run_.deletion_attempted = true;
        if (call.sub_key != Record().app_id) {
            Violation("deleted another registration: " + Narrow(call.sub_key));
        }
        if (PackagesInScope() != 0) {
            Violation("deleted the registration while a package of its family is left in its scope");
        }
        if (run_.machine_wide) {
            const auto deprovisionings =
                Machine().packages.CallsOf(PackageManagerFunction::DeprovisionForAllUsers);
            if (deprovisionings.empty() || deprovisionings.back().index < run_.first_call ||
                deprovisionings.back().raised) {
                Violation("deleted the registration without a completed deprovisioning");
            }
        }
    }

    void OnReport(const RecordedReport& report) {
        if (report.machine_wide != run_.machine_wide) {
            Violation("a report of the wrong mode");
        }
        if (report.event_kind == Uninstall) {
            if (report.app_name != Record().name ||
                report.package_family_name != Record().package_family_name ||
                report.version != Record().version) {
                Violation("an Uninstall report without the record's values");
            }
            if (report.function == ReportFunction::ReportSuccess &&
                (Machine().IsRegistered(run_.machine_wide, Record().app_id) || PackagesInScope() != 0)) {
                Violation("an Uninstall success while the registration or a package is left");
            }
            return;
        }
        if (!run_.machine_wide) {
            Violation("a per-package report in a per-user cleanup");
            return;
        }
        // The package the report is about is the one whose removal was the last call made.
        const PackageManagerCall& last = Machine().packages.calls.back();
        if (last.function != PackageManagerFunction::RemovePackageForAllUsers) {
            Violation("a Remove_Package report that follows no removal");
            return;
        }
        if ((report.function == ReportFunction::ReportSuccess) == last.raised) {
            Violation("a Remove_Package report that does not match the removal's result");
        }
        const auto planted = generated_.planted.find(last.argument);
        if (planted == generated_.planted.end()) {
            Violation("a Remove_Package report for a package never planted");
            return;
        }
        const PackageInfo& expected = planted->second;
        if (report.app_name != expected.display_name || report.package_family_name != expected.family_name ||
            report.version != expected.version) {
            Violation("a Remove_Package report without the package's values");
        }
    }

    void RunOne(bool machine_wide, const InstallationRecord& record, std::vector<std::string>& violations) {
        TestMachine& machine = Machine();
        run_ = RecordRun{};
        run_.record = &record;
        run_.machine_wide = machine_wide;
        run_.first_call = machine.packages.calls.size();
        run_.first_report = machine.reporter.reports.size();
        bool cleaned_up = false;
        bool escaped = false;
        try {
            cleaned_up = machine_wide ? CleanUpMachineWide(machine.services, record)
                                      : CleanUpPerUser(machine.services, record);
        } catch (...) {
            escaped = true;
        }
        CheckOutcomes(cleaned_up, escaped);
        violations.insert(violations.end(), run_.violations.begin(), run_.violations.end());
    }

    void CheckOutcomes(bool cleaned_up, bool escaped) {
        TestMachine& machine = Machine();
        int uninstall_delivered = 0;
        int uninstall_successes = 0;
        bool a_report_threw = false;
        int package_reports = 0;
        for (std::size_t index = run_.first_report; index < machine.reporter.reports.size(); ++index) {
            const RecordedReport& report = machine.reporter.reports[index];
            a_report_threw = a_report_threw || report.threw;
            if (report.event_kind == RemovePackage) {
                ++package_reports;
            } else if (!report.threw) {
                ++uninstall_delivered;
                uninstall_successes += report.function == ReportFunction::ReportSuccess ? 1 : 0;
            }
        }
        int removals = 0;
        bool outer_failure = false;
        for (std::size_t index = run_.first_call; index < machine.packages.calls.size(); ++index) {
            const PackageManagerCall& call = machine.packages.calls[index];
            if (call.function == PackageManagerFunction::RemovePackageForAllUsers) {
                ++removals;
                totals_.removals_failed += call.raised ? 1 : 0;
            } else if (call.function != PackageManagerFunction::DeprovisionForAllUsers && call.raised) {
                outer_failure = true;  // A search or an InstallState read.
            }
        }
        // Per user, the deletion of the registration is what reaching the end means.
        const bool reached = run_.machine_wide ? run_.reached_deprovisioning : run_.deletion_attempted;
        const bool registered = machine.IsRegistered(run_.machine_wide, Record().app_id);

        if (escaped && !a_report_threw) {
            Violation("an exception left the driver although no report threw");
        }
        if (uninstall_delivered > 1) {
            Violation("more than one Uninstall outcome");
        }
        if (cleaned_up != (uninstall_successes == 1) || (cleaned_up && registered)) {
            Violation("the result does not match the Uninstall success and the registration");
        }
        if (reached && !escaped && uninstall_delivered != 1) {
            Violation("an installation that reached the end has " + std::to_string(uninstall_delivered) +
                      " Uninstall outcomes");
        }
        if (!reached && !a_report_threw) {
            if (uninstall_delivered != (outer_failure ? 1 : 0)) {
                Violation("an installation that stopped short has " + std::to_string(uninstall_delivered) +
                          " Uninstall outcomes");
            }
            if (!outer_failure && PackagesInScope() == 0) {
                Violation("stopped short although no package of the family is left");
            }
        }
        if (!a_report_threw && package_reports != removals) {
            Violation("not exactly one Remove_Package outcome per removal");
        }
        if (!registered && !run_.deletion_attempted) {
            Violation("the registration vanished");
        }

        totals_.removals += removals;
        totals_.deprovisionings += run_.reached_deprovisioning ? 1 : 0;
        totals_.withdrawn += cleaned_up ? 1 : 0;
        totals_.kept_for_a_package += !reached && !outer_failure && !a_report_threw ? 1 : 0;
        totals_.outer_failures += outer_failure ? 1 : 0;
        totals_.escaped += escaped ? 1 : 0;
    }

    GeneratedMachine& generated_;
    Totals& totals_;
    RecordRun run_;
};

TEST(CleanupProperties, HoldOnThousandsOfGeneratedMachines) {
    Totals totals;
    std::vector<std::string> violations;
    for (int machine = 0; machine < kMachines; ++machine) {
        const std::uint32_t seed = kFirstSeed + static_cast<std::uint32_t>(machine);
        Draw draw(seed);
        GeneratedMachine generated;
        Generate(draw, generated);
        PropertyCheck check(generated, totals);
        for (const std::string& violation : check.Run()) {
            violations.push_back("seed " + std::to_string(seed) + " " + violation);
        }
    }

    std::ostringstream shown;
    for (std::size_t index = 0; index < violations.size() && index < 10; ++index) {
        shown << violations[index] << "\n";
    }
    EXPECT_TRUE(violations.empty()) << violations.size() << " violations, the first:\n" << shown.str();
    // The generator reaches every kind of outcome often, or the properties prove little.
    EXPECT_GT(totals.removals, 1000);
    EXPECT_GT(totals.removals_failed, 60);
    EXPECT_GT(totals.deprovisionings, 500);
    EXPECT_GT(totals.withdrawn, 500);
    EXPECT_GT(totals.kept_for_a_package, 500);
    EXPECT_GT(totals.outer_failures, 100);
    EXPECT_GT(totals.escaped, 15);
}

}  // namespace
}  // namespace halvern
