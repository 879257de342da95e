#include "fakes/fake_package_manager.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

namespace halvern::testing {

const char* FunctionName(PackageManagerFunction function) {
    switch (function) {
        case PackageManagerFunction::FindPackagesForCurrentUser:
            return "FindPackagesForCurrentUser";
        case PackageManagerFunction::FindPackagesForAllUsers:
            return "FindPackagesForAllUsers";
        case PackageManagerFunction::FindPackageUsers:
            return "FindPackageUsers";
        case PackageManagerFunction::InstallState:
            return "InstallState";
        case PackageManagerFunction::RemovePackageForAllUsers:
            return "RemovePackageForAllUsers";
        case PackageManagerFunction::DeprovisionForAllUsers:
            return "DeprovisionForAllUsers";
    }
    return "?";
}

PackageInfo MakePackageInfo(std::u16string_view family_name, std::u16string_view full_version,
                            std::u16string_view display_name, bool has_external_location) {
    const std::size_t separator = family_name.rfind(u'_');
    if (separator == std::u16string_view::npos) {
        throw std::invalid_argument("a family name is <name>_<publisher id>");
    }
    const std::u16string_view name = family_name.substr(0, separator);
    const std::u16string_view publisher_id = family_name.substr(separator + 1);
    PackageInfo package;
    package.package_name = name;
    package.display_name = display_name;
    package.full_name =
        std::u16string(name) + u"_" + std::u16string(full_version) + u"_x64__" + std::u16string(publisher_id);
    package.family_name = family_name;
    package.full_version = full_version;
    package.version = std::u16string(full_version.substr(0, full_version.rfind(u'.')));
    package.installed_path = u"C:\\Program Files\\WindowsApps\\" + package.full_name;
    package.has_external_location = has_external_location;
    return package;
}

std::exception_ptr MsixFailure(MSIXErrorCode code, std::int32_t system_error, std::u16string message) {
    return std::make_exception_ptr(MSIXException(std::move(message), code, system_error));
}

std::exception_ptr HresultFailure(winrt::hresult code, std::u16string message) {
    try {
        winrt::throw_hresult(code, std::move(message));
    } catch (...) {
        return std::current_exception();
    }
}

std::exception_ptr OutOfMemory() {
    return std::make_exception_ptr(std::bad_alloc());
}

// A user entry as the platform hands it out: reading its state is a call of its own.
class FakePackageManager::UserInformation final : public PackageUserInformation {
  public:
    UserInformation(FakePackageManager& owner, std::u16string full_name, FakeUserEntry entry)
        : owner_(owner), full_name_(std::move(full_name)), entry_(std::move(entry)) {}

    std::int32_t InstallState() const override {
        const std::size_t call =
            owner_.Begin(PackageManagerFunction::InstallState, full_name_, entry_.user_security_id);
        owner_.Served(call);
        return entry_.install_state;
    }

