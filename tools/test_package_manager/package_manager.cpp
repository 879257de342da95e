// The PackageManager object: IPackageManager (the whole table; what the tool does not use answers
// E_NOTIMPL), IPackageManager2 and IPackageManager8.
#include "objects.h"

namespace test_package_manager {
namespace {

constexpr abi::hresult kPackageNotFound = static_cast<abi::hresult>(0x80073CF1);

class PackageManagerObject final : public ComObject {
  public:
    explicit PackageManagerObject(std::shared_ptr<Session> session) : session_(std::move(session)) {}

    void* Find(const abi::guid& iid) override {
        if (iid == abi::iid_of<abi::IUnknown>() || iid == abi::iid_of<abi::IInspectable>() ||
            iid == abi::iid_of<abi::IPackageManager>() || iid == abi::iid_of<abi::IAgileObject>()) {
            return &manager_face_;
        }
        if (iid == abi::iid_of<abi::IPackageManager2>()) {
            session_->Log(L"QueryInterface IPackageManager2");
            return session_->scenario().has_manager2 ? &manager2_face_ : nullptr;
        }
        if (iid == abi::iid_of<abi::IPackageManager8>()) {
            session_->Log(L"QueryInterface IPackageManager8");
            return session_->scenario().has_manager8 ? &manager8_face_ : nullptr;
        }
        return nullptr;
    }

    abi::IInspectable* face() { return reinterpret_cast<abi::IInspectable*>(&manager_face_.abi_face); }

    static abi::hresult HALVERN_ABI_CALL FindUsers(abi::IPackageManager* self, abi::hstring full_name,
                                                   abi::IIterable<abi::IPackageUserInformation>** out) {
        auto* manager = From<PackageManagerObject>(self);
        *out = nullptr;
        const std::wstring name = TextOf(full_name);
        bool null_object = false;
        const abi::hresult status = manager->session_->EnterForObject("FindUsers", null_object, Quoted(name));
        if (status != S_OK || null_object) {
            return status;
        }
        std::vector<UserEntry> users;
        for (const PackageEntry& package : manager->session_->scenario().packages) {
            if (package.full_name == name) {
                users = package.users;
            }
        }
        *out = NewUserList(manager->session_, std::move(users));
        return S_OK;
    }

    static abi::hresult HALVERN_ABI_CALL ByFamily(abi::IPackageManager* self, abi::hstring family_name,
                                                  abi::IIterable<abi::IPackage>** out) {
        auto* manager = From<PackageManagerObject>(self);
        *out = nullptr;
        const std::wstring family = TextOf(family_name);
        bool null_object = false;
        const abi::hresult status =
            manager->session_->EnterForObject("FindPackagesByPackageFamilyName", null_object, Quoted(family));
        if (status != S_OK || null_object) {
            return status;
        }
        *out = NewPackageList(manager->session_, manager->Packages([&](const PackageEntry& package) {
            return package.family_name == family;
        }));
        return S_OK;
    }

    // The empty security id is the current user; any other names a user of the scenario.
    static abi::hresult HALVERN_ABI_CALL ByUserAndFamily(abi::IPackageManager* self,
                                                         abi::hstring user_security_id,
                                                         abi::hstring family_name,
                                                         abi::IIterable<abi::IPackage>** out) {
        auto* manager = From<PackageManagerObject>(self);
        *out = nullptr;
        const std::wstring user = TextOf(user_security_id);
        const std::wstring family = TextOf(family_name);
        bool null_object = false;
        const abi::hresult status = manager->session_->EnterForObject(
            "FindPackagesByUserSecurityIdPackageFamilyName", null_object, Quoted(user) + Quoted(family));
        if (status != S_OK || null_object) {
            return status;
        }
        *out = NewPackageList(manager->session_, manager->Packages([&](const PackageEntry& package) {
            if (package.family_name != family) {
                return false;
            }
            if (user.empty()) {
                return package.current_user;
            }
            for (const UserEntry& entry : package.users) {
                if (entry.security_id == user) {
                    return true;
                }
            }
            return false;
        }));
        return S_OK;
    }

