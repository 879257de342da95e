// The objects the test package manager hands out, from the activation factory down to a deployment's
// result. What the tool does not call answers E_NOTIMPL.
#include <algorithm>

#include "component.h"

namespace test_package_manager {
namespace {

using halvern::scenarios::Deployment;
using halvern::scenarios::Package;
using halvern::scenarios::UserEntry;

constexpr abi::hresult kBounds = static_cast<abi::hresult>(0x8000000B);
constexpr abi::hresult kIllegalMethodCall = static_cast<abi::hresult>(0x8000000E);
constexpr abi::hresult kIllegalDelegateAssignment = static_cast<abi::hresult>(0x80000018);
constexpr abi::hresult kPackageNotFound = static_cast<abi::hresult>(0x80073CF1);

// A Package, or (made by its get_Id) its PackageId: each property read carries the package's full name.
class PackageObject final : public Object {
  public:
    using Entry = Package;
    using Interface = abi::IPackage;

    PackageObject(std::shared_ptr<Session> session, const Package& package, bool id = false)
        : Object(std::move(session)), package_(package), id_(id) {
        Offer<abi::IPackage>(&kPackage, !id);
        Offer<abi::IPackage2>(&kPackage2, !id && package.has_package2);
        Offer<abi::IPackage8>(&kPackage8, !id && package.has_package8);
        Offer<abi::IPackageId>(&kId, id);
    }

    // A package's queries are logged; the one for IPackage8 also fails on demand ("QueryInterface").
    abi::hresult Asked(const abi::guid& iid) override {
        if (iid == abi::iid_of<abi::IPackage2>() && !id_) {
            session_->Log("QueryInterface IPackage2" + Quoted(package_.full_name));
        }
        return iid == abi::iid_of<abi::IPackage8>() && !id_
                   ? session_->Enter("QueryInterface", " IPackage8" + Quoted(package_.full_name))
                   : S_OK;
    }

    abi::hresult Id(abi::IPackageId** out) {
        return session_->Hand(out, "get_Id", Quoted(package_.full_name), [&] {
            return (new PackageObject(session_, package_, true))->As<abi::IPackageId>();
        });
    }
    abi::hresult Version(abi::PackageVersion* out) {
        const auto& v = package_.version;
        return session_->Read(out, "get_Version", Quoted(package_.full_name), {v[0], v[1], v[2], v[3]});
    }
    abi::hresult Name(abi::hstring* out) { return Text(out, "get_Name", package_.name); }
    abi::hresult FullName(abi::hstring* out) { return Text(out, "get_FullName", package_.full_name); }
    abi::hresult FamilyName(abi::hstring* out) { return Text(out, "get_FamilyName", package_.family_name); }
    abi::hresult DisplayName(abi::hstring* out) {
        return Text(out, "get_DisplayName", package_.display_name);
    }
    abi::hresult InstalledPath(abi::hstring* out) {
        return Text(out, "get_InstalledPath", package_.installed_path);
    }
    abi::hresult ExternalPath(abi::hstring* out) {
        return Text(out, "get_EffectiveExternalPath", package_.external_path);
    }

    static constexpr abi::IPackageVtbl kPackage{kInspectable, kCall<&PackageObject::Id>, kNo, kNo, kNo};
    static constexpr abi::IPackage2Vtbl kPackage2{
        kInspectable, kCall<&PackageObject::DisplayName>, kNo, kNo, kNo, kNo, kNo, kNo};
    // The tables laid out by hand: IPackage8 slots 9 and 12, IPackageId slots 6, 7, 12 and 13.
    // clang-format off
    static constexpr abi::IPackage8Vtbl kPackage8{kInspectable, kNo, kNo, kNo,
        kCall<&PackageObject::InstalledPath>, kNo, kNo, kCall<&PackageObject::ExternalPath>, kNo, kNo, kNo, kNo, kNo};
    static constexpr abi::IPackageIdVtbl kId{kInspectable, kCall<&PackageObject::Name>,
        kCall<&PackageObject::Version>, kNo, kNo, kNo, kNo, kCall<&PackageObject::FullName>,
        kCall<&PackageObject::FamilyName>};
    // clang-format on

  private:
    abi::hresult Text(abi::hstring* out, const char* call, const std::u16string& value) {
        return session_->Read(out, call, Quoted(package_.full_name), value);
    }

    const Package package_;
    const bool id_;
};

class UserObject final : public Object {
  public:
    using Entry = UserEntry;
    using Interface = abi::IPackageUserInformation;

