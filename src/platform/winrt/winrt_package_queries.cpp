#include "platform/winrt/winrt_package_queries.h"

#include "platform/winrt/package_snapshot.h"
#include "platform/winrt/runtime_string.h"

namespace halvern {
namespace {

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

// Each package is read as the iteration reaches it.
std::vector<PackageFacts> Snapshots(const projection::com_ptr<abi::IIterable<abi::IPackage>>& packages,
                                    const HresultMessages& messages) {
    std::vector<PackageFacts> found;
    ForEach(packages, messages, [&](projection::com_ptr<abi::IPackage> package) {
        found.push_back(ReadPackageFacts(package, messages));
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

    PackageInstallState InstallState() const override {
        std::int32_t state = 0;
        projection::check_hresult(user_->lpVtbl->get_InstallState(user_.get(), &state), messages_);
        return PackageInstallState{state};
    }

  private:
    projection::com_ptr<abi::IPackageUserInformation> user_;
    const HresultMessages& messages_;
};

}  // namespace

projection::com_ptr<abi::IPackageManager> WinRtPackageQueries::CreatePackageManager() {
    return factories_.ActivateInstance(messages_).as<abi::IPackageManager>(messages_);
}

std::vector<PackageFacts> WinRtPackageQueries::FindPackagesByPackageFamilyName(
    const std::u16string& family_name) {
    const auto manager = CreatePackageManager();
    const StringReference family(family_name, messages_);
    projection::com_ptr<abi::IIterable<abi::IPackage>> packages;
    projection::check_object(
        manager->lpVtbl->FindPackagesByPackageFamilyName(manager.get(), family.get(), packages.put()),
        packages, messages_);
    return Snapshots(packages, messages_);
}

std::vector<PackageFacts> WinRtPackageQueries::FindPackagesByUserSecurityIdPackageFamilyName(
    const std::u16string& user_security_id, const std::u16string& family_name) {
    const auto manager = CreatePackageManager();
    // The empty security id is the null HSTRING, which the platform reads as the current user.
    const StringReference user(user_security_id, messages_);
    const StringReference family(family_name, messages_);
    projection::com_ptr<abi::IIterable<abi::IPackage>> packages;
    projection::check_object(manager->lpVtbl->FindPackagesByUserSecurityIdPackageFamilyName(
                                 manager.get(), user.get(), family.get(), packages.put()),
                             packages, messages_);
    return Snapshots(packages, messages_);
}

std::vector<std::unique_ptr<PackageUserInformation>> WinRtPackageQueries::FindUsers(
    const std::u16string& package_full_name) {
    const auto manager = CreatePackageManager();
    const StringReference full_name(package_full_name, messages_);
    projection::com_ptr<abi::IIterable<abi::IPackageUserInformation>> users;
    projection::check_object(manager->lpVtbl->FindUsers(manager.get(), full_name.get(), users.put()), users,
                             messages_);
    std::vector<std::unique_ptr<PackageUserInformation>> found;
    ForEach(users, messages_, [&](projection::com_ptr<abi::IPackageUserInformation> user) {
        found.push_back(std::make_unique<WinRtPackageUserInformation>(std::move(user), messages_));
    });
    return found;
}

}  // namespace halvern
