// Package, PackageId, PackageUserInformation and the iterables over them.
#include <functional>

#include "objects.h"

namespace test_package_manager {
namespace {

abi::hresult StringProperty(Session& session, const char* call, const std::wstring& argument,
                            const std::wstring& value, abi::hstring* out) {
    *out = nullptr;
    const abi::hresult status = session.Enter(call, Quoted(argument));
    return status != S_OK ? status : NewString(value, out);
}

class PackageIdObject final : public ComObject {
  public:
    PackageIdObject(std::shared_ptr<Session> session, PackageEntry package)
        : session_(std::move(session)), package_(std::move(package)) {}

    void* Find(const abi::guid& iid) override {
        if (iid == abi::iid_of<abi::IUnknown>() || iid == abi::iid_of<abi::IInspectable>() ||
            iid == abi::iid_of<abi::IPackageId>()) {
            return &face_;
        }
        return nullptr;
    }

    static abi::hresult HALVERN_ABI_CALL Name(abi::IPackageId* self, abi::hstring* out) {
        auto* id = From<PackageIdObject>(self);
        return StringProperty(*id->session_, "get_Name", id->package_.full_name, id->package_.name, out);
    }
    static abi::hresult HALVERN_ABI_CALL FullName(abi::IPackageId* self, abi::hstring* out) {
        auto* id = From<PackageIdObject>(self);
        return StringProperty(*id->session_, "get_FullName", id->package_.full_name, id->package_.full_name,
                              out);
    }
    static abi::hresult HALVERN_ABI_CALL FamilyName(abi::IPackageId* self, abi::hstring* out) {
        auto* id = From<PackageIdObject>(self);
        return StringProperty(*id->session_, "get_FamilyName", id->package_.full_name,
                              id->package_.family_name, out);
    }
    static abi::hresult HALVERN_ABI_CALL Version(abi::IPackageId* self, abi::PackageVersion* out) {
        auto* id = From<PackageIdObject>(self);
        *out = {};
        const abi::hresult status = id->session_->Enter("get_Version", Quoted(id->package_.full_name));
        if (status == S_OK) {
            const auto& v = id->package_.version;
            *out = {v[0], v[1], v[2], v[3]};
        }
        return status;
    }
    static abi::hresult HALVERN_ABI_CALL Architecture(abi::IPackageId*, std::int32_t* out) {
        *out = 9;  // x64
        return S_OK;
    }
    static abi::hresult HALVERN_ABI_CALL Unused(abi::IPackageId*, abi::hstring* out) {
        *out = nullptr;
        return E_NOTIMPL;
    }

    static constexpr abi::IPackageIdVtbl kVtbl{kInspectable, &Name,   &Version,  &Architecture, &Unused,
                                               &Unused,      &Unused, &FullName, &FamilyName};

  private:
    std::shared_ptr<Session> session_;
    const PackageEntry package_;
    Face<abi::IPackageId> face_{MakeFace<abi::IPackageId>(&kVtbl, this)};
};

class PackageObject final : public ComObject {
  public:
    PackageObject(std::shared_ptr<Session> session, PackageEntry package)
        : session_(std::move(session)), package_(std::move(package)) {}

    void* Find(const abi::guid& iid) override {
        if (iid == abi::iid_of<abi::IUnknown>() || iid == abi::iid_of<abi::IInspectable>() ||
            iid == abi::iid_of<abi::IPackage>()) {
            return &package_face_;
        }
        if (iid == abi::iid_of<abi::IPackage2>()) {
            session_->Log(L"QueryInterface IPackage2" + Quoted(package_.full_name));
            return package_.has_package2 ? &package2_face_ : nullptr;
        }
        if (iid == abi::iid_of<abi::IPackage8>()) {
            return package_.has_package8 ? &package8_face_ : nullptr;
        }
        return nullptr;
    }

    // The query for IPackage8 is logged and fails on demand like a call ("QueryInterface").
    abi::hresult Query(const abi::guid& iid, void** face) override {
        if (iid != abi::iid_of<abi::IPackage8>()) {
            return ComObject::Query(iid, face);
        }
        const abi::hresult status =
            session_->Enter("QueryInterface", L" IPackage8" + Quoted(package_.full_name));
        return status != S_OK ? status : ComObject::Query(iid, face);
    }

