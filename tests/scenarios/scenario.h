#pragma once
// A cleanup scenario: the machine before a run (registrations, package world, telemetry answer, the
// command line) and what must come out (lines, events, package-manager calls, deleted registrations).
// The native runner, the end-to-end runner and the test package manager read the same text; see
// README.md in this folder for the format.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvern::scenarios {

struct UserEntry {
    std::u16string security_id;
    std::int32_t install_state = 0;
};

struct Package {
    std::u16string full_name;
    std::u16string family_name;  // Name_PublisherId of the full name
    std::u16string name;         // default: the full name up to its first "_"
    std::u16string display_name;
    std::uint16_t version[4] = {0, 0, 0, 0};
    std::u16string installed_path;
    std::u16string external_path;
    bool current_user = false;
    std::vector<UserEntry> users;
    bool has_package2 = true;
    bool has_package8 = true;
};

struct Deployment {
    std::u16string target;  // package full name (removal) or family name (deprovisioning)
    std::int32_t extended_error = 0;
    std::u16string error_text;
};

enum class FailureKind { Status, NullObject, BadAlloc };

struct Failure {
    std::string call;
    FailureKind kind = FailureKind::Status;
    std::int32_t status = 0;
    int nth = 0;  // 0: every call
};

struct RegistryValue {
    std::u16string name;
    std::uint32_t type = 1;  // REG_SZ, or REG_DWORD (4)
    std::u16string text;
    std::uint32_t number = 0;
};

// A registration under "Software\HalvernUpdate\Update\Clients\" in the 32-bit view of a hive ("HKLM",
// "HKCU"), or in the 64-bit view of HKLM ("HKLM64"), where the tool must never look.
struct Registration {
    std::string hive;
    std::u16string app_id;
    std::vector<RegistryValue> values;
    bool has_subkey = false;
};

struct ExpectedEvent {
    std::u16string event_type;
    std::u16string app_name;
    std::u16string package_family_name;
    std::u16string version;
    std::optional<std::u16string> error_code;
    std::optional<std::u16string> error_message;  // may hold {text N} and {hresult N} placeholders
};

struct Scenario {
    std::string name;
    std::vector<std::string> text;  // its lines but "scenario", "like" ones replaced by what they name
    bool native = true;
    bool wine = false;
    bool machine_wide = false;              // the run's expected mode
    std::vector<std::u16string> arguments;  // after the program path; "/InstallType:MACHINE" for "machine"
    std::vector<Registration> registrations;
    std::optional<std::u16string> machine_uid = u"{M-UID}";
    std::optional<std::u16string> user_uid = u"{U-UID}";
    std::uint32_t sink_status = 200;

    // The package world.
    std::vector<Package> packages;
    std::vector<Deployment> removals;
    std::vector<Deployment> deprovisionings;
    std::vector<Failure> failures;
    bool complete_later = false;
    bool has_manager2 = true;
    bool has_manager8 = true;
    std::u16string log_path;
    std::u16string state_path;

    // What must come out.
    std::vector<std::u16string> lines;  // between the start and finish lines
    std::vector<ExpectedEvent> events;
    std::vector<std::u16string>
        calls;  // "FindAll F", "FindMine F", "FindUsers P", "State S", "Remove P", ...
    std::vector<std::pair<std::string, std::u16string>> deleted;  // hive, app id

    const Deployment* Removal(const std::u16string& full_name) const { return Outcome(removals, full_name); }
    const Deployment* Deprovisioning(const std::u16string& family_name) const {
        return Outcome(deprovisionings, family_name);
    }
    static const Deployment* Outcome(const std::vector<Deployment>& outcomes, const std::u16string& target) {
        const auto found = std::ranges::find(outcomes, target, &Deployment::target);
        return found == outcomes.end() ? nullptr : &*found;
    }
};

// Every scenario of a table. A text without "scenario" lines is one unnamed scenario. Returns false
// with the line and the reason in `problem` for anything it cannot read.
bool ParseScenarios(std::string_view utf8, std::vector<Scenario>& scenarios, std::string& problem);

// The text of a field, with the escapes \0 \n \r \t \\ and \uXXXX; any other backslash is itself.
std::u16string Unescaped(std::string_view utf8);
std::string Utf8(const std::u16string& text);

}  // namespace halvern::scenarios
