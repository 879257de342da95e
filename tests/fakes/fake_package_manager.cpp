#include "fakes/fake_package_manager.h"

#include <algorithm>
#include <new>
#include <utility>

namespace halvern::testing {

const char* FunctionName(PackageManagerFunction function) {
    static const char* const kNames[] = {"FindPackagesForCurrentUser", "FindPackagesForAllUsers",
                                         "FindPackageUsers",           "InstallState",
                                         "RemovePackageForAllUsers",   "DeprovisionForAllUsers"};
    return kNames[static_cast<int>(function)];
}

PackageInfo MakePackageInfo(std::u16string_view family_name, std::u16string_view full_version,
                            std::u16string_view display_name, bool has_external_location) {
    const std::size_t separator = family_name.rfind(u'_');
    PackageInfo package;
    package.display_name = display_name;
    package.full_name = std::u16string(family_name.substr(0, separator)) + u"_" +
                        std::u16string(full_version) + u"_x64_" +
                        std::u16string(family_name.substr(separator));
    package.family_name = family_name;
    package.full_version = full_version;
    package.version = full_version.substr(0, full_version.rfind(u'.'));
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
        owner_.calls[owner_.Begin(PackageManagerFunction::InstallState, full_name_, entry_.user_security_id)]
            .raised = false;
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

std::vector<PackageInfo> FakePackageManager::PackagesOf(const std::u16string& family_name,
                                                        const std::u16string* user) const {
    std::vector<PackageInfo> found;
    for (const Package& package : packages_) {
        const bool has_entry = !user || std::ranges::any_of(package.users, [&](const FakeUserEntry& entry) {
            return entry.user_security_id == *user;
        });
        if (package.info.family_name == family_name && has_entry) {
            found.push_back(package.info);
        }
    }
    return found;
}

std::vector<FakeUserEntry> FakePackageManager::UsersOf(const std::u16string& full_name) const {
    const auto package =
        std::ranges::find(packages_, full_name, [](const Package& p) { return p.info.full_name; });
    return package == packages_.end() ? std::vector<FakeUserEntry>{} : package->users;
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
    calls.push_back(PackageManagerCall{index, function, argument, user});
    if (before_call) {
        before_call(calls[index]);
    }
    for (const Fault& fault : faults_) {
        if (fault.matches(calls[index])) {
            std::rethrow_exception(fault.error);
        }
    }
    return index;
}

std::vector<PackageInfo> FakePackageManager::FindPackagesForCurrentUser(
    const std::u16string& package_family_name) {
    const std::size_t call = Begin(PackageManagerFunction::FindPackagesForCurrentUser, package_family_name);
    calls[call].raised = false;
    return PackagesOf(package_family_name, &current_user);
}

std::vector<PackageInfo> FakePackageManager::FindPackagesForAllUsers(
    const std::u16string& package_family_name) {
    const std::size_t call = Begin(PackageManagerFunction::FindPackagesForAllUsers, package_family_name);
    calls[call].raised = false;
    return PackagesOf(package_family_name);
}

std::vector<std::unique_ptr<PackageUserInformation>> FakePackageManager::FindPackageUsers(
    const std::u16string& package_full_name) {
    const std::size_t call = Begin(PackageManagerFunction::FindPackageUsers, package_full_name);
    std::vector<std::unique_ptr<PackageUserInformation>> users;
    for (FakeUserEntry& entry : UsersOf(package_full_name)) {
        users.push_back(std::make_unique<UserInformation>(*this, package_full_name, std::move(entry)));
    }
    calls[call].raised = false;
    return users;
}

void FakePackageManager::RemovePackageForAllUsers(const std::u16string& package_full_name) {
    const std::size_t call = Begin(PackageManagerFunction::RemovePackageForAllUsers, package_full_name);
    const auto package =
        std::ranges::find(packages_, package_full_name, [](const Package& p) { return p.info.full_name; });
    if (package == packages_.end()) {
        // HRESULT_FROM_WIN32(ERROR_INSTALL_PACKAGE_NOT_FOUND) in a failed deployment result.
        throw MSIXException(u"The package could not be found.\r\n", MSIXErrorCode::PackageRemoveFailure,
                            static_cast<std::int32_t>(0x80073CF1));
    }
    packages_.erase(package);
    calls[call].raised = false;
}

void FakePackageManager::DeprovisionForAllUsers(const std::u16string& package_family_name) {
    const std::size_t call = Begin(PackageManagerFunction::DeprovisionForAllUsers, package_family_name);
    provisioned_.erase(package_family_name);
    calls[call].raised = false;
}

}  // namespace halvern::testing