    static abi::hresult HALVERN_ABI_CALL Id(abi::IPackage* self, abi::IPackageId** out) {
        auto* package = From<PackageObject>(self);
        *out = nullptr;
        bool null_object = false;
        const abi::hresult status =
            package->session_->EnterForObject("get_Id", null_object, Quoted(package->package_.full_name));
        if (status == S_OK && !null_object) {
            auto* id = new PackageIdObject(package->session_, package->package_);
            *out = static_cast<abi::IPackageId*>(id->Find(abi::iid_of<abi::IPackageId>()));
        }
        return status;
    }
    static abi::hresult HALVERN_ABI_CALL IsFramework(abi::IPackage*, abi::boolean* out) {
        *out = 0;
        return S_OK;
    }
    static abi::hresult HALVERN_ABI_CALL DisplayName(abi::IPackage2* self, abi::hstring* out) {
        auto* package = From<PackageObject>(self);
        return StringProperty(*package->session_, "get_DisplayName", package->package_.full_name,
                              package->package_.display_name, out);
    }
    static abi::hresult HALVERN_ABI_CALL InstalledPath(abi::IPackage8* self, abi::hstring* out) {
        auto* package = From<PackageObject>(self);
        return StringProperty(*package->session_, "get_InstalledPath", package->package_.full_name,
                              package->package_.installed_path, out);
    }
    static abi::hresult HALVERN_ABI_CALL EffectiveExternalPath(abi::IPackage8* self, abi::hstring* out) {
        auto* package = From<PackageObject>(self);
        return StringProperty(*package->session_, "get_EffectiveExternalPath", package->package_.full_name,
                              package->package_.external_path, out);
    }

    static constexpr abi::IPackageVtbl kPackage{kInspectable, &Id, &NotImplemented, &IsFramework,
                                                &NotImplemented};
    static constexpr abi::IPackage2Vtbl kPackage2{kInspectable,    &DisplayName,    &NotImplemented,
                                                  &NotImplemented, &NotImplemented, &NotImplemented,
                                                  &NotImplemented, &NotImplemented};
    static constexpr abi::IPackage8Vtbl kPackage8{
        kInspectable,    &NotImplemented, &NotImplemented,        &NotImplemented, &InstalledPath,
        &NotImplemented, &NotImplemented, &EffectiveExternalPath, &NotImplemented, &NotImplemented,
        &NotImplemented, &NotImplemented, &NotImplemented};

  private:
    std::shared_ptr<Session> session_;
    const PackageEntry package_;
    Face<abi::IPackage> package_face_{MakeFace<abi::IPackage>(&kPackage, this)};
    Face<abi::IPackage2> package2_face_{MakeFace<abi::IPackage2>(&kPackage2, this)};
    Face<abi::IPackage8> package8_face_{MakeFace<abi::IPackage8>(&kPackage8, this)};
};

class UserObject final : public ComObject {
  public:
    UserObject(std::shared_ptr<Session> session, UserEntry user)
        : session_(std::move(session)), user_(std::move(user)) {}

    void* Find(const abi::guid& iid) override {
        if (iid == abi::iid_of<abi::IUnknown>() || iid == abi::iid_of<abi::IInspectable>() ||
            iid == abi::iid_of<abi::IPackageUserInformation>()) {
            return &face_;
        }
        return nullptr;
    }

    static abi::hresult HALVERN_ABI_CALL SecurityId(abi::IPackageUserInformation* self, abi::hstring* out) {
        auto* user = From<UserObject>(self);
        return StringProperty(*user->session_, "get_UserSecurityId", user->user_.security_id,
                              user->user_.security_id, out);
    }
    static abi::hresult HALVERN_ABI_CALL InstallState(abi::IPackageUserInformation* self, std::int32_t* out) {
        auto* user = From<UserObject>(self);
        *out = 0;
        const abi::hresult status =
            user->session_->Enter("get_InstallState", Quoted(user->user_.security_id));
        if (status == S_OK) {
            *out = user->user_.install_state;
        }
        return status;
    }

    static constexpr abi::IPackageUserInformationVtbl kVtbl{kInspectable, &SecurityId, &InstallState};

  private:
    std::shared_ptr<Session> session_;
    const UserEntry user_;
    Face<abi::IPackageUserInformation> face_{MakeFace<abi::IPackageUserInformation>(&kVtbl, this)};
};

// Each element is made afresh when it is asked for, as the platform's collections do.
template <typename Element>
using Items = std::vector<std::function<Element*()>>;

template <typename Element>
class IteratorObject final : public ComObject {
  public:
    IteratorObject(std::shared_ptr<Session> session, std::shared_ptr<const Items<Element>> items)
        : session_(std::move(session)), items_(std::move(items)) {}

    void* Find(const abi::guid& iid) override {
        if (iid == abi::iid_of<abi::IUnknown>() || iid == abi::iid_of<abi::IInspectable>() ||
            iid == abi::iid_of<abi::IIterator<Element>>()) {
            return &face_;
        }
        return nullptr;
    }

