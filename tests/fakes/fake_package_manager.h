#pragma once
// A machine's packages as the package manager shows them: packages with their user entries and install
// states, and the provisioned families. A removal takes the package away for every user; the current
// user's search lists the family's packages that have an entry for the current user, whatever its state.
// It records every call, InstallState reads included, runs a hook before each, and fails any call on
// demand with any exception (changing nothing).

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
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
    bool raised = true;       // Cleared once the call is served.
};

struct FakeUserEntry {
    std::u16string user_security_id;
    std::int32_t install_state = Staged;
};

// A package of the family "<name>_<publisher id>" with a four-part `full_version`.
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

    // Packages are listed in the order they were added. The package's family is provisioned.
    void AddPackage(PackageInfo package, std::vector<FakeUserEntry> users = {});
    std::u16string current_user = u"S-1-5-21-1001";

    std::vector<PackageInfo> PackagesOf(const std::u16string& family_name,
                                        const std::u16string* user = nullptr) const;
    // The package's entries; empty for a package that is not there.
    std::vector<FakeUserEntry> UsersOf(const std::u16string& full_name) const;
    bool IsProvisioned(const std::u16string& family_name) const { return provisioned_.contains(family_name); }

    std::vector<PackageManagerCall> calls;
    std::vector<PackageManagerCall> CallsOf(PackageManagerFunction function) const;

    // Every matching call (arguments only, before it is served) raises `error`.
    void FailWhen(std::function<bool(const PackageManagerCall&)> matches, std::exception_ptr error);
    void FailCalls(PackageManagerFunction function, const std::u16string& argument, std::exception_ptr error);
    // Runs before each call is served.
    std::function<void(const PackageManagerCall&)> before_call;

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

    std::vector<Package> packages_;
    std::set<std::u16string> provisioned_;
    std::vector<Fault> faults_;
};

}  // namespace halvern::testing