  private:
    FakePackageManager& owner_;
    std::u16string full_name_;
    FakeUserEntry entry_;
};

void FakePackageManager::AddPackage(PackageInfo package, std::vector<FakeUserEntry> users) {
    provisioned_.insert(package.family_name);
    packages_.push_back(Package{std::move(package), std::move(users)});
}

void FakePackageManager::SetRemovalOutcome(const std::u16string& full_name, DeploymentOutcome outcome) {
    removal_outcomes_[full_name] = std::move(outcome);
}

void FakePackageManager::SetDeprovisionOutcome(const std::u16string& family_name, DeploymentOutcome outcome) {
    deprovision_outcomes_[family_name] = std::move(outcome);
}

bool FakePackageManager::HasPackage(const std::u16string& full_name) const {
    return std::ranges::any_of(packages_,
                               [&](const Package& package) { return package.info.full_name == full_name; });
}

std::vector<PackageInfo> FakePackageManager::PackagesOf(const std::u16string& family_name) const {
    std::vector<PackageInfo> found;
    for (const Package& package : packages_) {
        if (package.info.family_name == family_name) {
            found.push_back(package.info);
        }
    }
    return found;
}

std::vector<PackageInfo> FakePackageManager::PackagesOfUser(const std::u16string& family_name,
                                                            const std::u16string& user) const {
    std::vector<PackageInfo> found;
    for (const Package& package : packages_) {
        const bool has_entry = std::ranges::any_of(
            package.users, [&](const FakeUserEntry& entry) { return entry.user_security_id == user; });
        if (package.info.family_name == family_name && has_entry) {
            found.push_back(package.info);
        }
    }
    return found;
}

std::vector<FakeUserEntry> FakePackageManager::UsersOf(const std::u16string& full_name) const {
    for (const Package& package : packages_) {
        if (package.info.full_name == full_name) {
            return package.users;
        }
    }
    return {};
}

std::vector<PackageManagerCall> FakePackageManager::CallsOf(PackageManagerFunction function) const {
    std::vector<PackageManagerCall> found;
    std::ranges::copy_if(calls, std::back_inserter(found),
                         [&](const PackageManagerCall& call) { return call.function == function; });
    return found;
}

void FakePackageManager::FailWhen(std::function<bool(const PackageManagerCall&)> matches,
                                  std::exception_ptr error) {
    faults_.push_back(Fault{std::move(matches), std::move(error)});
}

void FakePackageManager::FailCalls(PackageManagerFunction function, const std::u16string& argument,
                                   std::exception_ptr error) {
    FailWhen(
        [=](const PackageManagerCall& call) {
            return call.function == function && call.argument == argument;
        },
        std::move(error));
}

std::size_t FakePackageManager::Begin(PackageManagerFunction function, const std::u16string& argument,
                                      const std::u16string& user) {
    const std::size_t index = calls.size();
    calls.push_back(PackageManagerCall{index, function, argument, user, true});
    if (before_call) {
        before_call(*this, calls[index]);
    }
    for (const Fault& fault : faults_) {
        if (fault.matches(calls[index])) {
            std::rethrow_exception(fault.error);
        }
    }
    return index;
}

void FakePackageManager::Complete(MSIXErrorCode code, const DeploymentOutcome& outcome) {
    if (outcome.extended_error_code != 0) {
        throw MSIXException(outcome.error_text, code, outcome.extended_error_code);
    }
}

std::vector<PackageInfo> FakePackageManager::FindPackagesForCurrentUser(
    const std::u16string& package_family_name) {
    const std::size_t call = Begin(PackageManagerFunction::FindPackagesForCurrentUser, package_family_name);
    std::vector<PackageInfo> found = PackagesOfUser(package_family_name, current_user);
    Served(call);
    return found;
}

std::vector<PackageInfo> FakePackageManager::FindPackagesForAllUsers(
    const std::u16string& package_family_name) {
    const std::size_t call = Begin(PackageManagerFunction::FindPackagesForAllUsers, package_family_name);
    std::vector<PackageInfo> found = PackagesOf(package_family_name);
    Served(call);
    return found;
}

std::vector<std::unique_ptr<PackageUserInformation>> FakePackageManager::FindPackageUsers(
    const std::u16string& package_full_name) {
    const std::size_t call = Begin(PackageManagerFunction::FindPackageUsers, package_full_name);
    std::vector<std::unique_ptr<PackageUserInformation>> users;
    for (FakeUserEntry& entry : UsersOf(package_full_name)) {
        users.push_back(std::make_unique<UserInformation>(*this, package_full_name, std::move(entry)));
    }
    Served(call);
    return users;
}

void FakePackageManager::RemovePackageForAllUsers(const std::u16string& package_full_name) {
    const std::size_t call = Begin(PackageManagerFunction::RemovePackageForAllUsers, package_full_name);
    const auto package = std::ranges::find_if(
        packages_, [&](const Package& candidate) { return candidate.info.full_name == package_full_name; });
    if (package == packages_.end()) {
        Complete(MSIXErrorCode::PackageRemoveFailure,
                 DeploymentOutcome{kPackageNotFound, u"The package could not be found.\r\n"});
    }
    if (const auto outcome = removal_outcomes_.find(package_full_name); outcome != removal_outcomes_.end()) {
        Complete(MSIXErrorCode::PackageRemoveFailure, outcome->second);
    }
    packages_.erase(package);
    Served(call);
}

void FakePackageManager::DeprovisionForAllUsers(const std::u16string& package_family_name) {
    const std::size_t call = Begin(PackageManagerFunction::DeprovisionForAllUsers, package_family_name);
    if (const auto outcome = deprovision_outcomes_.find(package_family_name);
        outcome != deprovision_outcomes_.end()) {
        Complete(MSIXErrorCode::PackageDeprovisionFailure, outcome->second);
    }
    provisioned_.erase(package_family_name);
    Served(call);
}

}  // namespace halvern::testing