    static abi::hresult HALVERN_ABI_CALL Current(abi::IIterator<Element>* self, Element** out) {
        auto* iterator = From<IteratorObject>(self);
        *out = nullptr;
        bool null_object = false;
        const abi::hresult status = iterator->session_->EnterForObject("get_Current", null_object);
        if (status != S_OK || null_object) {
            return status;
        }
        if (iterator->index_ >= iterator->items_->size()) {
            return static_cast<abi::hresult>(0x8000000B);  // E_BOUNDS
        }
        *out = (*iterator->items_)[iterator->index_]();
        return S_OK;
    }
    static abi::hresult HALVERN_ABI_CALL HasCurrent(abi::IIterator<Element>* self, abi::boolean* out) {
        auto* iterator = From<IteratorObject>(self);
        *out = 0;
        const abi::hresult status = iterator->session_->Enter("get_HasCurrent");
        if (status == S_OK) {
            *out = iterator->index_ < iterator->items_->size();
        }
        return status;
    }
    static abi::hresult HALVERN_ABI_CALL MoveNext(abi::IIterator<Element>* self, abi::boolean* out) {
        auto* iterator = From<IteratorObject>(self);
        *out = 0;
        const abi::hresult status = iterator->session_->Enter("MoveNext");
        if (status == S_OK) {
            if (iterator->index_ < iterator->items_->size()) {
                ++iterator->index_;
            }
            *out = iterator->index_ < iterator->items_->size();
        }
        return status;
    }
    static abi::hresult HALVERN_ABI_CALL GetMany(abi::IIterator<Element>*, std::uint32_t, Element**,
                                                 std::uint32_t* actual) {
        *actual = 0;
        return E_NOTIMPL;
    }

    static constexpr abi::IIteratorVtbl<Element> kVtbl{kInspectable, &Current, &HasCurrent, &MoveNext,
                                                       &GetMany};

  private:
    std::shared_ptr<Session> session_;
    std::shared_ptr<const Items<Element>> items_;
    std::size_t index_ = 0;
    Face<abi::IIterator<Element>> face_{MakeFace<abi::IIterator<Element>>(&kVtbl, this)};
};

template <typename Element>
class IterableObject final : public ComObject {
  public:
    IterableObject(std::shared_ptr<Session> session, Items<Element> items)
        : session_(std::move(session)), items_(std::make_shared<const Items<Element>>(std::move(items))) {}

    void* Find(const abi::guid& iid) override {
        if (iid == abi::iid_of<abi::IUnknown>() || iid == abi::iid_of<abi::IInspectable>() ||
            iid == abi::iid_of<abi::IIterable<Element>>()) {
            return &face_;
        }
        return nullptr;
    }

    static abi::hresult HALVERN_ABI_CALL First(abi::IIterable<Element>* self, abi::IIterator<Element>** out) {
        auto* iterable = From<IterableObject>(self);
        *out = nullptr;
        bool null_object = false;
        const abi::hresult status = iterable->session_->EnterForObject("First", null_object);
        if (status == S_OK && !null_object) {
            auto* iterator = new IteratorObject<Element>(iterable->session_, iterable->items_);
            *out =
                static_cast<abi::IIterator<Element>*>(iterator->Find(abi::iid_of<abi::IIterator<Element>>()));
        }
        return status;
    }

    static constexpr abi::IIterableVtbl<Element> kVtbl{kInspectable, &First};

    abi::IIterable<Element>* face() { return &face_.abi_face; }

  private:
    std::shared_ptr<Session> session_;
    std::shared_ptr<const Items<Element>> items_;
    Face<abi::IIterable<Element>> face_{MakeFace<abi::IIterable<Element>>(&kVtbl, this)};
};

}  // namespace

abi::IIterable<abi::IPackage>* NewPackageList(std::shared_ptr<Session> session,
                                              std::vector<PackageEntry> packages) {
    Items<abi::IPackage> items;
    for (PackageEntry& package : packages) {
        items.push_back([session, package] {
            auto* object = new PackageObject(session, package);
            return static_cast<abi::IPackage*>(object->Find(abi::iid_of<abi::IPackage>()));
        });
    }
    return (new IterableObject<abi::IPackage>(std::move(session), std::move(items)))->face();
}

abi::IIterable<abi::IPackageUserInformation>* NewUserList(std::shared_ptr<Session> session,
                                                          std::vector<UserEntry> users) {
    Items<abi::IPackageUserInformation> items;
    for (UserEntry& user : users) {
        items.push_back([session, user] {
            auto* object = new UserObject(session, user);
            return static_cast<abi::IPackageUserInformation*>(
                object->Find(abi::iid_of<abi::IPackageUserInformation>()));
        });
    }
    return (new IterableObject<abi::IPackageUserInformation>(std::move(session), std::move(items)))->face();
}

}  // namespace test_package_manager