    UserObject(std::shared_ptr<Session> session, const UserEntry& user)
        : Object(std::move(session)), user_(user) {
        Offer<abi::IPackageUserInformation>(&kTable);
    }

    abi::hresult InstallState(std::int32_t* out) {
        return session_->Read(out, "get_InstallState", Quoted(user_.security_id), user_.install_state);
    }

    static constexpr abi::IPackageUserInformationVtbl kTable{kInspectable, kNo,
                                                             kCall<&UserObject::InstallState>};

  private:
    const UserEntry user_;
};

// An iterable over packages or users, or (made by First) an iterator over the same items. Each element
// is made afresh when it is asked for, as the platform's collections do.
template <typename Item>
class List final : public Object {
  public:
    using Element = typename Item::Interface;
    using Items = std::vector<typename Item::Entry>;

    List(std::shared_ptr<Session> session, Items items, bool iterator = false)
        : Object(std::move(session)), items_(std::move(items)) {
        Offer<abi::IIterable<Element>>(&kIterable, !iterator);
        Offer<abi::IIterator<Element>>(&kIterator, iterator);
    }

    abi::hresult First(abi::IIterator<Element>** out) {
        return session_->Hand(out, "First", {}, [&] {
            return (new List(session_, items_, true))->template As<abi::IIterator<Element>>();
        });
    }
    abi::hresult Current(Element** out) {
        const auto make = [&]() -> Element* {
            return index_ < items_.size() ? (new Item(session_, items_[index_]))->template As<Element>()
                                          : nullptr;
        };
        return session_->Hand(out, "get_Current", {}, make, kBounds);
    }
    abi::hresult HasCurrent(abi::boolean* out) {
        return session_->Read(out, "get_HasCurrent", {}, index_ < items_.size());
    }
    abi::hresult MoveNext(abi::boolean* out) {
        const abi::hresult status = session_->Read(out, "MoveNext", {}, index_ + 1 < items_.size());
        index_ += status == S_OK && index_ < items_.size() ? 1 : 0;
        return status;
    }

    static constexpr abi::IIterableVtbl<Element> kIterable{kInspectable, kCall<&List::First>};
    static constexpr abi::IIteratorVtbl<Element> kIterator{
        kInspectable, kCall<&List::Current>, kCall<&List::HasCurrent>, kCall<&List::MoveNext>, kNo};

  private:
    const Items items_;
    std::size_t index_ = 0;
};

class Result final : public Object {
  public:
    Result(std::shared_ptr<Session> session, const Deployment& outcome)
        : Object(std::move(session)), outcome_(outcome) {
        Offer<abi::IDeploymentResult>(&kTable);
    }

    abi::hresult ErrorText(abi::hstring* out) {
        return session_->Read(out, "get_ErrorText", {}, outcome_.error_text);
    }
    abi::hresult ExtendedErrorCode(abi::hresult* out) {
        return session_->Read(out, "get_ExtendedErrorCode", {}, outcome_.extended_error);
    }

    static constexpr abi::IDeploymentResultVtbl kTable{kInspectable, kCall<&Result::ErrorText>, kNo,
                                                       kCall<&Result::ExtendedErrorCode>};

  private:
    const Deployment outcome_;
};

// A removal or deprovisioning: complete at once, or ("completion later") on the worker thread that a
// Completed handler starts. A success writes its line to the state file.
class Operation final : public Object {
  public:
    Operation(std::shared_ptr<Session> session, const Deployment& outcome, std::string state_line)
        : Object(std::move(session)), outcome_(outcome), state_line_(std::move(state_line)) {
        Offer<abi::IDeploymentOperation>(&kOperation);
        Offer<abi::IAsyncInfo>(&kInfo);
        Offer<abi::IAgileObject>(&kOperation);
        if (!session_->scenario.complete_later) {
            Complete();
        }
    }

    abi::hresult PutCompleted(abi::IDeploymentCompletedHandler* handler) {
        abi::IDeploymentCompletedHandler* none = nullptr;
        if (const abi::hresult status = session_->Enter("put_Completed"); status != S_OK) {
            return status;
        }
        if (handler == nullptr || !handler_.compare_exchange_strong(none, handler)) {
            return kIllegalDelegateAssignment;
        }
        abi::UnknownSlots(handler).AddRef(handler);
        AddRef();  // for the worker
        const HANDLE thread = ::CreateThread(nullptr, 0, &Worker, this, 0, nullptr);
        if (thread == nullptr) {
            Worker(this);
        } else {
            ::CloseHandle(thread);
        }
        return S_OK;
    }
    abi::hresult GetResults(abi::IDeploymentResult** out) {
        const auto make = [&]() -> abi::IDeploymentResult* {
            return status_ == abi::AsyncStatusStarted
                       ? nullptr
                       : (new Result(session_, outcome_))->As<abi::IDeploymentResult>();
        };
        return session_->Hand(out, "GetResults", {}, make, kIllegalMethodCall);
    }
    abi::hresult Status(abi::AsyncStatus* out) {
        return session_->Read(out, "get_Status", {}, status_.load());
    }

