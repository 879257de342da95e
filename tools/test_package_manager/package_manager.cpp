// The test package manager: plays Windows.Management.Deployment.PackageManager in process from one
// scenario (see README.md). What a package manager instance hands out shares its session.
#include <windows.h>
#include <winstring.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/abi/deployment.h"
#include "scenarios/scenario.h"

namespace {

namespace abi = halvern::abi;
using namespace halvern::scenarios;

constexpr abi::hresult kBounds = static_cast<abi::hresult>(0x8000000B);
constexpr abi::hresult kIllegalMethodCall = static_cast<abi::hresult>(0x8000000E);
constexpr abi::hresult kIllegalDelegateAssignment = static_cast<abi::hresult>(0x80000018);
constexpr abi::hresult kPackageNotFound = static_cast<abi::hresult>(0x80073CF1);

std::u16string TextOf(abi::hstring text) {
    UINT32 length = 0;
    const wchar_t* buffer = ::WindowsGetStringRawBuffer(text, &length);
    return std::u16string(buffer, buffer + length);
}

// An argument in the log: a text quoted (no scenario names one holding a quote or a line break), a
// number in hexadecimal.
std::string Logged(const std::u16string& text) {
    return " \"" + Utf8(text) + "\"";
}
std::string Logged(abi::hstring text) {
    return Logged(TextOf(text));
}
std::string Logged(std::uint32_t number) {
    char text[16];
    std::snprintf(text, sizeof(text), " 0x%08X", number);
    return text;
}

// The tests name files from the Linux side: "/tmp/x" is "Z:\tmp\x"; a Windows path stays as it is.
std::wstring WindowsPath(const std::u16string& path) {
    std::wstring windows(path.begin(), path.end());
    if (windows.starts_with(L"/")) {
        std::ranges::replace(windows, L'/', L'\\');
        windows.insert(0, L"Z:");
    }
    return windows;
}

std::wstring Environment(const wchar_t* name) {
    std::u16string value(::GetEnvironmentVariableW(name, nullptr, 0), u'\0');
    const auto buffer = reinterpret_cast<wchar_t*>(value.data());
    value.resize(::GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(value.size())));
    return WindowsPath(value);
}

bool ReadAll(const std::wstring& path, std::string& content) {
    std::ifstream file(path.c_str(), std::ios::binary);
    content.assign(std::istreambuf_iterator<char>(file), {});
    return file.is_open();
}

// One write to the end, so that lines of several threads and processes never interleave; no path, no file.
void AppendLine(const std::wstring& path, const std::string& line) {
    const std::string bytes = line + "\n";
    const HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(file);
    }
}

// Over the process: calls counted by name, as the native runner counts them over a run, from zero again
// when the scenario changes; the latest call log, for the leak report at exit (so never destroyed).
struct Process {
    std::mutex mutex;
    std::string scenario;
    std::map<std::string, int> counts;
    std::wstring log;
};
Process& process = *new Process;
std::atomic<long> live_objects{0};  // handed out and not yet released, the activation factory aside

struct Session {
    // Logs the call and answers the failure injected for its n-th occurrence (S_OK: none). `null_object`,
    // for a call that hands back an object, is set when it is to hand back none.
    abi::hresult Enter(const std::string& call, const std::string& arguments = {},
                       bool* null_object = nullptr) const {
        std::unique_lock lock(process.mutex);
        const int nth = ++process.counts[call];
        lock.unlock();
        const auto found = std::ranges::find_if(scenario.failures, [&](const Failure& f) {
            return f.call == call && (f.nth == 0 || f.nth == nth);
        });
        const Failure failure = found == scenario.failures.end() ? Failure{} : *found;
        const bool none = failure.kind == FailureKind::NullObject;
        if (null_object != nullptr) {
            *null_object = none;
        }
        const std::string status =
            failure.status != S_OK ? " ->" + Logged(std::uint32_t(failure.status)) : "";
        Log(call + arguments + (none ? " -> null" : status));
        return failure.status;
    }
    void Log(const std::string& line) const { AppendLine(log, line); }

    const Scenario scenario;  // with the state file's removals applied
    const std::wstring log;
    const std::wstring state;
};
using Shared = std::shared_ptr<const Session>;

