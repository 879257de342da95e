#pragma once
// A machine's packages as the package manager shows them: families with packages, each package with
// its user entries and install states, and the provisioned families. Searches, removals and
// deprovisionings behave as the Windows bridge does (a failed deployment result raises
// MSIXException 2005 or 2003 and changes nothing; a removal takes the package away for every user).
// It records every call, InstallState reads included, runs a hook before each call, and fails any
// call on demand with any exception.
//
// The current user's search lists the packages of the family that have an entry for the current user,
// whatever its state.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "errors/msix_exception.h"
#include "packages/package_manager_bridge.h"
#include "platform/projection/hresult_error.h"

namespace halvern::testing {

enum class PackageManagerFunction {
    FindPackagesForCurrentUser,
    FindPackagesForAllUsers,
    FindPackageUsers,
    InstallState,
    RemovePackageForAllUsers,
    DeprovisionForAllUsers,
};

const char* FunctionName(PackageManagerFunction function);

struct PackageManagerCall {
    std::size_t index = 0;  // Position in the call log.
    PackageManagerFunction function{};
    std::u16string argument;  // The family name or the package full name passed.
    std::u16string user;      // InstallState only: whose entry was read.
    bool raised = false;      // Filled once the call is served.
};

struct FakeUserEntry {
    std::u16string user_security_id;
    std::int32_t install_state = Staged;
};

// What a deployment operation completes with; an extended error code of 0 is success.
struct DeploymentOutcome {
    std::int32_t extended_error_code = 0;
    std::u16string error_text;
};

// HRESULT_FROM_WIN32(ERROR_INSTALL_PACKAGE_NOT_FOUND): removing a package that is not there.
inline constexpr std::int32_t kPackageNotFound = static_cast<std::int32_t>(0x80073CF1);

// A package as the platform names it: full name "<name>_<version>_x64__<publisher id>" from the family
// "<name>_<publisher id>"; `full_version` has four parts.
PackageInfo MakePackageInfo(std::u16string_view family_name, std::u16string_view full_version,
                            std::u16string_view display_name, bool has_external_location = false);

// Failures as the bridge raises them.
std::exception_ptr MsixFailure(MSIXErrorCode code, std::int32_t system_error, std::u16string message);
// Raised the way the projection raises a failing HRESULT: its own kind, or std::bad_alloc.
std::exception_ptr HresultFailure(winrt::hresult code, std::u16string message);
std::exception_ptr OutOfMemory();

class FakePackageManager final : public PackageManagerBridge {
  public:
    FakePackageManager() = default;
    FakePackageManager(const FakePackageManager&) = delete;
    FakePackageManager& operator=(const FakePackageManager&) = delete;

    // --- planting ------------------------------------------------------------------------------
    // Packages are listed in the order they were added. The package's family is provisioned.
    void AddPackage(PackageInfo package, std::vector<FakeUserEntry> users = {});
    void SetRemovalOutcome(const std::u16string& full_name, DeploymentOutcome outcome);
    void SetDeprovisionOutcome(const std::u16string& family_name, DeploymentOutcome outcome);

    std::u16string current_user = u"S-1-5-21-1001";

    // --- inspecting ----------------------------------------------------------------------------
    bool HasPackage(const std::u16string& full_name) const;
    std::vector<PackageInfo> PackagesOf(const std::u16string& family_name) const;
    std::vector<PackageInfo> PackagesOfUser(const std::u16string& family_name,
                                            const std::u16string& user) const;
    // The package's entries; empty for a package that is not there.
    std::vector<FakeUserEntry> UsersOf(const std::u16string& full_name) const;
    bool IsProvisioned(const std::u16string& family_name) const { return provisioned_.contains(family_name); }

    // --- calls ---------------------------------------------------------------------------------
    std::vector<PackageManagerCall> calls;
    std::vector<PackageManagerCall> CallsOf(PackageManagerFunction function) const;

    // Every matching call (arguments only, before it is served) raises `error` and changes nothing.
    void FailWhen(std::function<bool(const PackageManagerCall&)> matches, std::exception_ptr error);
    void FailCalls(PackageManagerFunction function, const std::u16string& argument, std::exception_ptr error);
    // Runs before each call is served, with the call's arguments; it may change the machine.
    std::function<void(FakePackageManager&, const PackageManagerCall&)> before_call;

    // --- PackageManagerBridge -------------------------------------------------------------------
    std::vector<PackageInfo> FindPackagesForCurrentUser(const std::u16string& package_family_name) override;
    std::vector<PackageInfo> FindPackagesForAllUsers(const std::u16string& package_family_name) override;
    std::vector<std::unique_ptr<PackageUserInformation>> FindPackageUsers(
        const std::u16string& package_full_name) override;
    void RemovePackageForAllUsers(const std::u16string& package_full_name) override;
    void DeprovisionForAllUsers(const std::u16string& package_family_name) override;

  private:
    class UserInformation;
    struct Package {
        PackageInfo info;
        std::vector<FakeUserEntry> users;
    };
    struct Fault {
        std::function<bool(const PackageManagerCall&)> matches;
        std::exception_ptr error;
    };

    // Logs the call, runs the hook and raises an injected failure; returns the call's index.
    std::size_t Begin(PackageManagerFunction function, const std::u16string& argument,
                      const std::u16string& user = {});
    void Served(std::size_t index) { calls[index].raised = false; }
    void Complete(MSIXErrorCode code, const DeploymentOutcome& outcome);

    std::vector<Package> packages_;
    std::set<std::u16string> provisioned_;
    std::map<std::u16string, DeploymentOutcome> removal_outcomes_;
    std::map<std::u16string, DeploymentOutcome> deprovision_outcomes_;
    std::vector<Fault> faults_;
};

}  // namespace halvern::testing
