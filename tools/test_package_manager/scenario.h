#pragma once
// The scenario the test package manager plays, read from a small line-based file (see README.md),
// with the removals and deprovisionings of earlier operations read back from its state file.

#include <cstdint>
#include <string>
#include <vector>

namespace test_package_manager {

struct UserEntry {
    std::wstring security_id;
    std::int32_t install_state = 0;
};

struct PackageEntry {
    std::wstring full_name;
    std::wstring family_name;
    std::wstring name;
    std::wstring display_name;
    std::uint16_t version[4] = {0, 0, 0, 0};
    std::wstring installed_path;
    std::wstring external_path;
    bool current_user = false;
    std::vector<UserEntry> users;
    bool has_package2 = true;
    bool has_package8 = true;
};

struct DeploymentOutcome {
    std::wstring target;  // package full name (removal) or family name (deprovisioning)
    std::int32_t extended_error = 0;
    std::wstring error_text;
};

struct InjectedFailure {
    std::string call;
    std::int32_t status = 0;
    int nth = 0;               // 0: every call
    bool null_object = false;  // "null": the call succeeds and hands back no object
};

struct Scenario {
    std::wstring log_path;
    std::wstring state_path;
    bool complete_later = false;
    bool agile_factory = true;
    bool has_manager2 = true;
    bool has_manager8 = true;
    std::vector<PackageEntry> packages;  // removed ones already taken out
    std::vector<DeploymentOutcome> removals;
    std::vector<DeploymentOutcome> deprovisionings;
    std::vector<InjectedFailure> failures;
    std::vector<std::wstring> deprovisioned;

    const DeploymentOutcome* Removal(const std::wstring& full_name) const;
    const DeploymentOutcome* Deprovisioning(const std::wstring& family_name) const;
};

// HALVERN_TEST_PM_SCENARIO names the file; a Unix path (from the tests' side of Wine) is read
// through drive Z:. Returns false with a reason for a missing or malformed file.
bool LoadScenario(Scenario& scenario, std::wstring& problem);

// "/tmp/x" -> "Z:\tmp\x"; Windows paths unchanged.
std::wstring WindowsPath(std::wstring path);

// Appends one line (UTF-8) to a file, creating it.
void AppendLine(const std::wstring& path, const std::wstring& line);

// A text in the log and state files: backslash escapes for NUL, backslash, quote and line breaks.
std::wstring Escaped(const std::wstring& text);

}  // namespace test_package_manager