// HALVERN_TEST_PM_SCENARIO read afresh, or null (and a "scenario error" logged) when it cannot be played.
Shared LoadSession() {
    const std::wstring path = Environment(L"HALVERN_TEST_PM_SCENARIO");
    std::string text;
    std::string problem;
    std::vector<Scenario> scenarios;
    if (!ReadAll(path, text)) {
        problem = "cannot open HALVERN_TEST_PM_SCENARIO";
    } else if (ParseScenarios(text, scenarios, problem) && scenarios.size() > 1) {
        problem = "more than one scenario";
    }
    const std::wstring log = !scenarios.empty() && !scenarios.back().log_path.empty()
                                 ? WindowsPath(scenarios.back().log_path)
                                 : Environment(L"HALVERN_TEST_PM_LOG");
    {
        std::lock_guard lock(process.mutex);
        if (text != process.scenario) {
            process.scenario = text;
            process.counts.clear();
        }
        process.log = log;
    }
    if (!problem.empty()) {
        AppendLine(log, "scenario error: " + problem);
        ::OutputDebugStringA(("test package manager: " + problem + "\n").c_str());
        return nullptr;
    }
    Scenario scenario = scenarios.empty() ? Scenario{} : std::move(scenarios[0]);
    const std::wstring state =
        scenario.state_path.empty() ? path + L".state" : WindowsPath(scenario.state_path);
    // What earlier operations removed is gone, in this process and any later one.
    std::string done;
    ReadAll(state, done);
    std::istringstream lines(done);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("removed ")) {
            const std::u16string removed = Unescaped(line.substr(8));
            std::erase_if(scenario.packages,
                          [&](const Package& package) { return package.full_name == removed; });
        }
    }
    return std::make_shared<const Session>(Session{std::move(scenario), log, state});
}

// An object: a reference count and one face per interface it answers for.
class Object {
  public:
    // The activation factory, which has no session, is not counted among the live objects. `subject`
    // starts the arguments in the log line of each call: a package's full name, a user's security id.
    explicit Object(Shared session, std::string subject = {})
        : session_(std::move(session)), subject_(std::move(subject)) {
        live_objects += session_ ? 1 : 0;
    }
    virtual ~Object() { live_objects -= session_ ? 1 : 0; }

    // The IUnknown methods, called through any face.
    static abi::hresult HALVERN_ABI_CALL QueryInterface(void* face, const abi::guid& iid, void** out) {
        Object& self = From<Object>(face);
        const abi::hresult status = self.Asked(iid);
        *out = status == S_OK ? self.Find(iid) : nullptr;
        if (*out != nullptr) {
            AddRef(face);
        }
        return *out != nullptr ? S_OK : status == S_OK ? E_NOINTERFACE : status;
    }
    static std::uint32_t HALVERN_ABI_CALL AddRef(void* face) { return ++From<Object>(face).references_; }
    static std::uint32_t HALVERN_ABI_CALL Release(void* face) {
        Object& self = From<Object>(face);
        const std::uint32_t remaining = --self.references_;
        if (remaining == 0) {
            delete &self;
        }
        return remaining;
    }
    // Each QueryInterface comes here first: objects that log a query or fail it on demand answer it.
    virtual abi::hresult Asked(const abi::guid&) { return S_OK; }
    abi::hresult Enter(const char* call, const std::string& arguments, bool* null_object) const {
        return session_->Enter(call, subject_ + arguments, null_object);
    }

    template <typename Interface>
    void Offer(const void* table, bool offered = true) {
        if (offered) {
            faces_.push_back({table, this, abi::iid_of<Interface>()});
        }
    }
    // The face of a new object, with its first reference.
    template <typename Interface>
    Interface* As() {
        return static_cast<Interface*>(Find(abi::iid_of<Interface>()));
    }
    // The object behind any of its faces.
    template <typename Self>
    static Self& From(const void* face) {
        return static_cast<Self&>(*static_cast<const Face*>(face)->owner);
    }

  protected:
    const Shared session_;
    const std::string subject_;

