// The objects the test package manager hands out, from the activation factory down to a deployment's
// result. What the tool does not call answers E_NOTIMPL.
#include <algorithm>
#include <functional>

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

// An object that serves an entry of the scenario: each read of its properties is logged with the entry's
// subject (a package's full name, a user's security id).
template <typename Data>
class Record : public Object {
  public:
    Record(std::shared_ptr<Session> session, const Data& data, std::string subject)
        : Object(std::move(session)), data_(data), subject_(std::move(subject)) {}

    // A property: `field` is a member of the entry or a function of it; texts are hstrings.
    template <Name call, auto field, typename Value>
    abi::hresult Get(Value* out) {
        return session_->Read(out, call.value, subject_, std::invoke(field, data_));
    }
    template <Name call, auto field, typename Value = abi::hstring>
    static constexpr auto kGet = kCall<&Record::Get<call, field, Value>>;

  protected:
    const Data data_;
    const std::string subject_;
};

// A new object serving the entry through one face, with its first reference.
template <typename Interface, typename Data>
Interface* New(const std::shared_ptr<Session>& session, const Data& data, std::string subject,
               const void* table) {
    Record<Data>* record = new Record<Data>(session, data, std::move(subject));
    record->template Offer<Interface>(table);
    return record->template As<Interface>();
}

abi::PackageVersion VersionOf(const Package& package) {
    return {package.version[0], package.version[1], package.version[2], package.version[3]};
}

// A Package; its PackageId is another object serving the same entry.
class PackageObject final : public Record<Package> {
  public:
    PackageObject(std::shared_ptr<Session> session, const Package& package)
        : Record(std::move(session), package, Quoted(package.full_name)) {
        Offer<abi::IPackage>(&kPackage);
        Offer<abi::IPackage2>(&kPackage2, package.has_package2);
        Offer<abi::IPackage8>(&kPackage8, package.has_package8);
    }

    // The queries are logged; the one for IPackage8 also fails on demand ("QueryInterface").
    abi::hresult Asked(const abi::guid& iid) override {
        if (iid == abi::iid_of<abi::IPackage2>()) {
            session_->Log("QueryInterface IPackage2" + subject_);
        }
        return iid == abi::iid_of<abi::IPackage8>()
                   ? session_->Enter("QueryInterface", " IPackage8" + subject_)
                   : S_OK;
    }

    abi::hresult Id(abi::IPackageId** out) {
        return session_->Hand(out, "get_Id", subject_,
                              [&] { return New<abi::IPackageId>(session_, data_, subject_, &kId); });
    }

    static constexpr abi::IPackageVtbl kPackage{kInspectable, kCall<&PackageObject::Id>, kNo, kNo, kNo};
    static constexpr abi::IPackage2Vtbl kPackage2{
        kInspectable, kGet<"get_DisplayName", &Package::display_name>, kNo, kNo, kNo, kNo, kNo, kNo};
    // The tables laid out by hand: IPackage8 slots 9 and 12, IPackageId slots 6, 7, 12 and 13.
    // clang-format off
    static constexpr abi::IPackage8Vtbl kPackage8{kInspectable, kNo, kNo, kNo,
        kGet<"get_InstalledPath", &Package::installed_path>, kNo, kNo,
        kGet<"get_EffectiveExternalPath", &Package::external_path>, kNo, kNo, kNo, kNo, kNo};
    static constexpr abi::IPackageIdVtbl kId{kInspectable, kGet<"get_Name", &Package::name>,
        kGet<"get_Version", &VersionOf, abi::PackageVersion>, kNo, kNo, kNo, kNo,
        kGet<"get_FullName", &Package::full_name>, kGet<"get_FamilyName", &Package::family_name>};
    // clang-format on
};

constexpr abi::IPackageUserInformationVtbl kUser{
    kInspectable, kNo, Record<UserEntry>::kGet<"get_InstallState", &UserEntry::install_state, std::int32_t>};
constexpr abi::IDeploymentResultVtbl kResult{
    kInspectable, Record<Deployment>::kGet<"get_ErrorText", &Deployment::error_text>, kNo,
    Record<Deployment>::kGet<"get_ExtendedErrorCode", &Deployment::extended_error, abi::hresult>};

// The elements of the lists.
abi::IPackage* Make(const std::shared_ptr<Session>& session, const Package& package) {
    return (new PackageObject(session, package))->As<abi::IPackage>();
}
abi::IPackageUserInformation* Make(const std::shared_ptr<Session>& session, const UserEntry& user) {
    return New<abi::IPackageUserInformation>(session, user, Quoted(user.security_id), &kUser);
}

// An iterable over packages or users, or (made by First) an iterator over the same items. Each element
// is made afresh when it is asked for, as the platform's collections do.
template <typename Entry, typename Element>
class List final : public Object {
  public:
    List(std::shared_ptr<Session> session, std::vector<Entry> items, bool iterator = false)
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
        const auto make = [&] { return index_ < items_.size() ? Make(session_, items_[index_]) : nullptr; };
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
    const std::vector<Entry> items_;
    std::size_t index_ = 0;
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
                       : New<abi::IDeploymentResult>(session_, outcome_, "", &kResult);
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
            return (new List<UserEntry, abi::IPackageUserInformation>(
                        session_, package != nullptr ? package->users : std::vector<UserEntry>{}))
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
            return (new List<Package, abi::IPackage>(session_, found))->As<abi::IIterable<abi::IPackage>>();
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