    static abi::hresult HALVERN_ABI_CALL RemoveWithOptions(abi::IPackageManager2* self,
                                                           abi::hstring full_name, std::uint32_t options,
                                                           abi::IDeploymentOperation** out) {
        auto* manager = From<PackageManagerObject>(self);
        *out = nullptr;
        const std::wstring name = TextOf(full_name);
        bool null_object = false;
        const abi::hresult status = manager->session_->EnterForObject(
            "RemovePackageWithOptionsAsync", null_object, Quoted(name) + L" " + Hex(options));
        if (status != S_OK || null_object) {
            return status;
        }
        DeploymentOutcome outcome{name, 0, L""};
        if (const DeploymentOutcome* scripted = manager->session_->scenario().Removal(name)) {
            outcome = *scripted;
        } else if (!manager->Known(name)) {
            outcome = {name, kPackageNotFound, L"The package could not be found."};
        }
        *out = NewOperation(manager->session_, outcome, L"removed " + Escaped(name));
        return S_OK;
    }

    static abi::hresult HALVERN_ABI_CALL Deprovision(abi::IPackageManager8* self, abi::hstring family_name,
                                                     abi::IDeploymentOperation** out) {
        auto* manager = From<PackageManagerObject>(self);
        *out = nullptr;
        const std::wstring family = TextOf(family_name);
        bool null_object = false;
        const abi::hresult status = manager->session_->EnterForObject("DeprovisionPackageForAllUsersAsync",
                                                                      null_object, Quoted(family));
        if (status != S_OK || null_object) {
            return status;
        }
        DeploymentOutcome outcome{family, 0, L""};
        if (const DeploymentOutcome* scripted = manager->session_->scenario().Deprovisioning(family)) {
            outcome = *scripted;
        }
        *out = NewOperation(manager->session_, outcome, L"deprovisioned " + Escaped(family));
        return S_OK;
    }

    static constexpr abi::IPackageManagerVtbl kManager{
        kInspectable,    &NotImplemented, &NotImplemented, &NotImplemented,  &NotImplemented, &NotImplemented,
        &NotImplemented, &NotImplemented, &NotImplemented, &NotImplemented,  &FindUsers,      &NotImplemented,
        &NotImplemented, &NotImplemented, &ByFamily,       &ByUserAndFamily, &NotImplemented};
    static constexpr abi::IPackageManager2Vtbl kManager2{kInspectable,    &RemoveWithOptions, &NotImplemented,
                                                         &NotImplemented, &NotImplemented,    &NotImplemented,
                                                         &NotImplemented, &NotImplemented,    &NotImplemented,
                                                         &NotImplemented, &NotImplemented};
    static constexpr abi::IPackageManager8Vtbl kManager8{kInspectable, &Deprovision};

  private:
    template <typename Filter>
    std::vector<PackageEntry> Packages(Filter filter) const {
        std::vector<PackageEntry> found;
        for (const PackageEntry& package : session_->scenario().packages) {
            if (filter(package)) {
                found.push_back(package);
            }
        }
        return found;
    }

    bool Known(const std::wstring& full_name) const {
        return !Packages([&](const PackageEntry& package) { return package.full_name == full_name; }).empty();
    }

    std::shared_ptr<Session> session_;
    Face<abi::IPackageManager> manager_face_{MakeFace<abi::IPackageManager>(&kManager, this)};
    Face<abi::IPackageManager2> manager2_face_{MakeFace<abi::IPackageManager2>(&kManager2, this)};
    Face<abi::IPackageManager8> manager8_face_{MakeFace<abi::IPackageManager8>(&kManager8, this)};
};

}  // namespace

abi::IInspectable* NewPackageManager(std::shared_ptr<Session> session) {
    return (new PackageManagerObject(std::move(session)))->face();
}

}  // namespace test_package_manager