  private:
    struct Face {
        const void* table;  // what callers see: the table pointer, first
        Object* owner;
        abi::guid iid;
    };
    // The face for the interface, or null; IUnknown and IInspectable: the first face offered.
    void* Find(const abi::guid& iid) {
        if (iid == abi::iid_of<abi::IUnknown>() || iid == abi::iid_of<abi::IInspectable>()) {
            return &faces_.front();
        }
        const auto face = std::ranges::find(faces_, iid, &Face::iid);
        return face == faces_.end() ? nullptr : &*face;
    }

    std::vector<Face> faces_;
    std::atomic<std::uint32_t> references_{1};
};

// A function in a table, and a call's name as a template argument.
template <typename Result, typename... Parameters>
using Function = Result(HALVERN_ABI_CALL*)(Parameters...);
template <std::size_t N>
struct Name {
    constexpr Name(const char (&text)[N]) { std::copy_n(text, N, value); }
    char value[N];
};

// A table slot: kEnter<"name", &Class::Method> enters the call with the object's subject and the inputs
// (an injected failure answers, the out parameter cleared), then hands out the method's result: a text
// as an hstring, an object through the face asked for (none: `refusal`), a value as it is.
template <Name call, auto method, abi::hresult refusal, typename = decltype(method)>
struct Entered;
template <Name call, auto method, abi::hresult refusal, typename Self, typename Result, typename... Inputs>
struct Entered<call, method, refusal, Result (Self::*)(Inputs...)> {
    template <typename Face, typename Out>
    static abi::hresult HALVERN_ABI_CALL Call(Face* face, Inputs... inputs, Out* out) {
        Self& self = Object::From<Self>(face);
        constexpr bool object = std::is_pointer_v<Out> && !std::is_same_v<Out, abi::hstring>;
        bool null_object = false;
        *out = {};
        const abi::hresult status =
            self.Enter(call.value, (Logged(inputs) + ... + ""), object ? &null_object : nullptr);
        if (status != S_OK || null_object) {
            return status;
        }
        const Result result = (self.*method)(inputs...);
        if constexpr (std::is_same_v<Out, abi::hstring>) {
            return ::WindowsCreateString(reinterpret_cast<const wchar_t*>(result.data()),
                                         static_cast<UINT32>(result.size()), out);
        } else if constexpr (object) {
            *out = result != nullptr ? result->template As<std::remove_pointer_t<Out>>() : nullptr;
            return result != nullptr ? S_OK : refusal;
        } else {
            *out = result;
            return S_OK;
        }
    }
    template <typename Face, typename Out>
    constexpr operator Function<abi::hresult, Face*, Inputs..., Out*>() const {
        return &Call<Face, Out>;
    }
};
template <Name call, auto method, abi::hresult refusal = E_FAIL>
constexpr Entered<call, method, refusal> kEnter{};

// A table slot for a method the tool never calls: E_NOTIMPL, whatever the signature.
struct Unused {
    template <typename Result, typename... Arguments>
    static Result HALVERN_ABI_CALL Call(Arguments...) {
        return E_NOTIMPL;
    }
    template <typename Result, typename... Arguments>
    constexpr operator Function<Result, Arguments...>() const {
        return &Call<Result, Arguments...>;
    }
};
constexpr Unused kNo{};

constexpr abi::IInspectableVtbl kInspectable{
    {&Object::QueryInterface, &Object::AddRef, &Object::Release}, kNo, kNo, kNo};

// An object that serves an entry of the scenario: kGet reads a field of it, or a function of it.
template <typename Data>
class Record : public Object {
  public:
    Record(Shared session, const Data& data, std::string subject = {})
        : Object(std::move(session), std::move(subject)), data_(data) {}

    template <auto field>
    auto Field() {
        return std::invoke(field, data_);
    }
    template <Name call, auto field>
    static constexpr auto kGet = kEnter<call, &Record::Field<field>>;

  protected:
    const Data data_;
};

// A new object serving the entry through one face.
template <typename Interface, typename Data>
Object* New(const Shared& session, const Data& data, std::string subject, const void* table) {
    Object* record = new Record<Data>(session, data, std::move(subject));
    record->Offer<Interface>(table);
    return record;
}

abi::PackageVersion VersionOf(const Package& package) {
    return {package.version[0], package.version[1], package.version[2], package.version[3]};
}