    static constexpr abi::IDeploymentOperationVtbl kOperation{
        kInspectable, kNo, kNo, kCall<&Operation::PutCompleted>, kNo, kCall<&Operation::GetResults>};
    static constexpr abi::IAsyncInfoVtbl kInfo{kInspectable, kNo, kCall<&Operation::Status>, kNo, kNo, kNo};

  private:
    // A success changes the package manager's state for everyone after.
    void Complete() {
        if (outcome_.extended_error == 0) {
            session_->Persist(state_line_);
        }
        status_ = outcome_.extended_error == 0 ? abi::AsyncStatusCompleted : abi::AsyncStatusError;
    }

    static DWORD WINAPI Worker(void* parameter) {
        Operation& operation = *static_cast<Operation*>(parameter);
        if (operation.status_ == abi::AsyncStatusStarted) {
            operation.Complete();
        }
        abi::IDeploymentCompletedHandler* handler = operation.handler_;
        const abi::AsyncStatus status = operation.status_;
        operation.session_->Log("Invoke " + std::to_string(status) + " on a worker thread");
        abi::IDeploymentOperation* face = operation.As<abi::IDeploymentOperation>();
        // The caller holds the operation until its wait ends, so it outlives the call below; letting go
        // of ours first means no object of the component is left once the caller has released its own.
        operation.Release();
        handler->lpVtbl->Invoke(handler, face, status);
        abi::UnknownSlots(handler).Release(handler);
        return 0;
    }

    const Deployment outcome_;
    const std::string state_line_;
    std::atomic<abi::AsyncStatus> status_{abi::AsyncStatusStarted};
    std::atomic<abi::IDeploymentCompletedHandler*> handler_{nullptr};  // set once
};

class PackageManager final : public Object {
  public:
    explicit PackageManager(std::shared_ptr<Session> session) : Object(std::move(session)) {
        Offer<abi::IPackageManager>(&kManager);
        Offer<abi::IAgileObject>(&kManager);
        Offer<abi::IPackageManager2>(&kManager2, session_->scenario.has_manager2);
        Offer<abi::IPackageManager8>(&kManager8, session_->scenario.has_manager8);
    }

    abi::hresult Asked(const abi::guid& iid) override {
        const bool second = iid == abi::iid_of<abi::IPackageManager2>();
        if (second || iid == abi::iid_of<abi::IPackageManager8>()) {
            session_->Log(second ? "QueryInterface IPackageManager2" : "QueryInterface IPackageManager8");
        }
        return S_OK;
    }

    abi::hresult FindUsers(abi::hstring full_name, abi::IIterable<abi::IPackageUserInformation>** out) {
        const std::u16string name = TextOf(full_name);
        const Package* package = Known(name);
        return session_->Hand(out, "FindUsers", Quoted(name), [&] {
            return (new List<UserObject>(session_,
                                         package != nullptr ? package->users : std::vector<UserEntry>{}))
                ->As<abi::IIterable<abi::IPackageUserInformation>>();
        });
    }
    abi::hresult ByFamily(abi::hstring family_name, abi::IIterable<abi::IPackage>** out) {
        const std::u16string family = TextOf(family_name);
        return Search(out, "FindPackagesByPackageFamilyName", Quoted(family),
                      [&](const Package& package) { return package.family_name == family; });
    }
    // The empty security id is the current user; any other names a user of the scenario.
    abi::hresult ByUserAndFamily(abi::hstring user_security_id, abi::hstring family_name,
                                 abi::IIterable<abi::IPackage>** out) {
        const std::u16string user = TextOf(user_security_id);
        const std::u16string family = TextOf(family_name);
        return Search(out, "FindPackagesByUserSecurityIdPackageFamilyName", Quoted(user) + Quoted(family),
                      [&](const Package& package) {
                          return package.family_name == family &&
                                 (user.empty()
                                      ? package.current_user
                                      : std::ranges::count(package.users, user, &UserEntry::security_id) > 0);
                      });
    }
    abi::hresult Remove(abi::hstring full_name, std::uint32_t options, abi::IDeploymentOperation** out) {
        const std::u16string name = TextOf(full_name);
        const Deployment* scripted = session_->scenario.Removal(name);
        const Deployment outcome =
            scripted != nullptr      ? *scripted
            : Known(name) != nullptr ? Deployment{name, 0, u""}
                                     : Deployment{name, kPackageNotFound, u"The package could not be found."};
        return Deploy(out, "RemovePackageWithOptionsAsync", Quoted(name) + " " + Hex(options), outcome,
                      "removed " + Escaped(name));
    }
    abi::hresult Deprovision(abi::hstring family_name, abi::IDeploymentOperation** out) {
        const std::u16string family = TextOf(family_name);
        const Deployment* scripted = session_->scenario.Deprovisioning(family);
        return Deploy(out, "DeprovisionPackageForAllUsersAsync", Quoted(family),
                      scripted != nullptr ? *scripted : Deployment{family, 0, u""},
                      "deprovisioned " + Escaped(family));
    }

