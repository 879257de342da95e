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

inline const char* ReportName(ReportFunction function) {
    switch (function) {
        case ReportFunction::ReportSuccess:
            return "ReportSuccess";
        case ReportFunction::ReportMSIXFailure:
            return "ReportMSIXFailure";
        case ReportFunction::ReportHresultFailure:
            return "ReportHresultFailure";
        case ReportFunction::ReportStdFailure:
            return "ReportStdFailure";
    }
    return "?";
}

// "ReportMSIXFailure RemovePackage machine 'Display' Family 1.2.3 code=2005 system_error=-5 'text'"
inline std::string Describe(const RecordedReport& report) {
    std::string text = ReportName(report.function);
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
    if (report.threw) {
        text += " (threw)";
    }
    return text;
}

inline const std::u16string kClientsPath = u"Software\\HalvernUpdate\\Update\\Clients\\";

class TestMachine {
  public:
    TestMachine() {
        packages.before_call = [this](FakePackageManager&, const PackageManagerCall& call) {
            std::string line = std::string(FunctionName(call.function)) + " " + Narrow(call.argument);
            if (!call.user.empty()) {
                line += " " + Narrow(call.user);
            }
            journal.push_back(line);
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

    std::vector<std::string> Reports() const {
        std::vector<std::string> described;
        for (const RecordedReport& report : reporter.reports) {
            described.push_back(Describe(report));
        }
        return described;
    }

    FakePackageManager packages;
    FakeRegistry registry;
    FakeSystemMessages messages;
    FakeOutcomeReporter reporter;
    CleanupServices services{packages, registry, messages, reporter};
    std::vector<std::string> journal;
};

}  // namespace halvern::testing