// A Package; its PackageId is another object serving the same entry.
class PackageObject final : public Record<Package> {
  public:
    PackageObject(Shared session, const Package& package)
        : Record(std::move(session), package, Logged(package.full_name)) {
        Offer<abi::IPackage>(&kPackage);
        Offer<abi::IPackage2>(&kPackage2, package.has_package2);
        Offer<abi::IPackage8>(&kPackage8, package.has_package8);
    }

    // The query for IPackage8 is logged and fails on demand ("QueryInterface").
    abi::hresult Asked(const abi::guid& iid) override {
        const bool eighth = iid == abi::iid_of<abi::IPackage8>();
        return eighth ? session_->Enter("QueryInterface", " IPackage8" + subject_) : S_OK;
    }
    Object* Id() { return New<abi::IPackageId>(session_, data_, subject_, &kId); }

    // clang-format off
    static constexpr abi::IPackageVtbl kPackage{kInspectable, kEnter<"get_Id", &PackageObject::Id>, kNo, kNo, kNo};
    static constexpr abi::IPackage2Vtbl kPackage2{kInspectable, kGet<"get_DisplayName", &Package::display_name>,
        kNo, kNo, kNo, kNo, kNo, kNo};
    static constexpr abi::IPackage8Vtbl kPackage8{kInspectable, kNo, kNo, kNo,
        kGet<"get_InstalledPath", &Package::installed_path>, kNo, kNo,
        kGet<"get_EffectiveExternalPath", &Package::external_path>, kNo, kNo, kNo, kNo, kNo};
    static constexpr abi::IPackageIdVtbl kId{kInspectable, kGet<"get_Name", &Package::name>,
        kGet<"get_Version", &VersionOf>, kNo, kNo, kNo, kNo,
        kGet<"get_FullName", &Package::full_name>, kGet<"get_FamilyName", &Package::family_name>};
    // clang-format on
};

// clang-format off
constexpr abi::IPackageUserInformationVtbl kUser{kInspectable,
    Record<UserEntry>::kGet<"get_UserSecurityId", &UserEntry::security_id>,
    Record<UserEntry>::kGet<"get_InstallState", &UserEntry::install_state>};
constexpr abi::IDeploymentResultVtbl kResult{kInspectable,
    Record<Deployment>::kGet<"get_ErrorText", &Deployment::error_text>, kNo,
    Record<Deployment>::kGet<"get_ExtendedErrorCode", &Deployment::extended_error>};
// clang-format on

// The elements of the lists.
Object* Make(const Shared& session, const Package& package) {
    return new PackageObject(session, package);
}
Object* Make(const Shared& session, const UserEntry& user) {
    return New<abi::IPackageUserInformation>(session, user, Logged(user.security_id), &kUser);
}

// An iterable over packages or users, or (made by First) an iterator over the same entries. Each
// element is made afresh when it is asked for, as the platform's collections do.
template <typename Entry, typename Element>
class List final : public Object {
  public:
    List(Shared session, std::vector<Entry> entries, bool iterator = false)
        : Object(std::move(session)), entries_(std::move(entries)) {
        Offer<abi::IIterable<Element>>(&kIterable, !iterator);
        Offer<abi::IIterator<Element>>(&kIterator, iterator);
    }

    Object* First() { return new List(session_, entries_, true); }
    Object* Current() { return index_ < entries_.size() ? Make(session_, entries_[index_]) : nullptr; }
    abi::boolean HasCurrent() { return index_ < entries_.size(); }
    abi::boolean MoveNext() {
        index_ += index_ < entries_.size() ? 1 : 0;
        return index_ < entries_.size();
    }

    // clang-format off
    static constexpr abi::IIterableVtbl<Element> kIterable{kInspectable, kEnter<"First", &List::First>};
    static constexpr abi::IIteratorVtbl<Element> kIterator{kInspectable, kEnter<"get_Current", &List::Current, kBounds>,
        kEnter<"get_HasCurrent", &List::HasCurrent>, kEnter<"MoveNext", &List::MoveNext>, kNo};
    // clang-format on

  private:
    const std::vector<Entry> entries_;
    std::size_t index_ = 0;
};

