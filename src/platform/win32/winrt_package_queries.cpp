#include "platform/win32/winrt_package_queries.h"

#include "errors/msix_exception.h"
#include "platform/win32/package_snapshot.h"
#include "platform/win32/runtime_string.h"

namespace halvern {
namespace {

// The empty user security id, which the platform reads as the current user (the null HSTRING is the
// empty string).
constexpr HSTRING kCurrentUser = nullptr;

// First, then Current and MoveNext while HasCurrent holds, in the iterator's order.
template <typename Element, typename Visit>
void ForEach(const projection::com_ptr<abi::IIterable<Element>>& iterable, const HresultMessages& messages,
             Visit visit) {
    projection::com_ptr<abi::IIterator<Element>> iterator;
    projection::check_object(iterable->lpVtbl->First(iterable.get(), iterator.put()), iterator, messages);
    abi::boolean has_current = 0;
    projection::check_hresult(iterator->lpVtbl->get_HasCurrent(iterator.get(), &has_current), messages);
    while (has_current) {
        projection::com_ptr<Element> current;
        projection::check_object(iterator->lpVtbl->get_Current(iterator.get(), current.put()), current,
                                 messages);
        visit(std::move(current));
        projection::check_hresult(iterator->lpVtbl->MoveNext(iterator.get(), &has_current), messages);
    }
}

std::vector<PackageInfo> Snapshots(const projection::com_ptr<abi::IIterable<abi::IPackage>>& packages,
                                   const HresultMessages& messages) {
    std::vector<PackageInfo> found;
    ForEach(packages, messages, [&](projection::com_ptr<abi::IPackage> package) {
        found.push_back(SnapshotPackage(package, messages));
    });
    return found;
}

class WinRtPackageUserInformation final : public PackageUserInformation {
  public:
    WinRtPackageUserInformation(projection::com_ptr<abi::IPackageUserInformation> user,
                                const HresultMessages& messages)
        : user_(std::move(user)), messages_(messages) {}

    std::u16string UserSecurityId() const override {
        UniqueHString security_id;
        projection::check_hresult(user_->lpVtbl->get_UserSecurityId(user_.get(), security_id.put()),
                                  messages_);
        return RuntimeText(security_id.get());
    }

    std::int32_t InstallState() const override {
        std::int32_t state = NotInstalled;
        projection::check_hresult(user_->lpVtbl->get_InstallState(user_.get(), &state), messages_);
        return state;
    }

  private:
    projection::com_ptr<abi::IPackageUserInformation> user_;
    const HresultMessages& messages_;
};

}  // namespace

projection::com_ptr<abi::IPackageManager> WinRtPackageQueries::CreatePackageManager() {
    return factories_.ActivateInstance(messages_).as<abi::IPackageManager>(messages_);
}

std::vector<PackageInfo> WinRtPackageQueries::FindPackagesForCurrentUser(
    const std::u16string& package_family_name) {
    try {
        const auto manager = CreatePackageManager();
        const StringReference family(package_family_name, messages_);
        projection::com_ptr<abi::IIterable<abi::IPackage>> packages;
        projection::check_object(manager->lpVtbl->FindPackagesByUserSecurityIdPackageFamilyName(
                                     manager.get(), kCurrentUser, family.get(), packages.put()),
                                 packages, messages_);
        return Snapshots(packages, messages_);
    } catch (const projection::hresult_error& error) {
        throw MSIXException(error.message(), MSIXErrorCode::FindPackagesFailure, error.code());
    }
}

std::vector<PackageInfo> WinRtPackageQueries::FindPackagesForAllUsers(
    const std::u16string& package_family_name) {
    try {
        const auto manager = CreatePackageManager();
        const StringReference family(package_family_name, messages_);
        projection::com_ptr<abi::IIterable<abi::IPackage>> packages;
        projection::check_object(
            manager->lpVtbl->FindPackagesByPackageFamilyName(manager.get(), family.get(), packages.put()),
            packages, messages_);
        return Snapshots(packages, messages_);
    } catch (const projection::hresult_error& error) {
        throw MSIXException(error.message(), MSIXErrorCode::FindPackagesFailure, error.code());
    }
}

std::vector<std::unique_ptr<PackageUserInformation>> WinRtPackageQueries::FindPackageUsers(
    const std::u16string& package_full_name) {
    try {
        const auto manager = CreatePackageManager();
        const StringReference full_name(package_full_name, messages_);
        projection::com_ptr<abi::IIterable<abi::IPackageUserInformation>> users;
        projection::check_object(manager->lpVtbl->FindUsers(manager.get(), full_name.get(), users.put()),
                                 users, messages_);
        std::vector<std::unique_ptr<PackageUserInformation>> found;
        ForEach(users, messages_, [&](projection::com_ptr<abi::IPackageUserInformation> user) {
            found.push_back(std::make_unique<WinRtPackageUserInformation>(std::move(user), messages_));
        });
        return found;
    } catch (const projection::hresult_error& error) {
        throw MSIXException(error.message(), MSIXErrorCode::FindUsersFailure, error.code());
    }
}

}  // namespace halvern
