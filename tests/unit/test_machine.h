#pragma once
// A machine for the cleanup drivers: the fake package manager, registry, message table and outcome
// reporter, with one journal of what the drivers did across all of them, in order.

#include <string>
#include <vector>

#include "fakes/fake_outcome_reporter.h"
#include "fakes/fake_package_manager.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_system_messages.h"
#include "packages/cleanup_services.h"
#include "registry/installation_record.h"

namespace halvern::testing {

// ASCII as is, anything else as \u{XXXX}: journal lines stay readable in a test's diff.
inline std::string Narrow(const std::u16string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string narrow;
    for (const char16_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F) {
            narrow += static_cast<char>(unit);
        } else {
            narrow += "\\u{";
            for (int shift = 12; shift >= 0; shift -= 4) {
                narrow += kHex[(unit >> shift) & 0xF];
            }
            narrow += "}";
        }
    }
    return narrow;
}

// "ReportMSIXFailure RemovePackage machine 'Display' Family 1.2.3 code=2005 system_error=-5 'text'"
inline std::string Describe(const RecordedReport& report) {
    static const char* const kFunctions[] = {"ReportSuccess", "ReportMSIXFailure", "ReportHresultFailure",
                                             "ReportStdFailure"};
    std::string text = kFunctions[static_cast<int>(report.function)];
    text += report.event_kind == RemovePackage ? " RemovePackage"
            : report.event_kind == Uninstall   ? " Uninstall"
                                               : " ?";
    text += report.machine_wide ? " machine" : " user";
    text += " '" + Narrow(report.app_name) + "' " + Narrow(report.package_family_name) + " " +
            Narrow(report.version);
    if (report.msix_code) {
        text += " code=" + std::to_string(static_cast<int>(*report.msix_code)) +
                " system_error=" + std::to_string(report.system_error) + " '" + Narrow(report.message) + "'";
    }
    if (report.hresult) {
        text += " hresult=" + std::to_string(*report.hresult) + " '" + Narrow(report.message) + "'";
    }
    if (report.function == ReportFunction::ReportStdFailure) {
        text += " what='" + report.what + "'";
    }
    return text;
}

inline const std::u16string kClientsPath = u"Software\\HalvernUpdate\\Update\\Clients\\";

class TestMachine {
  public:
    TestMachine() {
        packages.before_call = [this](const PackageManagerCall& call) {
            journal.push_back(std::string(FunctionName(call.function)) + " " + Narrow(call.argument) +
                              (call.user.empty() ? "" : " " + Narrow(call.user)));
        };
        registry.before_call = [this](FakeRegistry&, const RegistryCall& call) {
            if (call.function == RegistryFunction::RegDeleteKeyW) {
                journal.push_back("RegDeleteKeyW " + Narrow(call.sub_key));
            }
        };
        reporter.before_report = [this](const RecordedReport& report) {
            journal.push_back(Describe(report));
        };
    }
    TestMachine(const TestMachine&) = delete;
    TestMachine& operator=(const TestMachine&) = delete;

    // Plants the record's registration in the hive of the mode, with its three values.
    void Register(bool machine_wide, const InstallationRecord& record) {
        const std::u16string path = kClientsPath + record.app_id;
        registry.SetString(Hive(machine_wide), path, u"name", record.name);
        registry.SetString(Hive(machine_wide), path, u"pv", record.version);
        registry.SetString(Hive(machine_wide), path, u"PackageFamilyName", record.package_family_name);
    }
    bool IsRegistered(bool machine_wide, const std::u16string& app_id) const {
        return registry.KeyExists(Hive(machine_wide), kClientsPath + app_id);
    }
    static RegistryKeyHandle Hive(bool machine_wide) {
        return machine_wide ? kHkeyLocalMachine : kHkeyCurrentUser;
    }

    // Runs a driver; an exception that leaves it is journalled as "escaped <what>".
    template <typename Driver>
    bool Run(Driver driver, const InstallationRecord& record) {
        try {
            return driver(services, record);
        } catch (const std::exception& error) {
            journal.push_back(std::string("escaped ") + error.what());
            return false;
        }
    }

    FakePackageManager packages;
    FakeRegistry registry;
    FakeSystemMessages messages;
    FakeOutcomeReporter reporter;
    CleanupServices services{packages, registry, messages, reporter};
    std::vector<std::string> journal;
};

}  // namespace halvern::testing