// A removal or deprovisioning: complete at once, or ("completion later") on the worker thread that a
// Completed handler starts. A success writes its line to the state file.
class Operation final : public Object {
  public:
    Operation(Shared session, const Deployment& outcome, std::string state_line)
        : Object(std::move(session)), outcome_(outcome), state_line_(std::move(state_line)) {
        Offer<abi::IDeploymentOperation>(&kOperation);
        Offer<abi::IAsyncInfo>(&kInfo);
        if (!session_->scenario.complete_later) {
            Complete();
        }
    }

    // A slot of its own: its argument is a handler, not an out parameter to clear.
    static abi::hresult HALVERN_ABI_CALL PutCompleted(abi::IDeploymentOperation* face,
                                                      abi::IDeploymentCompletedHandler* handler) {
        Operation& self = From<Operation>(face);
        abi::IDeploymentCompletedHandler* none = nullptr;
        const abi::hresult status = self.session_->Enter("put_Completed");
        if (status != S_OK || handler == nullptr || !self.handler_.compare_exchange_strong(none, handler)) {
            return status != S_OK ? status : kIllegalDelegateAssignment;
        }
        abi::UnknownSlots(handler).AddRef(handler);
        AddRef(face);  // for the worker
        const auto finish = [](void* operation) -> DWORD {
            static_cast<Operation*>(operation)->Finish();
            return 0;
        };
        ::QueueUserWorkItem(finish, &self, WT_EXECUTELONGFUNCTION);
        return S_OK;
    }
    Object* GetResults() {
        const bool started = status_ == abi::AsyncStatusStarted;
        return started ? nullptr : New<abi::IDeploymentResult>(session_, outcome_, {}, &kResult);
    }
    abi::AsyncStatus Status() { return status_; }

    // clang-format off
    static constexpr abi::IDeploymentOperationVtbl kOperation{kInspectable, kNo, kNo, &PutCompleted, kNo,
        kEnter<"GetResults", &Operation::GetResults, kIllegalMethodCall>};
    static constexpr abi::IAsyncInfoVtbl kInfo{kInspectable, kNo, kEnter<"get_Status", &Operation::Status>,
        kNo, kNo, kNo};
    // clang-format on

  private:
    void Complete() {
        if (outcome_.extended_error == 0) {
            AppendLine(session_->state, state_line_);
        }
        status_ = outcome_.extended_error == 0 ? abi::AsyncStatusCompleted : abi::AsyncStatusError;
    }

    // On the worker thread.
    void Finish() {
        if (status_ == abi::AsyncStatusStarted) {
            Complete();
        }
        abi::IDeploymentCompletedHandler* handler = handler_;
        const abi::AsyncStatus status = status_;
        session_->Log("Invoke " + std::to_string(status) + " on a worker thread");
        abi::IDeploymentOperation* face = As<abi::IDeploymentOperation>();
        // The caller holds the operation until its wait ends, so it outlives the call below; letting go
        // of ours first means no object of the component is left once the caller has released its own.
        Release(face);
        handler->lpVtbl->Invoke(handler, face, status);
        abi::UnknownSlots(handler).Release(handler);
    }

    const Deployment outcome_;
    const std::string state_line_;
    std::atomic<abi::AsyncStatus> status_{abi::AsyncStatusStarted};
    std::atomic<abi::IDeploymentCompletedHandler*> handler_{nullptr};  // set once
};

class PackageManager final : public Object {
  public:
    explicit PackageManager(Shared session) : Object(std::move(session)) {
        Offer<abi::IPackageManager>(&kManager);
        Offer<abi::IPackageManager2>(&kManager2, session_->scenario.has_manager2);
        Offer<abi::IPackageManager8>(&kManager8, session_->scenario.has_manager8);
    }