    // Slots 15, 19 and 20, the table laid out by hand:
    // clang-format off
    static constexpr abi::IPackageManagerVtbl kManager{kInspectable, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo,
        kCall<&PackageManager::FindUsers>, kNo, kNo, kNo, kCall<&PackageManager::ByFamily>,
        kCall<&PackageManager::ByUserAndFamily>, kNo};
    // clang-format on
    static constexpr abi::IPackageManager2Vtbl kManager2{
        kInspectable, kCall<&PackageManager::Remove>, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo};
    static constexpr abi::IPackageManager8Vtbl kManager8{kInspectable, kCall<&PackageManager::Deprovision>};

  private:
    const Package* Known(const std::u16string& full_name) const {
        const std::vector<Package>& packages = session_->scenario.packages;
        const auto found = std::ranges::find(packages, full_name, &Package::full_name);
        return found == packages.end() ? nullptr : &*found;
    }

    template <typename Filter>
    abi::hresult Search(abi::IIterable<abi::IPackage>** out, const char* call, const std::string& arguments,
                        Filter filter) {
        return session_->Hand(out, call, arguments, [&] {
            std::vector<Package> found;
            std::ranges::copy_if(session_->scenario.packages, std::back_inserter(found), filter);
            return (new List<PackageObject>(session_, found))->As<abi::IIterable<abi::IPackage>>();
        });
    }

    // A success writes the state line when the operation completes.
    abi::hresult Deploy(abi::IDeploymentOperation** out, const char* call, const std::string& arguments,
                        const Deployment& outcome, const std::string& state_line) {
        return session_->Hand(out, call, arguments, [&] {
            return (new Operation(session_, outcome, state_line))->As<abi::IDeploymentOperation>();
        });
    }
};

// Each instance reads the scenario afresh, with the state that earlier operations left.
abi::hresult HALVERN_ABI_CALL ActivateInstance(void*, abi::IInspectable** out) {
    *out = nullptr;
    const std::shared_ptr<Session> session = LoadSession();
    return session == nullptr ? E_FAIL : session->Hand(out, "ActivateInstance", {}, [&] {
        return (new PackageManager(session))->As<abi::IInspectable>();
    });
}

class Factory final : public Object {
  public:
    explicit Factory(bool agile) : Object(nullptr, false) {
        Offer<abi::IActivationFactory>(&kTable);
        Offer<abi::IAgileObject>(&kTable, agile);
    }

    static constexpr abi::IActivationFactoryVtbl kTable{kInspectable, &ActivateInstance};
};

}  // namespace
}  // namespace test_package_manager

using namespace test_package_manager;

extern "C" __declspec(dllexport) HRESULT WINAPI
    DllGetActivationFactory(HSTRING class_id, abi::IActivationFactory** factory) {
    *factory = nullptr;
    // Worker threads may outlive every reference the caller holds: never unload.
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCWSTR>(&DllGetActivationFactory), &self);
    const std::shared_ptr<Session> session = LoadSession();
    if (session == nullptr) {
        return E_FAIL;
    }
    const std::u16string name = TextOf(class_id);
    const abi::hresult status = session->Enter("DllGetActivationFactory", Quoted(name));
    if (status != S_OK) {
        return status;
    }
    if (name != abi::kPackageManagerClass) {
        return REGDB_E_CLASSNOTREG;
    }
    *factory = (new Factory(session->scenario.agile_factory))->As<abi::IActivationFactory>();
    return S_OK;
}