    Object* FindUsers(abi::hstring full_name) {
        const Package* package = Known(TextOf(full_name));
        return new List<UserEntry, abi::IPackageUserInformation>(
            session_, package != nullptr ? package->users : std::vector<UserEntry>{});
    }
    Object* ByFamily(abi::hstring family) { return Search(TextOf(family), nullptr); }
    // The empty security id is the current user; any other names a user of the scenario.
    Object* ByUserAndFamily(abi::hstring user, abi::hstring family) {
        const std::u16string security_id = TextOf(user);
        return Search(TextOf(family), &security_id);
    }
    Object* Remove(abi::hstring full_name, std::uint32_t /*options, logged*/) {
        const std::u16string name = TextOf(full_name);
        const Deployment* scripted = session_->scenario.Removal(name);
        const Deployment outcome =
            scripted != nullptr      ? *scripted
            : Known(name) != nullptr ? Deployment{name, 0, u""}
                                     : Deployment{name, kPackageNotFound, u"The package could not be found."};
        return new Operation(session_, outcome, "removed " + Utf8(name));
    }
    Object* Deprovision(abi::hstring family_name) {
        const std::u16string family = TextOf(family_name);
        const Deployment* scripted = session_->scenario.Deprovisioning(family);
        return new Operation(session_, scripted != nullptr ? *scripted : Deployment{family, 0, u""},
                             "deprovisioned " + Utf8(family));
    }

    // clang-format off
    static constexpr abi::IPackageManagerVtbl kManager{kInspectable, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo,
        kEnter<"FindUsers", &PackageManager::FindUsers>, kNo, kNo, kNo,
        kEnter<"FindPackagesByPackageFamilyName", &PackageManager::ByFamily>,
        kEnter<"FindPackagesByUserSecurityIdPackageFamilyName", &PackageManager::ByUserAndFamily>, kNo};
    static constexpr abi::IPackageManager2Vtbl kManager2{kInspectable,
        kEnter<"RemovePackageWithOptionsAsync", &PackageManager::Remove>, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo, kNo};
    static constexpr abi::IPackageManager8Vtbl kManager8{kInspectable,
        kEnter<"DeprovisionPackageForAllUsersAsync", &PackageManager::Deprovision>};
    // clang-format on

  private:
    const Package* Known(const std::u16string& full_name) const {
        const std::vector<Package>& packages = session_->scenario.packages;
        const auto found = std::ranges::find(packages, full_name, &Package::full_name);
        return found == packages.end() ? nullptr : &*found;
    }

    // The packages of the family; for a user, those the user has.
    Object* Search(const std::u16string& family, const std::u16string* user) {
        std::vector<Package> found;
        for (const Package& package : session_->scenario.packages) {
            const bool held = user == nullptr ? true
                              : user->empty()
                                  ? package.current_user
                                  : std::ranges::count(package.users, *user, &UserEntry::security_id) > 0;
            if (package.family_name == family && held) {
                found.push_back(package);
            }
        }
        return new List<Package, abi::IPackage>(session_, found);
    }
};

// Each instance reads the scenario afresh, with the state that earlier operations left.
abi::hresult HALVERN_ABI_CALL ActivateInstance(void*, abi::IInspectable** out) {
    *out = nullptr;
    bool null_object = false;
    const Shared session = LoadSession();
    const abi::hresult status =
        session == nullptr ? E_FAIL : session->Enter("ActivateInstance", {}, &null_object);
    if (status == S_OK && !null_object) {
        *out = (new PackageManager(session))->As<abi::IInspectable>();
    }
    return status;
}
constexpr abi::IActivationFactoryVtbl kFactory{kInspectable, &ActivateInstance};

}  // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI
    DllGetActivationFactory(HSTRING class_id, abi::IActivationFactory** factory) {
    *factory = nullptr;
    // Worker threads may outlive every reference the caller holds: never unload.
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCWSTR>(&DllGetActivationFactory), &self);
    const Shared session = LoadSession();
    const abi::hresult status =
        session == nullptr ? E_FAIL : session->Enter("DllGetActivationFactory", Logged(class_id));
    if (status != S_OK || TextOf(class_id) != abi::kPackageManagerClass) {
        return status != S_OK ? status : REGDB_E_CLASSNOTREG;
    }
    Object* made = new Object(nullptr);  // the factory: no session of its own
    made->Offer<abi::IActivationFactory>(&kFactory);
    made->Offer<abi::IAgileObject>(&kFactory);
    *factory = made->As<abi::IActivationFactory>();
    return S_OK;
}

// For leak checks in tests that load the component in-process.
extern "C" __declspec(dllexport) long WINAPI HalvernTestPmLiveObjects() {
    return live_objects.load();
}

// At process exit every run proves that the tool released each object it was given.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH && live_objects.load() != 0) {
        AppendLine(process.log, "leaked " + std::to_string(live_objects.load()) + " objects");
    }
    return TRUE;
}
